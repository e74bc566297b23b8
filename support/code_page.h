#pragma once

// Text in the Windows ANSI code pages that older file formats (BIFF2 worksheets) store. The one
// platform call is `encodeCharacter`: iconv where glibc is, WideCharToMultiByte on Windows.
// Everything else here is portable and caches per character, so a sheet of thousands of
// contacts asks the platform once for each distinct character, not once per byte.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace plumbrae::support {

/// The Windows ANSI code pages, in the order that wins a tie (Western European first).
inline constexpr std::array<std::uint16_t, 14> WindowsAnsiCodePages = {
    1252, 1250, 1251, 1253, 1254, 1255, 1256, 1257, 1258, 874, 932, 936, 949, 950};

/// The bytes of one character in a Windows code page, appended to `bytes`; false (nothing
/// appended) when the page has no such character. Only exact mappings count: a look-alike
/// ("best fit") is no mapping. Implemented per platform.
bool encodeCharacter(std::uint16_t codePage, char32_t character, std::string& bytes);

/// Picks the code page that holds most of a text's characters. ASCII is in every page and
/// so decides nothing; only the other characters are counted.
class CodePageChooser {
public:
    /// Counts the characters of `text` (read as `decodeUtf8Lenient` reads it).
    void add(std::string_view text);
    /// The page holding the most counted characters; the earlier page of
    /// `WindowsAnsiCodePages` on a tie (1252 when nothing but ASCII was added).
    [[nodiscard]] std::uint16_t best() const;

private:
    std::unordered_map<char32_t, std::size_t> m_counts;
};

/// Writes text in one code page. Characters the page lacks become "?".
class CodePageEncoder {
public:
    explicit CodePageEncoder(std::uint16_t codePage) : m_codePage(codePage) {}

    [[nodiscard]] std::uint16_t codePage() const { return m_codePage; }
    /// Appends `text` (read as `decodeUtf8Lenient` reads it) in the page; returns how many of its
    /// characters became "?".
    std::size_t append(std::string_view text, std::string& out);

private:
    /// Bytes of one character (at most 4) with their count; count 0 for "not in the page".
    struct Encoded {
        std::array<char, 4> bytes{};
        std::uint8_t length = 0;
    };
    const Encoded& lookUp(char32_t character);

    std::uint16_t m_codePage;
    std::unordered_map<char32_t, Encoded> m_cache;
};

} // namespace plumbrae::support
