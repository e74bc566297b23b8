#pragma once

// The characters of the Windows code pages the worksheet is written in, kept with the sources
// (code_page_tables.cpp, made by code_page_tables.py) so that every system writes the same
// bytes: a code is in a table only when it stands for one character that reads back as that
// same character.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace plumbrae::support::detail {

/// Stands for "no character" in the tables.
inline constexpr char16_t NoCharacter = u'\uFFFF';
/// The trail bytes of a double-byte code run from here to 0xFE.
inline constexpr std::uint8_t FirstTrailByte = 0x40;
inline constexpr std::uint8_t LastTrailByte = 0xFE;

/// The characters of the codes that start with one lead byte: the code lead, FirstTrailByte + i
/// stands for `trails[i]`.
struct DoubleByteRow {
    std::uint8_t lead;
    std::u16string_view trails;
};

struct CodePageTable {
    std::uint16_t codePage;
    /// The characters of the single bytes 0x80 to 0xFF (0x00 to 0x7F are ASCII in every page).
    std::u16string_view singles;
    /// Empty for a single-byte page.
    std::span<const DoubleByteRow> rows;
};

/// One table for each page of WindowsAnsiCodePages, in that order.
const std::array<CodePageTable, 14>& codePageTables();

} // namespace plumbrae::support::detail
