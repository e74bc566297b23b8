#pragma once

// The fixed-size records of the lists, tables and properties layer, copied byte for byte
// (little-endian host, as the node database layer checks).

#include "pst/ndb/disk_format.h"

#include <cstdint>

namespace plumbrae::pst::ltp {

#pragma pack(push, 1)

/// Start of a heap's first block.
struct HeapHeader {
    std::uint16_t pageMapOffset;
    std::uint8_t signature; // 0xEC
    std::uint8_t clientSignature;
    std::uint32_t userRoot;
    std::uint32_t fillLevels;
};
static_assert(sizeof(HeapHeader) == 12);

/// Start of a heap block's page map; allocation start offsets follow.
struct HeapPageMapHeader {
    std::uint16_t allocationCount;
    std::uint16_t freeCount;
};
static_assert(sizeof(HeapPageMapHeader) == 4);

/// The allocation a heap B-tree is known by.
struct HeapBTreeHeader {
    std::uint8_t type; // 0xB5
    std::uint8_t keySize;
    std::uint8_t dataSize;
    std::uint8_t indexLevels;
    std::uint32_t root;
};
static_assert(sizeof(HeapBTreeHeader) == 8);

/// One record of a property context's B-tree.
struct PropertyRecord {
    std::uint16_t id;
    std::uint16_t type;
    std::uint32_t valueOrReference;
};
static_assert(sizeof(PropertyRecord) == 8);

/// One record of a table's row index.
struct RowIndexRecord {
    std::uint32_t rowId;
    std::uint32_t position;
};
static_assert(sizeof(RowIndexRecord) == 8);

/// A table's description, column descriptors following.
struct TableInfoHeader {
    std::uint8_t type; // 0x7C
    std::uint8_t columnCount;
    std::uint16_t bandEnds[4]; // 4/8-byte cells, 2-byte cells, 1-byte cells, whole row
    std::uint32_t rowIndex;
    std::uint32_t rows;
    std::uint32_t deprecatedIndex;
};
static_assert(sizeof(TableInfoHeader) == 22);

struct TableColumnDescriptor {
    std::uint32_t tag;
    std::uint16_t offset;
    std::uint8_t size;
    std::uint8_t existenceBit;
};
static_assert(sizeof(TableColumnDescriptor) == 8);

#pragma pack(pop)

} // namespace plumbrae::pst::ltp
