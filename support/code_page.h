#pragma once

// Text in the Windows ANSI code pages that older file formats (BIFF2 worksheets) store. The
// pages' characters come from tables kept with the sources, not from the system, so a sheet has
// the same bytes on every system. A page holds a character only when it has a code of its own
// for it that every reader turns back into that same character: a look-alike ("\" for "¥"), a
// letter made of a base letter and a combining mark, or a code some readers lack (the euro sign
// of 936) does not count.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plumbrae::support {

/// The Windows ANSI code pages, in the order that wins a tie: Western European first, then the
/// other single-byte pages, then the double-byte ones.
inline constexpr std::array<std::uint16_t, 14> WindowsAnsiCodePages = {
    1252, 1250, 1251, 1253, 1254, 1255, 1256, 1257, 1258, 874, 932, 936, 949, 950};

/// The page for messages: "Windows-1252 (Western European)".
std::string codePageName(std::uint16_t codePage);

/// The bytes of one character in a Windows code page, appended to `bytes`; false (nothing
/// appended) when the page does not hold the character. ASCII is in every page.
bool encodeCharacter(std::uint16_t codePage, char32_t character, std::string& bytes);

/// Chooses a sheet's code page by its cells: the page that keeps the most cells whole. A cell
/// with one character its page lacks reads "?" there and is damaged, however many characters
/// it has, so cells count, not characters.
class CodePageChooser {
public:
    /// Counts one cell (read as `decodeUtf8Lenient` reads it) for each page that holds every
    /// character of it.
    void addCell(std::string_view cell);
    /// The page keeping the most cells whole; on a tie the earlier page of
    /// `WindowsAnsiCodePages` (1252 when every cell is ASCII).
    [[nodiscard]] std::uint16_t best() const;

private:
    /// The pages holding a character, one bit per page of WindowsAnsiCodePages.
    std::uint16_t pagesHolding(char32_t character);

    std::array<std::size_t, WindowsAnsiCodePages.size()> m_wholeCells{};
    /// The pages of each character of the basic plane looked up so far, by character; made at
    /// the first character beyond ASCII.
    std::vector<std::uint16_t> m_pages;
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
    /// Bytes of one character (at most 2) with their count; count 0 for "not in the page",
    /// NotLookedUp until it is known.
    struct Encoded {
        std::array<char, 2> bytes{};
        std::uint8_t length = NotLookedUp;
    };
    static constexpr std::uint8_t NotLookedUp = 0xFF;
    const Encoded& lookUp(char32_t character);

    std::uint16_t m_codePage;
    /// Every character of the basic plane by its number, looked up once; made at the first
    /// character beyond ASCII. No page holds a character beyond the basic plane.
    std::vector<Encoded> m_cache;
};

} // namespace plumbrae::support
