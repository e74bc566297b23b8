#include "pst/ltp/heap_builder.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/ndb/node_database_writer.h"
#include "tests/pst/ndb/pst_test_reader.h"

#include <gtest/gtest.h>
#include <map>
#include <optional>

namespace plumbrae::testing {
namespace {

using namespace pst::ltp;
using pst::ndb::NodeContent;

std::uint32_t le32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8U | static_cast<std::uint8_t>(bytes.at(at + static_cast<std::size_t>(i)));
    }
    return value;
}
std::uint16_t le16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes.at(at)) |
                                      static_cast<std::uint8_t>(bytes.at(at + 1)) << 8U);
}

/// A node as read back from a written file: data blocks and subnodes (data only).
struct ReadBack {
    std::vector<std::string> blocks;
    std::map<std::uint32_t, std::vector<std::string>> subnodes;
};

ReadBack roundTrip(const NodeContent& content) {
    pst::ndb::MemoryFile file;
    pst::ndb::NodeDatabaseWriter writer(file);
    writer.addNode(0x21, 0, content);
    writer.finish(1);
    TestPstReader reader(file.bytes());
    EXPECT_TRUE(reader.problems().empty()) << reader.problems().front();
    const auto& node = reader.nodes().at(0x21);
    ReadBack back{reader.nodeData(node.dataBid), {}};
    for (const auto& [nid, sub] : reader.subnodes(node.subnodeBid)) {
        back.subnodes[nid] = reader.nodeData(sub.dataBid);
    }
    return back;
}

/// Reads a heap the way a client does: page map of the block, then the allocation's bounds.
std::string allocation(const std::vector<std::string>& blocks, std::uint32_t hid) {
    const auto& block = blocks.at(hid >> 16U);
    const auto index = (hid >> 5U) & 0x7FFU;
    const auto map = le16(block, 0);
    EXPECT_LE(index, le16(block, map));
    const auto start = le16(block, map + 4 + 2 * (index - 1));
    const auto end = le16(block, map + 4 + 2 * index);
    return block.substr(start, end - start);
}

std::string valueOf(const ReadBack& node, std::uint32_t hnid) {
    if (hnid == 0) {
        return {};
    }
    if ((hnid & 0x1FU) != 0) {
        std::string joined;
        for (const auto& piece : node.subnodes.at(hnid)) {
            joined += piece;
        }
        return joined;
    }
    return allocation(node.blocks, hnid);
}

/// Records of a heap B-tree, in key order.
std::vector<std::string> heapBTree(const std::vector<std::string>& blocks, std::uint32_t header) {
    const auto head = allocation(blocks, header);
    EXPECT_EQ(static_cast<std::uint8_t>(head.at(0)), 0xB5);
    const auto keySize = static_cast<std::size_t>(static_cast<std::uint8_t>(head.at(1)));
    const auto dataSize = static_cast<std::size_t>(static_cast<std::uint8_t>(head.at(2)));
    std::vector<std::string> records;
    auto walk = [&](auto&& self, std::uint32_t hid, int level) -> void {
        const auto bytes = allocation(blocks, hid);
        const auto size = keySize + (level > 0 ? 4 : dataSize);
        EXPECT_EQ(bytes.size() % size, 0U);
        for (std::size_t at = 0; at + size <= bytes.size(); at += size) {
            if (level > 0) {
                self(self, le32(bytes, at + keySize), level - 1);
            } else {
                records.push_back(bytes.substr(at, size));
            }
        }
    };
    if (le32(head, 4) != 0) {
        walk(walk, le32(head, 4), head.at(3));
    }
    return records;
}

TEST(Heap, FirstBlockCarriesSignaturesAndUserRoot) {
    HeapBuilder heap(HeapClient::PropertyContext);
    const auto hid = heap.allocate("hello");
    heap.setUserRoot(hid);
    const auto blocks = heap.finish();
    ASSERT_EQ(blocks.size(), 1U);
    EXPECT_EQ(hid, 0x20U); // block 0, allocation 1
    EXPECT_EQ(static_cast<std::uint8_t>(blocks[0][2]), 0xEC);
    EXPECT_EQ(static_cast<std::uint8_t>(blocks[0][3]), 0xBC);
    EXPECT_EQ(le32(blocks[0], 4), hid);
    EXPECT_EQ(allocation(blocks, hid), "hello");
    EXPECT_EQ(le16(blocks[0], 0) % 2, 0);
}

TEST(Heap, SpreadsOverBlocksWithBitmapHeadersWhereTheFormatWantsThem) {
    HeapBuilder heap(HeapClient::BTree);
    std::vector<std::pair<std::uint32_t, std::string>> stored;
    for (int i = 0; i < 40; ++i) {
        std::string bytes(3000 + static_cast<std::size_t>(i), static_cast<char>('A' + i % 26));
        stored.emplace_back(heap.allocate(bytes), bytes);
    }
    const auto blocks = heap.finish();
    EXPECT_GE(blocks.size(), 15U);
    for (const auto& block : blocks) {
        EXPECT_LE(block.size(), 8176U);
    }
    for (const auto& [hid, bytes] : stored) {
        EXPECT_EQ(allocation(blocks, hid), bytes);
    }
    // Block 8 starts with the page-map offset and 64 fill-level bytes.
    ASSERT_GT(blocks.size(), 8U);
    EXPECT_GE(le16(blocks[8], 0), 66);
    const auto first8 = std::find_if(stored.begin(), stored.end(),
                                     [](const auto& entry) { return entry.first >> 16U == 8; });
    ASSERT_NE(first8, stored.end());
    EXPECT_EQ(blocks[8].find(first8->second), 66U);
}

TEST(Heap, RefusesAllocationsPastTheLimit) {
    HeapBuilder heap(HeapClient::BTree);
    EXPECT_NO_THROW(heap.allocate(std::string(MaxHeapAllocation, 'x')));
    EXPECT_THROW(heap.allocate(std::string(MaxHeapAllocation + 1, 'x')), std::length_error);
}

class HeapBTreeSizes : public ::testing::TestWithParam<std::size_t> {};

TEST_P(HeapBTreeSizes, ReadBackInKeyOrder) {
    HeapBuilder heap(HeapClient::BTree);
    std::vector<std::string> records;
    for (std::uint32_t i = 0; i < GetParam(); ++i) {
        std::string record;
        for (const auto value : {i * 2 + 1, i}) {
            for (int b = 0; b < 4; ++b) {
                record.push_back(static_cast<char>((value >> (8 * b)) & 0xFFU));
            }
        }
        records.push_back(record);
    }
    const auto root = buildHeapBTree(heap, 4, 4, records);
    heap.setUserRoot(root);
    const auto blocks = heap.finish();
    EXPECT_EQ(heapBTree(blocks, root), records);
    const auto levels = static_cast<int>(allocation(blocks, root).at(3));
    EXPECT_EQ(levels, GetParam() > 3580 / 8 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(LeafAndIndex, HeapBTreeSizes,
                         ::testing::Values(0U, 1U, 447U, 448U, 5000U));

TEST(PropertyContext, KeepsSmallValuesInlineOrInTheHeapAndBigOnesInSubnodes) {
    const std::string big(5000, 'b');   // past the heap limit: one subnode block
    const std::string huge(20000, 'h'); // past one block: a subnode with a data tree
    const std::vector<Property> properties = {
        {makeTag(0x3001, PropertyType::String), stringValue("Ann Lee")},
        {makeTag(0x0E07, PropertyType::Int32), int32Value(0x11)},
        {makeTag(0x0E1B, PropertyType::Boolean), booleanValue(true)},
        {makeTag(0x3007, PropertyType::Time), int64Value(0x01D2345678901234)},
        {makeTag(0x1000, PropertyType::String), big},
        {makeTag(0x3701, PropertyType::Binary), huge},
        {makeTag(0x3A06, PropertyType::String), ""},
    };
    const auto node = roundTrip(buildPropertyContext(properties));
    ASSERT_FALSE(node.blocks.empty());
    EXPECT_EQ(static_cast<std::uint8_t>(node.blocks[0][3]), 0xBC);
    const auto records = heapBTree(node.blocks, le32(node.blocks[0], 4));
    ASSERT_EQ(records.size(), properties.size());
    std::map<std::uint16_t, std::pair<std::uint16_t, std::uint32_t>> byId;
    for (const auto& record : records) {
        byId[le16(record, 0)] = {le16(record, 2), le32(record, 4)};
    }
    EXPECT_EQ(byId.at(0x0E07).second, 0x11U);
    EXPECT_EQ(byId.at(0x0E1B).second, 1U);
    EXPECT_EQ(valueOf(node, byId.at(0x3001).second), stringValue("Ann Lee"));
    EXPECT_EQ(valueOf(node, byId.at(0x3007).second), int64Value(0x01D2345678901234));
    EXPECT_NE(byId.at(0x1000).second & 0x1FU, 0U);
    EXPECT_EQ(valueOf(node, byId.at(0x1000).second), big);
    EXPECT_EQ(node.subnodes.at(byId.at(0x3701).second).size(), 3U);
    EXPECT_EQ(valueOf(node, byId.at(0x3701).second), huge);
    EXPECT_EQ(byId.at(0x3A06).second, 0U);
    // Records are sorted by property id.
    EXPECT_TRUE(std::is_sorted(records.begin(), records.end(), [](const auto& a, const auto& b) {
        return le16(a, 0) < le16(b, 0);
    }));
}

TEST(PropertyContext, RefusesAPropertySetTwice) {
    EXPECT_THROW(buildPropertyContext({{makeTag(0x3001, PropertyType::String), "a"},
                                       {makeTag(0x3001, PropertyType::Binary), "b"}}),
                 std::invalid_argument);
}

TEST(MultiValued, StringsCarryCountAndOffsets) {
    const auto value = multiStringValue({"ab", "c"});
    EXPECT_EQ(le32(value, 0), 2U);
    EXPECT_EQ(le32(value, 4), 12U);
    EXPECT_EQ(le32(value, 8), 16U);
    EXPECT_EQ(value.substr(12), stringValue("abc"));
}

TEST(Strings, AreUtf16WithSurrogatePairsAndNoTerminator) {
    EXPECT_EQ(stringValue("A\xF0\x9F\x98\x80"), std::string("A\0\x3D\xD8\x00\xDE", 6));
}

struct TableRead {
    std::vector<std::tuple<std::uint32_t, std::uint16_t, std::uint8_t, std::uint8_t>> columns;
    std::uint16_t rowSize = 0;
    std::uint16_t bitmapStart = 0;
    std::vector<std::string> rows;
    std::map<std::uint32_t, std::uint32_t> rowIndex;
    std::uint32_t rowsReference = 0;
};

TableRead readTable(const ReadBack& node) {
    TableRead table;
    const auto info = allocation(node.blocks, le32(node.blocks.at(0), 4));
    EXPECT_EQ(static_cast<std::uint8_t>(info.at(0)), 0x7C);
    const auto columnCount = static_cast<std::uint8_t>(info.at(1));
    table.bitmapStart = le16(info, 6);
    table.rowSize = le16(info, 8);
    for (std::size_t i = 0; i < columnCount; ++i) {
        const auto at = 22 + 8 * i;
        table.columns.emplace_back(le32(info, at), le16(info, at + 4),
                                   static_cast<std::uint8_t>(info.at(at + 6)),
                                   static_cast<std::uint8_t>(info.at(at + 7)));
    }
    for (const auto& record : heapBTree(node.blocks, le32(info, 10))) {
        table.rowIndex[le32(record, 0)] = le32(record, 4);
    }
    table.rowsReference = le32(info, 14);
    std::vector<std::string> pieces;
    if ((table.rowsReference & 0x1FU) != 0) {
        pieces = node.subnodes.at(table.rowsReference);
    } else if (table.rowsReference != 0) {
        pieces = {allocation(node.blocks, table.rowsReference)};
    }
    for (const auto& piece : pieces) {
        EXPECT_EQ(piece.size() % table.rowSize, 0U) << "a row straddles blocks";
        for (std::size_t at = 0; at < piece.size(); at += table.rowSize) {
            table.rows.push_back(piece.substr(at, table.rowSize));
        }
    }
    return table;
}

class TableRows : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(TableRows, ReadBackWithIndexAndCellBits) {
    const auto nameTag = makeTag(0x3001, PropertyType::String);
    const auto countTag = makeTag(0x3602, PropertyType::Int32);
    const auto flagTag = makeTag(0x360A, PropertyType::Boolean);
    const auto timeTag = makeTag(0x3008, PropertyType::Time);
    TableBuilder builder({nameTag, countTag, flagTag, timeTag});
    for (std::uint32_t i = 0; i < GetParam(); ++i) {
        std::vector<Property> cells = {{nameTag, stringValue("row " + std::to_string(i))},
                                       {countTag, int32Value(static_cast<std::int32_t>(i))},
                                       {timeTag, int64Value(1000 + i)}};
        if (i % 2 == 0) {
            cells.push_back({flagTag, booleanValue(true)});
        }
        builder.addRow(0x200004 + 32 * i, cells);
    }
    const auto node = roundTrip(builder.finish());
    const auto table = readTable(node);
    ASSERT_EQ(table.rows.size(), GetParam());
    ASSERT_EQ(table.rowIndex.size(), GetParam());
    // Columns sorted by tag, row id and version first in the row.
    EXPECT_TRUE(std::is_sorted(table.columns.begin(), table.columns.end()));
    std::map<std::uint32_t, std::tuple<std::uint16_t, std::uint8_t, std::uint8_t>> columns;
    for (const auto& [tag, offset, size, bit] : table.columns) {
        columns[tag] = {offset, size, bit};
    }
    EXPECT_EQ(std::get<0>(columns.at(RowIdTag)), 0);
    EXPECT_EQ(std::get<0>(columns.at(RowVersionTag)), 4);
    auto cell = [&](const std::string& row, std::uint32_t tag) -> std::optional<std::string> {
        const auto [offset, size, bit] = columns.at(tag);
        const auto bitmap = static_cast<std::uint8_t>(row.at(table.bitmapStart + bit / 8U));
        if (((bitmap >> (7U - bit % 8U)) & 1U) == 0) {
            return std::nullopt;
        }
        return row.substr(offset, size);
    };
    for (std::uint32_t i = 0; i < GetParam(); ++i) {
        const auto rowId = 0x200004 + 32 * i;
        const auto& row = table.rows.at(table.rowIndex.at(rowId));
        EXPECT_EQ(le32(*cell(row, RowIdTag), 0), rowId);
        EXPECT_EQ(le32(*cell(row, countTag), 0), i);
        EXPECT_EQ(*cell(row, timeTag), int64Value(1000 + i));
        EXPECT_EQ(valueOf(node, le32(*cell(row, nameTag), 0)),
                  stringValue("row " + std::to_string(i)));
        EXPECT_EQ(cell(row, flagTag).has_value(), i % 2 == 0);
    }
    // Small tables keep their rows in the heap, larger ones in a subnode of several blocks.
    EXPECT_EQ((table.rowsReference & 0x1FU) != 0,
              std::size_t{GetParam()} * table.rowSize > MaxHeapAllocation);
}

INSTANTIATE_TEST_SUITE_P(HeapAndSubnode, TableRows, ::testing::Values(0U, 3U, 100U, 1500U));

} // namespace
} // namespace plumbrae::testing
