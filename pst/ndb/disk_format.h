#pragma once

// The on-disk records of the node database layer of a Unicode personal folders file. Every
// record is little-endian and written with memcpy from these structs, so each has a size check
// and the host must be little-endian.
//
// File sketch:
//   0x0000  header (564 bytes used; the root record inside it points at both B-tree roots)
//   0x4200  density list page
//   0x4400  allocation map page, then every 0x3E000 bytes another one; each maps the
//           0x3E000 bytes it starts, one bit per 64-byte unit
//   0x4600  page map page (all bits set), then after every 8th allocation map
//   ...     blocks (64-byte aligned, up to 8192 bytes, each ending in a 16-byte trailer)
//           and 512-byte pages (512-byte aligned, ending in a 16-byte trailer)

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

namespace plumbrae::pst::ndb {

static_assert(std::endian::native == std::endian::little,
              "on-disk records are copied byte for byte; a big-endian host needs swapping");

using Nid = std::uint32_t;
using Bid = std::uint64_t;

/// The low five bits of a node identifier say what the node is.
enum class NidType : std::uint8_t {
    HeapNode = 0x00,
    Internal = 0x01,
    NormalFolder = 0x02,
    SearchFolder = 0x03,
    NormalMessage = 0x04,
    Attachment = 0x05,
    SearchUpdateQueue = 0x06,
    SearchCriteriaObject = 0x07,
    AssociatedMessage = 0x08,
    ContentsTableIndex = 0x0A,
    ReceiveFolderTable = 0x0B,
    OutgoingQueueTable = 0x0C,
    HierarchyTable = 0x0D,
    ContentsTable = 0x0E,
    AssociatedContentsTable = 0x0F,
    SearchContentsTable = 0x10,
    AttachmentTable = 0x11,
    RecipientTable = 0x12,
    SearchTableIndex = 0x13,
    Ltp = 0x1F,
};

constexpr Nid makeNid(NidType type, std::uint32_t index) {
    return (index << 5U) | static_cast<std::uint32_t>(type);
}
constexpr NidType nidType(Nid nid) {
    return static_cast<NidType>(nid & 0x1FU);
}
constexpr std::uint32_t nidIndex(Nid nid) {
    return nid >> 5U;
}

/// Block and page signature: both halves of (offset xor identifier), folded.
constexpr std::uint16_t computeSignature(std::uint64_t offset, std::uint64_t bid) {
    const auto value = static_cast<std::uint32_t>((offset ^ bid) & 0xFFFFFFFFU);
    return static_cast<std::uint16_t>((value >> 16U) ^ (value & 0xFFFFU));
}

inline constexpr std::uint64_t PageSize = 512;
inline constexpr std::uint64_t UnitSize = 64;
inline constexpr std::size_t MaxBlockData = 8176;
inline constexpr std::size_t MaxBlockSize = 8192;
inline constexpr std::uint64_t HeaderAreaSize = 0x4200;
inline constexpr std::uint64_t DensityListOffset = 0x4200;
inline constexpr std::uint64_t FirstAllocationMapOffset = 0x4400;
/// Bytes mapped by one allocation map page (496 bytes of bits, 64 bytes per bit).
inline constexpr std::uint64_t AllocationMapRange = 496ULL * 8ULL * UnitSize;
inline constexpr std::uint64_t PageMapEvery = 8;        // allocation maps per page map
inline constexpr std::uint64_t FirstFreeMapIndex = 128; // allocation map followed by a free map
inline constexpr std::uint64_t FreeMapEvery = 496;      // allocation maps per free map
inline constexpr std::uint64_t FreePageMapEvery =
    496ULL * 8ULL; // allocation maps per free page map
inline constexpr std::uint32_t CrcBytesInPage = 496;
/// Data block identifiers step by 4; bit 1 marks internal blocks (data-tree and subnode maps).
inline constexpr Bid BidStep = 4;
inline constexpr Bid InternalBidFlag = 2;

enum class PageType : std::uint8_t {
    BlockBTree = 0x80,
    NodeBTree = 0x81,
    FreeMap = 0x82,
    PageMap = 0x83,
    AllocationMap = 0x84,
    FreePageMap = 0x85,
    DensityList = 0x86,
};

#pragma pack(push, 1)

struct BlockTrailer {
    std::uint16_t dataSize;
    std::uint16_t signature;
    std::uint32_t crc;
    std::uint64_t bid;
};
static_assert(sizeof(BlockTrailer) == 16);

struct PageTrailer {
    std::uint8_t pageType;
    std::uint8_t pageTypeRepeat;
    std::uint16_t signature;
    std::uint32_t crc;
    std::uint64_t bid;
};
static_assert(sizeof(PageTrailer) == 16);

/// A block or page reference: identifier and file offset.
struct BlockRef {
    std::uint64_t bid;
    std::uint64_t offset;
};
static_assert(sizeof(BlockRef) == 16);

struct BTreeBranchEntry {
    std::uint64_t firstKey;
    BlockRef child;
};
static_assert(sizeof(BTreeBranchEntry) == 24);

struct BlockBTreeLeafEntry {
    BlockRef block;
    std::uint16_t dataSize;
    std::uint16_t referenceCount;
    std::uint32_t padding;
};
static_assert(sizeof(BlockBTreeLeafEntry) == 24);

struct NodeBTreeLeafEntry {
    std::uint64_t nid;
    std::uint64_t dataBid;
    std::uint64_t subnodeBid;
    std::uint32_t parentNid;
    std::uint32_t padding;
};
static_assert(sizeof(NodeBTreeLeafEntry) == 32);

/// The bookkeeping bytes between a B-tree page's entries and its trailer.
struct BTreePageFooter {
    std::uint8_t entryCount;
    std::uint8_t maxEntryCount;
    std::uint8_t entrySize;
    std::uint8_t level;
    std::uint32_t padding;
};
static_assert(sizeof(BTreePageFooter) == 8);
inline constexpr std::size_t BTreeEntryBytes = 488;
static_assert(BTreeEntryBytes + sizeof(BTreePageFooter) + sizeof(PageTrailer) == PageSize);

/// Head of an XBLOCK (level 1: data-block identifiers) or XXBLOCK (level 2: XBLOCK identifiers).
struct DataTreeHeader {
    std::uint8_t blockType; // 0x01
    std::uint8_t level;
    std::uint16_t entryCount;
    std::uint32_t totalBytes;
};
static_assert(sizeof(DataTreeHeader) == 8);

/// Head of an SLBLOCK (level 0) or SIBLOCK (level 1).
struct SubnodeBlockHeader {
    std::uint8_t blockType; // 0x02
    std::uint8_t level;
    std::uint16_t entryCount;
    std::uint32_t padding;
};
static_assert(sizeof(SubnodeBlockHeader) == 8);

struct SubnodeLeafEntry {
    std::uint64_t nid;
    std::uint64_t dataBid;
    std::uint64_t subnodeBid;
};
static_assert(sizeof(SubnodeLeafEntry) == 24);

struct SubnodeBranchEntry {
    std::uint64_t nid;
    std::uint64_t bid;
};
static_assert(sizeof(SubnodeBranchEntry) == 16);

struct Root {
    std::uint32_t reserved;
    std::uint64_t fileEof;
    std::uint64_t lastAllocationMapOffset;
    std::uint64_t allocationMapFreeBytes;
    std::uint64_t pageMapFreeBytes;
    BlockRef nodeBTreeRoot;
    BlockRef blockBTreeRoot;
    std::uint8_t allocationMapValid; // 2: maps are valid
    std::uint8_t reserved2;
    std::uint16_t reserved3;
};
static_assert(sizeof(Root) == 72);

struct Header {
    std::uint32_t magic;       // "!BDN"
    std::uint32_t partialCrc;  // over the 471 bytes from clientMagic
    std::uint16_t clientMagic; // "SM"
    std::uint16_t version;     // 23: Unicode
    std::uint16_t clientVersion;
    std::uint8_t platformCreate;
    std::uint8_t platformAccess;
    std::uint32_t reserved1;
    std::uint32_t reserved2;
    std::uint64_t unusedBid;
    std::uint64_t nextPageBid;
    std::uint32_t unique;
    std::uint32_t highestNidIndex[32];
    std::uint64_t unused;
    Root root;
    std::uint32_t align;
    std::uint8_t freeMapBytes[128];     // deprecated, all 0xFF
    std::uint8_t freePageMapBytes[128]; // deprecated, all 0xFF
    std::uint8_t sentinel;              // 0x80
    std::uint8_t cryptMethod;           // 0: no encoding
    std::uint16_t reserved3;
    std::uint64_t nextBlockBid;
    std::uint32_t fullCrc; // over the 516 bytes from clientMagic
    std::uint8_t reserved4[36];
};
static_assert(sizeof(Header) == 564);
static_assert(offsetof(Header, root) == 180);
static_assert(offsetof(Header, nextBlockBid) == 516);

#pragma pack(pop)

/// The bytes of an on-disk record.
template <class Record> std::string recordBytes(const Record& record) {
    static_assert(std::is_trivially_copyable_v<Record>);
    std::string bytes(sizeof(Record), '\0');
    std::memcpy(bytes.data(), &record, sizeof(Record));
    return bytes;
}

template <class Record> void appendRecord(std::string& out, const Record& record) {
    static_assert(std::is_trivially_copyable_v<Record>);
    const auto at = out.size();
    out.resize(at + sizeof(Record));
    std::memcpy(out.data() + at, &record, sizeof(Record));
}

} // namespace plumbrae::pst::ndb
