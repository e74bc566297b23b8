// The worksheet's code pages against the C library's converter: every character a page holds
// must come back from its bytes as itself, both ways, so no cell changes silently; and a page's
// one-way and composed mappings (932's yen sign, 1258's letters with two marks) are not held.

#include "support/code_page.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <string>

namespace plumbrae::testing {
namespace {

/// `input` converted by iconv, or "(refused)".
std::string convert(const std::string& to, const std::string& from, std::string input) {
    iconv_t handle = iconv_open(to.c_str(), from.c_str());
    EXPECT_NE(handle, reinterpret_cast<iconv_t>(-1)) << from; // NOLINT(performance-no-int-to-ptr)
    std::string output(16, '\0');
    char* in = input.data();
    char* out = output.data();
    std::size_t inLeft = input.size();
    std::size_t outLeft = output.size();
    const bool done =
        iconv(handle, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1) &&
        iconv(handle, nullptr, nullptr, &out, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(handle);
    return done && inLeft == 0 ? output.substr(0, output.size() - outLeft) : "(refused)";
}

std::string utf32(char32_t character) {
    const auto value = static_cast<std::uint32_t>(character);
    return {static_cast<char>(value & 0xFFU), static_cast<char>((value >> 8U) & 0xFFU),
            static_cast<char>((value >> 16U) & 0xFFU), static_cast<char>(value >> 24U)};
}

TEST(CodePages, EveryHeldCharacterReadsBackAsItself) {
    for (const std::uint16_t page : support::WindowsAnsiCodePages) {
        const std::string name = "CP" + std::to_string(page);
        std::size_t held = 0;
        for (char32_t character = 0x80; character < 0x10000; ++character) {
            std::string bytes;
            if (!support::encodeCharacter(page, character, bytes)) {
                continue;
            }
            ++held;
            ASSERT_EQ(convert("UTF-32LE", name, bytes), utf32(character)) << name << " " << bytes;
            ASSERT_EQ(convert(name, "UTF-32LE", utf32(character)), bytes) << name;
        }
        EXPECT_GT(held, page == 874 ? 90U : 100U) << name;
    }
    std::string bytes;
    for (const auto& [page, character] : {std::pair{932, U'\u00A5'},
                                          {932, U'\u203E'},
                                          {932, U'\u00A2'},
                                          {932, U'\u2016'},
                                          {932, U'\u2014'},
                                          {936, U'\u20AC'},
                                          {1258, U'\u1EC5'},
                                          {1252, U'\u0081'},
                                          {1252, U'\U0001F363'},
                                          {437, U'\u00E9'}}) {
        EXPECT_FALSE(support::encodeCharacter(static_cast<std::uint16_t>(page), character, bytes))
            << page << " " << static_cast<std::uint32_t>(character);
    }
    EXPECT_TRUE(support::encodeCharacter(437, U'A', bytes));
    EXPECT_EQ(bytes, "A");
}

} // namespace
} // namespace plumbrae::testing
