// The byte-level encoders every block of a store goes through: text as UTF-16LE (whose ASCII
// runs go eight bytes at a time) and the checksum (folded in 64-byte steps where the processor
// can). Each is held against a plain character-by-character or bit-by-bit version.

#include "pst/ltp/property_value.h"
#include "support/crc32.h"
#include "support/text.h"
#include "tests/support/print_case.h"

#include <gtest/gtest.h>
#include <random>

namespace plumbrae::testing {
namespace {

std::string utf16Reference(std::string_view utf8) {
    std::string out;
    for (const char16_t unit : support::toUtf16(utf8)) {
        out += static_cast<char>(unit & 0xFFU);
        out += static_cast<char>(unit >> 8U);
    }
    return out;
}

using plumbrae::testing::PrintTo; // NOLINT(misc-unused-using-decls): found by GoogleTest

struct TextCase {
    const char* name;
    std::string utf8;
};

class StringValueTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(StringValueTest, MatchesCharacterByCharacterConversion) {
    const std::string& utf8 = GetParam().utf8;
    // Every start and end, so that each sequence falls at every place of an eight-byte step.
    for (std::size_t from = 0; from <= utf8.size(); ++from) {
        for (std::size_t to = from; to <= utf8.size(); ++to) {
            const auto piece = std::string_view(utf8).substr(from, to - from);
            std::string appended = "prefix";
            pst::ltp::appendStringValue(appended, piece);
            ASSERT_EQ(appended, "prefix" + utf16Reference(piece)) << from << ".." << to;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StringValueTest,
    ::testing::Values(TextCase{"ascii", "Ann Lee, 12 Main Street, Springfield 12345"},
                      TextCase{"twoAndThreeByte", "Jürgen Müller 銀座 3-chōme Zürich"},
                      TextCase{"fourByte", "note 😀 and 𝄞 between ascii runs"},
                      TextCase{"invalidBytes", "a\x80\x9F b\xC3 c\xE2\x82 d\xC0\xAF e\xED\xA0\x80 "
                                               "f\xF4\x90\x80\x80 g\xFF"},
                      TextCase{"truncatedAtEnd", "12345678\xE2\x82"}));

std::uint32_t crcReference(std::string_view bytes, std::uint32_t crc) {
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1U) != 0 ? 0xEDB88320U ^ (crc >> 1U) : crc >> 1U;
        }
    }
    return crc;
}

TEST(PstCrc32Test, MatchesBitwiseChecksumForEveryLengthAndAlignment) {
    std::mt19937 random(23);
    std::string buffer(1200, '\0');
    for (auto& c : buffer) {
        c = static_cast<char>(random());
    }
    for (std::size_t length = 0; length < 1100; length += length < 200 ? 1 : 37) {
        for (std::size_t offset = 0; offset < 4; ++offset) {
            const auto bytes = std::string_view(buffer).substr(offset, length);
            const auto initial = static_cast<std::uint32_t>(length % 2 == 0 ? 0 : random());
            ASSERT_EQ(support::pstCrc32(bytes, initial), crcReference(bytes, initial))
                << length << " bytes from " << offset;
        }
    }
    // A checksum continued piece by piece is the checksum of the whole.
    const auto whole = std::string_view(buffer);
    EXPECT_EQ(support::pstCrc32(whole.substr(700), support::pstCrc32(whole.substr(0, 700))),
              support::pstCrc32(whole));
}

} // namespace
} // namespace plumbrae::testing
