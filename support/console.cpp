#include "support/console.h"

#include "support/text.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#else
#include <unistd.h>
#endif

namespace plumbrae::support {

#ifdef _WIN32

namespace {

/// The console behind a stream, or nullptr when it is a file, a pipe or the NUL device.
HANDLE consoleOf(std::FILE* stream) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || ::GetConsoleMode(handle, &mode) == 0) {
        return nullptr;
    }
    return handle;
}

} // namespace

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) {
        return {argv, argv + argc};
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        const std::wstring_view argument(wide[i]);
        arguments.push_back(fromUtf16(std::u16string(argument.begin(), argument.end())));
    }
    ::LocalFree(wide);
    return arguments;
}

void writeText(std::FILE* stream, std::string_view text) {
    if (HANDLE console = consoleOf(stream)) {
        std::fflush(stream);
        const std::u16string wide = toUtf16(text);
        DWORD written = 0;
        ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stream);
}

bool isTerminal(std::FILE* stream) {
    return consoleOf(stream) != nullptr;
}

#else

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    return {argv, argv + argc};
}

void writeText(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

bool isTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) != 0;
}

#endif

} // namespace plumbrae::support
