// The checksum and signature every page and block carries, against known values, and how much
// a commit writes; the node database's structures are checked in written files by the
// independent checker and the outside readers (tests/pst/messaging/reader_interop_test.cpp).

#include "pst/ndb/disk_format.h"
#include "pst/ndb/node_database.h"
#include "support/crc32.h"

#include <gtest/gtest.h>

namespace plumbrae::testing {
namespace {

// Expected values: zlib's crc32 with the register preset to all ones and the result inverted
// back, which is the format's CRC (no preset, no final inversion).
TEST(Crc, MatchesTheFormatsCrc) {
    EXPECT_EQ(support::pstCrc32(""), 0x00000000U);
    EXPECT_EQ(support::pstCrc32("a"), 0x3AB551CEU);
    EXPECT_EQ(support::pstCrc32("123456789"), 0x2DFD2D88U);
}

TEST(Signature, FoldsOffsetXorIdentifier) {
    EXPECT_EQ(pst::ndb::computeSignature(0x4200, 0x17F), 0x437F);
    EXPECT_EQ(pst::ndb::computeSignature(0x12345678, 0), 0x1234 ^ 0x5678);
    // Only the low 32 bits count.
    EXPECT_EQ(pst::ndb::computeSignature(0x100000000ULL, 0), 0);
}

// A commit writes what changed: the new nodes' blocks, the B-tree pages above them and the
// allocation maps they touch, not the pages whose entries stayed; an unchanged data tree
// keeps its blocks, and one that grows at its end writes only its new blocks.
TEST(Commits, WriteOnlyWhatChanged) {
    pst::ndb::MemoryFile file;
    pst::ndb::NodeDatabase database;
    auto message = [](std::uint32_t i) {
        return pst::ndb::makeNid(pst::ndb::NidType::NormalMessage, 0x10001 + i);
    };
    auto content = [](std::uint32_t i) {
        return pst::ndb::NodeContent{{"contact " + std::to_string(i) + std::string(300, '.')}, {}};
    };
    std::vector<std::string> table(6, std::string(8000, 't'));
    for (std::uint32_t i = 0; i < 3000; ++i) {
        database.putNode(message(i), 0x8142, content(i));
    }
    database.putNode(0x814E, 0, {table, {}});
    database.commit(file, 1, false);
    database.putNode(0x814E, 0, {table, {}});
    for (std::uint32_t i = 3000; i < 3010; ++i) {
        database.putNode(message(i), 0x8142, content(i));
    }
    database.commit(file, 2, false);
    EXPECT_LE(database.lastCommitWrites(), 10U + 16U);
    table.back() = std::string(8000, 'u');
    table.emplace_back("tail");
    database.putNode(0x814E, 0, {table, {}});
    database.commit(file, 3, false);
    EXPECT_LE(database.lastCommitWrites(), 3U + 12U);
}

} // namespace
} // namespace plumbrae::testing
