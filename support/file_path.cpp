#include "support/file_path.h"

#include "support/text.h"

#include <array>
#include <cerrno>
#ifdef _WIN32
#include <windows.h>
#endif

namespace plumbrae::support {
namespace {

/// The names Windows keeps for devices: a file whose name (before the first dot, spaces at its
/// end ignored) is one of them cannot be created.
bool isDeviceName(std::string_view stem) {
    static constexpr std::array<std::string_view, 6> Devices{"con", "prn",    "aux",
                                                             "nul", "conin$", "conout$"};
    const std::string lower = asciiLower(stem);
    for (const auto device : Devices) {
        if (lower == device) {
            return true;
        }
    }
    if (!lower.starts_with("com") && !lower.starts_with("lpt")) {
        return false;
    }
    const std::string_view number = std::string_view(lower).substr(3);
    // COM0 to COM9 and the superscript digits one to three, which Windows counts as digits.
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

} // namespace

std::string portableFileName(std::string_view name) {
    std::string out(name);
    const auto lastKept = out.find_last_not_of(". ");
    for (auto i = lastKept == std::string::npos ? 0 : lastKept + 1; i < out.size(); ++i) {
        out[i] = '_';
    }
    std::string_view stem = std::string_view(out).substr(0, out.find('.'));
    stem = stem.substr(0, stem.find_last_not_of(' ') + 1);
    if (!stem.empty() && isDeviceName(stem)) {
        out.insert(stem.size(), "_");
    }
    return out;
}

#ifdef _WIN32

std::filesystem::path pathFromUtf8(std::string_view text) {
    const std::u16string wide = toUtf16(text);
    return std::filesystem::path(std::wstring(wide.begin(), wide.end()));
}

std::string pathToUtf8(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    return fromUtf16(std::u16string(wide.begin(), wide.end()));
}

std::filesystem::path systemPath(const std::filesystem::path& path) {
    constexpr std::size_t SystemLimit = 260;
    const std::wstring& native = path.native();
    if (native.size() < SystemLimit || native.starts_with(L"\\\\?\\")) {
        return path;
    }
    std::error_code error;
    const auto absolute = std::filesystem::absolute(path, error);
    if (error) {
        return path;
    }
    // The long form is taken literally by the system: only "\", no "." or "..".
    std::wstring full = absolute.lexically_normal().make_preferred().native();
    if (full.starts_with(L"\\\\")) {
        return std::filesystem::path(L"\\\\?\\UNC\\" + full.substr(2));
    }
    return std::filesystem::path(L"\\\\?\\" + full);
}

int errnoFromSystemError(unsigned long error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
        return EINVAL;
    case ERROR_INVALID_FUNCTION: // what FAT and exFAT answer to a hard link
    case ERROR_NOT_SUPPORTED:
        return ENOTSUP;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_TOO_MANY_LINKS:
        return EMLINK;
    default:
        return EIO;
    }
}

std::FILE* openFile(const std::filesystem::path& path, const char* mode) {
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return ::_wfopen(systemPath(path).c_str(), wideMode.c_str());
}

#else

std::filesystem::path pathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::string(text));
}

std::string pathToUtf8(const std::filesystem::path& path) {
    return path.native();
}

std::filesystem::path systemPath(const std::filesystem::path& path) {
    return path;
}

std::FILE* openFile(const std::filesystem::path& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

#endif

} // namespace plumbrae::support
