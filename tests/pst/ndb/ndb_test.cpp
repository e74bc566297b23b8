#include "pst/ndb/disk_format.h"
#include "pst/ndb/node_database.h"
#include "pst/ndb/node_database_writer.h"
#include "support/crc32.h"
#include "tests/pst/ndb/pst_test_reader.h"

#include <gtest/gtest.h>

namespace plumbrae::testing {
namespace {

using pst::ndb::makeNid;
using pst::ndb::MemoryFile;
using pst::ndb::NidType;
using pst::ndb::NodeContent;
using pst::ndb::NodeDatabaseWriter;

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

std::string build(const std::vector<std::pair<pst::ndb::Nid, NodeContent>>& nodes) {
    MemoryFile file;
    NodeDatabaseWriter writer(file);
    for (const auto& [nid, content] : nodes) {
        writer.addNode(nid, 0, content);
    }
    writer.finish(7);
    return file.bytes();
}

TEST(NodeDatabase, HeaderIsUnicodeWithValidCrcsAndRoot) {
    TestPstReader reader(build({{0x21, {{"store"}, {}}}}));
    EXPECT_TRUE(reader.problems().empty()) << reader.problems().front();
    EXPECT_EQ(reader.u16(10), 23);                         // Unicode
    EXPECT_EQ(reader.u64(180 + 4), reader.bytes().size()); // end of file
    EXPECT_EQ((reader.bytes().size() - 0x4400) % 0x3E000, 0U);
    EXPECT_EQ(static_cast<std::uint8_t>(reader.bytes()[180 + 68]), 2); // maps valid
    EXPECT_EQ(static_cast<std::uint8_t>(reader.bytes()[513]), 0);      // no encoding
    ASSERT_EQ(reader.nodes().count(0x21), 1U);
    EXPECT_EQ(reader.blockData(reader.nodes().at(0x21).dataBid), "store");
}

TEST(NodeDatabase, TreesSplitBeyondOnePageAndKeepEveryNode) {
    std::vector<std::pair<pst::ndb::Nid, NodeContent>> nodes;
    for (std::uint32_t i = 0; i < 2000; ++i) {
        nodes.push_back({makeNid(NidType::NormalMessage, 0x10001 + i), {{std::to_string(i)}, {}}});
    }
    TestPstReader reader(build(nodes));
    EXPECT_TRUE(reader.problems().empty()) << reader.problems().front();
    EXPECT_EQ(reader.nodes().size(), 2000U);
    EXPECT_EQ(reader.blocks().size(), 2000U);
    // 2000 nodes need 134 leaves of 15, so two levels of branches above them.
    EXPECT_EQ(reader.nodeTreeDepth(), 3);
    EXPECT_EQ(reader.blockTreeDepth(), 3);
    for (std::uint32_t i = 0; i < 2000; i += 97) {
        const auto& node = reader.nodes().at(makeNid(NidType::NormalMessage, 0x10001 + i));
        EXPECT_EQ(reader.blockData(node.dataBid), std::to_string(i));
    }
    // The header's counters lie above everything in use.
    EXPECT_GE(reader.u32(44 + 4 * 4), 0x10001U + 1999U);
}

TEST(NodeDatabase, DataPastOneBlockGoesThroughADataTree) {
    std::vector<std::string> pieces = {std::string(8176, 'a'), std::string(8176, 'b'), "c"};
    TestPstReader reader(build({{0x21, {pieces, {}}}}));
    const auto bid = reader.nodes().at(0x21).dataBid;
    EXPECT_EQ(bid & 2U, 2U); // internal
    EXPECT_EQ(reader.nodeData(bid), pieces);
    EXPECT_EQ(reader.lastDataTreeLevel(), 1);
    EXPECT_TRUE(reader.problems().empty()) << reader.problems().front();
}

TEST(NodeDatabase, DataPastOneDataTreeBlockGoesThroughTwoLevels) {
    std::vector<std::string> pieces(1100, std::string(100, 'x'));
    pieces.back() = "end";
    TestPstReader reader(build({{0x21, {pieces, {}}}}));
    EXPECT_EQ(reader.nodeData(reader.nodes().at(0x21).dataBid), pieces);
    EXPECT_EQ(reader.lastDataTreeLevel(), 2);
    EXPECT_TRUE(reader.problems().empty()) << reader.problems().front();
}

class SubnodeCounts : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(SubnodeCounts, AreAllFoundSortedByIdentifier) {
    NodeContent content{{"parent"}, {}};
    for (std::uint32_t i = GetParam(); i > 0; --i) {
        content.subnodes.push_back({makeNid(NidType::Ltp, i), {{"sub" + std::to_string(i)}, {}}});
    }
    content.subnodes.front().content.subnodes.push_back({0x671, {{"nested"}, {}}});
    TestPstReader reader(build({{0x21, content}}));
    const auto subnodes = reader.subnodes(reader.nodes().at(0x21).subnodeBid);
    ASSERT_EQ(subnodes.size(), GetParam());
    for (const auto& [nid, entry] : subnodes) {
        EXPECT_EQ(reader.blockData(entry.dataBid), "sub" + std::to_string(nid >> 5U));
    }
    const auto& nested = subnodes.at(makeNid(NidType::Ltp, GetParam()));
    EXPECT_EQ(reader.blockData(reader.subnodes(nested.subnodeBid).at(0x671).dataBid), "nested");
    EXPECT_TRUE(reader.problems().empty()) << reader.problems().front();
}

// One leaf block holds 340 entries; more need an index level.
INSTANTIATE_TEST_SUITE_P(OneAndTwoLevels, SubnodeCounts, ::testing::Values(1U, 340U, 341U, 1000U));

/// Every 64-byte unit the maps mark in use is used by exactly one map page, block or B-tree
/// page, every used unit is marked, and the root's free-byte count matches.
void expectMapsMatchUse(const TestPstReader& reader) {
    const auto& bytes = reader.bytes();
    const std::uint64_t range = 0x3E000;
    const auto ranges = (bytes.size() - 0x4400) / range;
    std::vector<bool> used((bytes.size() - 0x4400) / 64, false);
    auto mark = [&](std::uint64_t offset, std::uint64_t size) {
        for (auto unit = (offset - 0x4400) / 64; unit < (offset - 0x4400 + size + 63) / 64;
             ++unit) {
            EXPECT_FALSE(used[unit]) << "overlap at " << offset;
            used[unit] = true;
        }
    };
    for (std::uint64_t r = 0; r < ranges; ++r) {
        mark(0x4400 + r * range, 512);
        if (r % 8 == 0) {
            mark(0x4400 + r * range + 512, 512);
            EXPECT_EQ(bytes[static_cast<std::size_t>(0x4400 + r * range + 512)], '\xFF');
        }
    }
    for (const auto& [bid, block] : reader.blocks()) {
        mark(block.offset, (std::uint64_t{block.size} + 16U + 63U) / 64U * 64U);
    }
    for (const auto page : reader.pageOffsets()) {
        mark(page, 512);
    }
    std::uint64_t freeUnits = 0;
    for (std::uint64_t r = 0; r < ranges; ++r) {
        const auto map = static_cast<std::size_t>(0x4400 + r * range);
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[map + 496]), 0x84);
        EXPECT_EQ(reader.u32(map + 500), referenceCrc(std::string_view(bytes).substr(map, 496)));
        for (std::size_t unit = 0; unit < std::size_t{496} * 8; ++unit) {
            const bool bit =
                ((static_cast<unsigned>(static_cast<std::uint8_t>(bytes[map + unit / 8])) >>
                  (7U - unit % 8U)) &
                 1U) != 0;
            ASSERT_EQ(bit, used[r * 3968 + unit]) << "range " << r << " unit " << unit;
            freeUnits += bit ? 0 : 1;
        }
    }
    EXPECT_EQ(reader.u64(180 + 20), freeUnits * 64);                // free bytes in the root
    EXPECT_EQ(reader.u64(180 + 12), 0x4400 + (ranges - 1) * range); // last map
}

TEST(AllocationMaps, MarkExactlyWhatIsUsedAndCountTheRest) {
    std::vector<std::pair<pst::ndb::Nid, NodeContent>> nodes;
    // About 3 MB: several allocation maps and a second page map.
    for (std::uint32_t i = 0; i < 400; ++i) {
        nodes.push_back({makeNid(NidType::NormalMessage, 0x10001 + i),
                         {{std::string(8000, static_cast<char>('a' + i % 26))}, {}}});
    }
    TestPstReader reader(build(nodes));
    ASSERT_TRUE(reader.problems().empty()) << reader.problems().front();
    EXPECT_GE((reader.bytes().size() - 0x4400) / 0x3E000, 9U);
    expectMapsMatchUse(reader);
}

pst::ndb::Nid messageNid(std::uint32_t i) {
    return makeNid(NidType::NormalMessage, 0x10001 + i);
}

std::string contentOf(std::uint32_t i) {
    return "contact " + std::to_string(i) + std::string(300, '.');
}

TEST(Commits, WriteOnlyWhatChangedAndLeaveAConsistentFile) {
    MemoryFile file; // holds what the previous commit wrote, as the cloned aside file does
    pst::ndb::NodeDatabase database;
    const pst::ndb::Nid table = 0x814E;
    std::vector<std::string> tablePieces(6, std::string(8000, 't'));
    for (std::uint32_t i = 0; i < 3000; ++i) {
        database.putNode(messageNid(i), 0x8142, {{contentOf(i)}, {}});
    }
    database.putNode(table, 0, {tablePieces, {}});
    database.commit(file, 1, false);
    EXPECT_GT(database.lastCommitWrites(), 3000U);

    // The table again, unchanged, and ten new nodes: ten blocks, the B-tree pages above them
    // and the allocation maps they touch.
    database.putNode(table, 0, {tablePieces, {}});
    for (std::uint32_t i = 3000; i < 3010; ++i) {
        database.putNode(messageNid(i), 0x8142, {{contentOf(i)}, {}});
    }
    database.commit(file, 2, false);
    EXPECT_LE(database.lastCommitWrites(), 10U + 16U);

    // The table grows at its end: its unchanged blocks stay.
    tablePieces.back() = std::string(8000, 'u');
    tablePieces.push_back("tail");
    database.putNode(table, 0, {tablePieces, {}});
    database.commit(file, 3, false);
    EXPECT_LE(database.lastCommitWrites(), 3U + 12U); // two blocks, the data tree, pages

    TestPstReader reader(file.bytes());
    ASSERT_TRUE(reader.problems().empty()) << reader.problems().front();
    EXPECT_EQ(reader.nodes().size(), 3011U);
    EXPECT_EQ(reader.nodeData(reader.nodes().at(table).dataBid), tablePieces);
    for (std::uint32_t i = 0; i < 3010; i += 101) {
        EXPECT_EQ(reader.blockData(reader.nodes().at(messageNid(i)).dataBid), contentOf(i));
    }
    EXPECT_EQ(reader.u32(40), 3U); // the header of the last commit
    expectMapsMatchUse(reader);
}

TEST(Commits, ReuseTheSpaceOfReplacedBlocks) {
    MemoryFile file;
    pst::ndb::NodeDatabase database;
    std::uint64_t firstSize = 0;
    for (std::uint32_t round = 0; round < 40; ++round) {
        database.putNode(
            0x21, 0,
            {std::vector<std::string>(30, std::string(8000, static_cast<char>('a' + round % 26))),
             {}});
        const auto size = database.commit(file, round + 1, false);
        firstSize = round == 0 ? size : firstSize;
        EXPECT_LE(size, firstSize + 0x3E000) << "round " << round;
    }
    TestPstReader reader(file.bytes());
    ASSERT_TRUE(reader.problems().empty()) << reader.problems().front();
    EXPECT_EQ(reader.blocks().size(), 31U);
    expectMapsMatchUse(reader);
}

} // namespace
} // namespace plumbrae::testing
