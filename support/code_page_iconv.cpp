// encodeCharacter with the C library's iconv (glibc knows every Windows ANSI page as "CPnnnn").

#include "support/code_page.h"

#include <cerrno>
#include <iconv.h>
#include <map>
#include <mutex>

namespace plumbrae::support {
namespace {

/// One conversion descriptor per page, opened on first use and kept for the program's life.
/// Guarded, because tests and the window may convert from more than one thread.
class Converters {
public:
    Converters() = default;
    Converters(const Converters&) = delete;
    Converters& operator=(const Converters&) = delete;
    ~Converters() {
        for (auto& [page, handle] : m_handles) {
            if (handle != invalid()) {
                iconv_close(handle);
            }
        }
    }

    bool encode(std::uint16_t codePage, char32_t character, std::string& bytes) {
        const std::lock_guard lock(m_mutex);
        auto found = m_handles.find(codePage);
        if (found == m_handles.end()) {
            const std::string name = "CP" + std::to_string(codePage);
            found = m_handles.emplace(codePage, iconv_open(name.c_str(), "UTF-32LE")).first;
        }
        iconv_t handle = found->second;
        if (handle == invalid()) {
            return false;
        }
        const auto value = static_cast<std::uint32_t>(character);
        char input[4] = {static_cast<char>(value & 0xFFU), static_cast<char>((value >> 8U) & 0xFFU),
                         static_cast<char>((value >> 16U) & 0xFFU),
                         static_cast<char>((value >> 24U) & 0xFFU)};
        char output[16];
        char* in = input;
        std::size_t inLeft = sizeof input;
        char* out = output;
        std::size_t outLeft = sizeof output;
        iconv(handle, nullptr, nullptr, nullptr, nullptr);
        const std::size_t converted = iconv(handle, &in, &inLeft, &out, &outLeft);
        // Pages that combine accents (1255, 1258) may hold a character back until the end.
        const std::size_t flushed = iconv(handle, nullptr, nullptr, &out, &outLeft);
        if (converted == static_cast<std::size_t>(-1) || flushed == static_cast<std::size_t>(-1) ||
            inLeft != 0 || out == output) {
            return false;
        }
        bytes.append(output, static_cast<std::size_t>(out - output));
        return true;
    }

private:
    // iconv_open reports failure with this value.
    static iconv_t invalid() {
        return reinterpret_cast<iconv_t>(-1); // NOLINT(performance-no-int-to-ptr)
    }

    std::mutex m_mutex;
    std::map<std::uint16_t, iconv_t> m_handles;
};

} // namespace

bool encodeCharacter(std::uint16_t codePage, char32_t character, std::string& bytes) {
    static Converters converters;
    return converters.encode(codePage, character, bytes);
}

} // namespace plumbrae::support
