// The checksum and signature every page and block carries, against known values; the node
// database itself is checked in written files by the independent checker and the outside
// readers (tests/pst/messaging/reader_interop_test.cpp).

#include "pst/ndb/disk_format.h"
#include "support/crc32.h"
#include "tests/pst/ndb/pst_test_reader.h"

#include <gtest/gtest.h>

namespace plumbrae::testing {
namespace {

struct CrcCase {
    std::string data;
    std::uint32_t expected;
};

void PrintTo(const CrcCase& c, std::ostream* out) {
    *out << c.data.size() << " bytes";
}

class CrcVectors : public ::testing::TestWithParam<CrcCase> {};

// Expected values: zlib's crc32 with the register preset to all ones and the result inverted
// back, which is the format's CRC (no preset, no final inversion).
TEST_P(CrcVectors, MatchTheFormatsCrc) {
    EXPECT_EQ(support::pstCrc32(GetParam().data), GetParam().expected);
    EXPECT_EQ(referenceCrc(GetParam().data), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Known, CrcVectors,
                         ::testing::Values(CrcCase{"", 0x00000000}, CrcCase{"a", 0x3AB551CE},
                                           CrcCase{"123456789", 0x2DFD2D88},
                                           CrcCase{std::string(32, '\0'), 0x00000000}));

TEST(Signature, FoldsOffsetXorIdentifier) {
    EXPECT_EQ(pst::ndb::computeSignature(0x4200, 0x17F), 0x437F);
    EXPECT_EQ(pst::ndb::computeSignature(0x12345678, 0), 0x1234 ^ 0x5678);
    // Only the low 32 bits count.
    EXPECT_EQ(pst::ndb::computeSignature(0x100000000ULL, 0), 0);
}

} // namespace
} // namespace plumbrae::testing
