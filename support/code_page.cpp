#include "support/code_page.h"

#include "support/code_page_tables_p.h"
#include "support/text.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace plumbrae::support {
namespace {

constexpr std::size_t PageCount = WindowsAnsiCodePages.size();

/// One character of a page and its code: a single byte below 0x100, else lead and trail byte.
struct Encoding {
    char16_t character;
    std::uint16_t code;
};

/// Each page's characters sorted for lookup, made from the tables once.
const std::array<std::vector<Encoding>, PageCount>& encodings() {
    static const auto Sorted = [] {
        std::array<std::vector<Encoding>, PageCount> pages;
        for (std::size_t page = 0; page < PageCount; ++page) {
            const auto& table = detail::codePageTables()[page];
            auto& list = pages[page];
            for (std::size_t i = 0; i < table.singles.size(); ++i) {
                if (table.singles[i] != detail::NoCharacter) {
                    list.push_back({table.singles[i], static_cast<std::uint16_t>(0x80 + i)});
                }
            }
            for (const auto& row : table.rows) {
                for (std::size_t i = 0; i < row.trails.size(); ++i) {
                    if (row.trails[i] != detail::NoCharacter) {
                        const std::size_t code =
                            (std::size_t{row.lead} << 8U) + detail::FirstTrailByte + i;
                        list.push_back({row.trails[i], static_cast<std::uint16_t>(code)});
                    }
                }
            }
            std::sort(list.begin(), list.end(), [](const Encoding& a, const Encoding& b) {
                return a.character < b.character;
            });
        }
        return pages;
    }();
    return Sorted;
}

std::optional<std::size_t> pageIndex(std::uint16_t codePage) {
    const auto* found =
        std::find(WindowsAnsiCodePages.begin(), WindowsAnsiCodePages.end(), codePage);
    if (found == WindowsAnsiCodePages.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - WindowsAnsiCodePages.begin());
}

/// The code of a character beyond ASCII in the page at `page`, or nothing.
std::optional<std::uint16_t> codeOf(std::size_t page, char32_t character) {
    if (character > 0xFFFF) { // no page holds a character beyond the basic plane
        return std::nullopt;
    }
    const auto& list = encodings()[page];
    const auto found = std::lower_bound(
        list.begin(), list.end(), character,
        [](const Encoding& entry, char32_t wanted) { return entry.character < wanted; });
    if (found == list.end() || found->character != character) {
        return std::nullopt;
    }
    return found->code;
}

} // namespace

std::string codePageName(std::uint16_t codePage) {
    static constexpr std::array<std::string_view, PageCount> Scripts = {
        "Western European", "Central European",
        "Cyrillic",         "Greek",
        "Turkish",          "Hebrew",
        "Arabic",           "Baltic",
        "Vietnamese",       "Thai",
        "Japanese",         "Simplified Chinese",
        "Korean",           "Traditional Chinese"};
    std::string name = "Windows-" + decimal(codePage);
    if (const auto page = pageIndex(codePage)) {
        name.append(" (").append(Scripts[*page]).append(")");
    }
    return name;
}

bool encodeCharacter(std::uint16_t codePage, char32_t character, std::string& bytes) {
    if (character < 0x80) {
        bytes.push_back(static_cast<char>(character));
        return true;
    }
    const auto page = pageIndex(codePage);
    const auto code = page ? codeOf(*page, character) : std::nullopt;
    if (!code) {
        return false;
    }
    if (*code > 0xFF) {
        bytes.push_back(static_cast<char>(*code >> 8U));
    }
    bytes.push_back(static_cast<char>(*code & 0xFFU));
    return true;
}

std::uint16_t CodePageChooser::pagesHolding(char32_t character) {
    // No page holds a character beyond the basic plane; 0xFFFF (16 pages) marks "not looked up".
    constexpr std::uint16_t NotLookedUp = 0xFFFF;
    static_assert(PageCount < 16);
    if (character > 0xFFFF) {
        return 0;
    }
    if (m_pages.empty()) {
        m_pages.assign(0x10000, NotLookedUp);
    }
    std::uint16_t& pages = m_pages[character];
    if (pages == NotLookedUp) {
        pages = 0;
        for (std::size_t page = 0; page < PageCount; ++page) {
            if (codeOf(page, character)) {
                pages = static_cast<std::uint16_t>(pages | (1U << page));
            }
        }
    }
    return pages;
}

void CodePageChooser::addCell(std::string_view cell) {
    // An ASCII cell is whole in every page and so decides nothing.
    constexpr std::uint16_t EveryPage = (1U << PageCount) - 1;
    std::uint16_t holding = EveryPage;
    std::size_t pos = 0;
    while (pos < cell.size() && holding != 0) {
        if (static_cast<unsigned char>(cell[pos]) < 0x80) {
            ++pos;
            continue;
        }
        std::size_t length = 0;
        holding = static_cast<std::uint16_t>(holding &
                                             pagesHolding(decodeUtf8Lenient(cell, pos, length)));
        pos += length;
    }
    if (holding == EveryPage) {
        return; // one more for every page changes no page's place
    }
    for (std::size_t page = 0; page < PageCount; ++page) {
        if ((holding & (1U << page)) != 0) {
            ++m_wholeCells[page];
        }
    }
}

std::uint16_t CodePageChooser::best() const {
    std::size_t winner = 0;
    for (std::size_t page = 1; page < PageCount; ++page) {
        if (m_wholeCells[page] > m_wholeCells[winner]) {
            winner = page;
        }
    }
    return WindowsAnsiCodePages[winner];
}

const CodePageEncoder::Encoded& CodePageEncoder::lookUp(char32_t character) {
    static const Encoded NotInPage{{}, 0};
    if (character > 0xFFFF) {
        return NotInPage;
    }
    if (m_cache.empty()) {
        m_cache.resize(0x10000);
    }
    Encoded& encoded = m_cache[character];
    if (encoded.length == NotLookedUp) {
        std::string bytes;
        encoded.length = 0;
        if (encodeCharacter(m_codePage, character, bytes)) {
            bytes.copy(encoded.bytes.data(), bytes.size());
            encoded.length = static_cast<std::uint8_t>(bytes.size());
        }
    }
    return encoded;
}

std::size_t CodePageEncoder::append(std::string_view text, std::string& out) {
    std::size_t replaced = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        // Runs of ASCII go across as they are.
        std::size_t end = pos;
        while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80) {
            ++end;
        }
        if (end > pos) {
            out.append(text.substr(pos, end - pos));
            pos = end;
            continue;
        }
        std::size_t length = 0;
        const Encoded& encoded = lookUp(decodeUtf8Lenient(text, pos, length));
        if (encoded.length == 0) {
            out.push_back('?');
            ++replaced;
        } else {
            out.append(encoded.bytes.data(), encoded.length);
        }
        pos += length;
    }
    return replaced;
}

} // namespace plumbrae::support
