#include "pst/ndb/node_database_writer.h"

#include "support/crc32.h"
#include "support/le_writer.h"

#include <algorithm>

namespace plumbrae::pst::ndb {
namespace {

constexpr std::uint8_t kDataTreeBlockType = 0x01;
constexpr std::uint8_t kSubnodeBlockType = 0x02;
constexpr std::size_t kMaxDataTreeEntries = (kMaxBlockData - sizeof(DataTreeHeader)) / sizeof(Bid);
constexpr std::size_t kMaxSubnodeLeafEntries =
    (kMaxBlockData - sizeof(SubnodeBlockHeader)) / sizeof(SubnodeLeafEntry);
constexpr std::size_t kMaxSubnodeBranchEntries =
    (kMaxBlockData - sizeof(SubnodeBlockHeader)) / sizeof(SubnodeBranchEntry);
// Outlook records one more reference than there are users of a block.
constexpr std::uint16_t kSingleUseReferenceCount = 2;
// Beyond this the file would need free page maps; a contacts file never comes close.
constexpr std::uint64_t kLargestFile = 0x7C000000;
constexpr std::uint64_t kPageMapByte = 0xFF;

constexpr std::uint64_t alignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

/// Bytes at the start of a range taken by the map pages that live there.
std::uint64_t reservedAtRangeStart(std::size_t range) {
    std::uint64_t bytes = kPageSize; // the allocation map itself
    if (range % kPageMapEvery == 0) {
        bytes += kPageSize;
    }
    if (range >= kFirstFreeMapIndex && (range - kFirstFreeMapIndex) % kFreeMapEvery == 0) {
        bytes += kPageSize;
    }
    return bytes;
}

std::string finishPage(std::string body, PageType type, std::uint16_t signature,
                       std::uint64_t bid) {
    body.resize(kCrcBytesInPage, '\0');
    PageTrailer trailer{};
    trailer.pageType = static_cast<std::uint8_t>(type);
    trailer.pageTypeRepeat = trailer.pageType;
    trailer.signature = signature;
    trailer.crc = support::pstCrc32(body);
    trailer.bid = bid;
    appendRecord(body, trailer);
    return body;
}

/// Length of the longest run of clear bits in an allocation bitmap, capped at one byte.
std::uint8_t longestFreeRun(const std::array<std::uint8_t, 496>& map) {
    std::uint32_t best = 0;
    std::uint32_t run = 0;
    for (const auto byte : map) {
        for (int bit = 7; bit >= 0; --bit) {
            run = ((byte >> bit) & 1U) != 0 ? 0 : run + 1;
            best = std::max(best, run);
        }
    }
    return static_cast<std::uint8_t>(std::min<std::uint32_t>(best, 0xFF));
}

} // namespace

std::vector<std::string> splitIntoBlocks(std::string_view bytes) {
    std::vector<std::string> blocks;
    for (std::size_t at = 0; at < bytes.size(); at += kMaxBlockData) {
        blocks.emplace_back(bytes.substr(at, kMaxBlockData));
    }
    return blocks;
}

NodeDatabaseWriter::NodeDatabaseWriter(OutputFile& file) : m_file(file) {
    m_highestNidIndex.fill(0x400);
    m_highestNidIndex[static_cast<std::size_t>(NidType::SearchFolder)] = 0x4000;
    m_highestNidIndex[static_cast<std::size_t>(NidType::NormalMessage)] = 0x10000;
    m_highestNidIndex[static_cast<std::size_t>(NidType::AssociatedMessage)] = 0x8000;
    openRange(0);
}

void NodeDatabaseWriter::openRange(std::size_t range) {
    while (m_maps.size() <= range) {
        const auto index = m_maps.size();
        m_maps.emplace_back();
        m_maps.back().fill(0);
        markUsed(allocationMapOffset(index), reservedAtRangeStart(index));
    }
}

void NodeDatabaseWriter::markUsed(std::uint64_t offset, std::uint64_t bytes) {
    const auto range =
        static_cast<std::size_t>((offset - kFirstAllocationMapOffset) / kAllocationMapRange);
    const auto firstUnit = (offset - allocationMapOffset(range)) / kUnitSize;
    const auto units = alignUp(bytes, kUnitSize) / kUnitSize;
    auto& map = m_maps[range];
    for (auto unit = firstUnit; unit < firstUnit + units; ++unit) {
        map[static_cast<std::size_t>(unit / 8)] |= static_cast<std::uint8_t>(0x80U >> (unit % 8));
    }
}

std::uint64_t NodeDatabaseWriter::allocate(std::uint64_t bytes, std::uint64_t alignment) {
    for (;;) {
        const auto range = static_cast<std::size_t>(
            (std::max(m_cursor, kFirstAllocationMapOffset) - kFirstAllocationMapOffset) /
            kAllocationMapRange);
        openRange(range);
        const auto rangeStart = allocationMapOffset(range);
        auto offset =
            alignUp(std::max(m_cursor, rangeStart + reservedAtRangeStart(range)), alignment);
        if (offset + bytes <= rangeStart + kAllocationMapRange) {
            if (offset + bytes > kLargestFile) {
                throw PstIoError("the file would grow beyond 1.9 GB, more than a personal "
                                 "folders file of this kind can hold");
            }
            m_cursor = offset + bytes;
            markUsed(offset, bytes);
            return offset;
        }
        m_cursor = rangeStart + kAllocationMapRange;
    }
}

void NodeDatabaseWriter::noteNid(Nid nid) {
    auto& highest = m_highestNidIndex[nid & 0x1FU];
    highest = std::max(highest, nidIndex(nid));
}

Bid NodeDatabaseWriter::writeBlock(std::string_view data, bool internal) {
    const Bid bid = m_nextBlockBid | (internal ? kInternalBidFlag : 0);
    m_nextBlockBid += kBidStep;
    const auto size = alignUp(data.size() + sizeof(BlockTrailer), kUnitSize);
    const auto offset = allocate(size, kUnitSize);
    std::string bytes(data);
    bytes.resize(static_cast<std::size_t>(size) - sizeof(BlockTrailer), '\0');
    BlockTrailer trailer{};
    trailer.dataSize = static_cast<std::uint16_t>(data.size());
    trailer.signature = computeSignature(offset, bid);
    trailer.crc = support::pstCrc32(data);
    trailer.bid = bid;
    appendRecord(bytes, trailer);
    m_file.writeAt(offset, bytes);
    m_blocks.push_back(
        {{bid, offset}, static_cast<std::uint16_t>(data.size()), kSingleUseReferenceCount, 0});
    return bid;
}

Bid NodeDatabaseWriter::writeDataTree(const std::vector<std::string>& blocks) {
    if (blocks.empty()) {
        return 0;
    }
    if (blocks.size() == 1) {
        return writeBlock(blocks.front(), false);
    }
    std::uint64_t total = 0;
    std::vector<Bid> leaves;
    leaves.reserve(blocks.size());
    for (const auto& block : blocks) {
        total += block.size();
        leaves.push_back(writeBlock(block, false));
    }
    if (total > 0xFFFFFFFFU) {
        throw PstIoError("a value of more than 4 GB cannot be stored");
    }
    // One XBLOCK lists up to 1021 data blocks; beyond that an XXBLOCK lists XBLOCKs.
    auto makeTree = [&](std::uint8_t level, const std::vector<Bid>& children,
                        std::uint32_t bytesBelow) {
        std::string data;
        appendRecord(data, DataTreeHeader{kDataTreeBlockType, level,
                                          static_cast<std::uint16_t>(children.size()), bytesBelow});
        for (const auto child : children) {
            appendRecord(data, child);
        }
        return writeBlock(data, true);
    };
    std::vector<Bid> level1;
    for (std::size_t first = 0; first < leaves.size(); first += kMaxDataTreeEntries) {
        const auto count = std::min(kMaxDataTreeEntries, leaves.size() - first);
        std::uint32_t bytes = 0;
        for (std::size_t i = first; i < first + count; ++i) {
            bytes += static_cast<std::uint32_t>(blocks[i].size());
        }
        level1.push_back(makeTree(1,
                                  {leaves.begin() + static_cast<std::ptrdiff_t>(first),
                                   leaves.begin() + static_cast<std::ptrdiff_t>(first + count)},
                                  bytes));
    }
    if (level1.size() == 1) {
        return level1.front();
    }
    if (level1.size() > kMaxDataTreeEntries) {
        throw PstIoError("a value too large for one node cannot be stored");
    }
    return makeTree(2, level1, static_cast<std::uint32_t>(total));
}

Bid NodeDatabaseWriter::writeSubnodes(const std::vector<Subnode>& subnodes) {
    if (subnodes.empty()) {
        return 0;
    }
    std::vector<const Subnode*> sorted;
    sorted.reserve(subnodes.size());
    for (const auto& subnode : subnodes) {
        sorted.push_back(&subnode);
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const Subnode* a, const Subnode* b) { return a->nid < b->nid; });
    std::vector<SubnodeBranchEntry> leaves;
    for (std::size_t first = 0; first < sorted.size(); first += kMaxSubnodeLeafEntries) {
        const auto count = std::min(kMaxSubnodeLeafEntries, sorted.size() - first);
        std::string data;
        appendRecord(
            data, SubnodeBlockHeader{kSubnodeBlockType, 0, static_cast<std::uint16_t>(count), 0});
        for (std::size_t i = first; i < first + count; ++i) {
            const auto& subnode = *sorted[i];
            noteNid(subnode.nid);
            const auto dataBid = writeDataTree(subnode.content.blocks);
            const auto subBid = writeSubnodes(subnode.content.subnodes);
            appendRecord(data, SubnodeLeafEntry{subnode.nid, dataBid, subBid});
        }
        leaves.push_back({sorted[first]->nid, writeBlock(data, true)});
    }
    if (leaves.size() == 1) {
        return leaves.front().bid;
    }
    if (leaves.size() > kMaxSubnodeBranchEntries) {
        throw PstIoError("a node with this many subnodes cannot be stored");
    }
    std::string data;
    appendRecord(data, SubnodeBlockHeader{kSubnodeBlockType, 1,
                                          static_cast<std::uint16_t>(leaves.size()), 0});
    for (const auto& leaf : leaves) {
        appendRecord(data, leaf);
    }
    return writeBlock(data, true);
}

void NodeDatabaseWriter::addNode(Nid nid, Nid parent, const NodeContent& content) {
    noteNid(nid);
    const auto dataBid = writeDataTree(content.blocks);
    const auto subBid = writeSubnodes(content.subnodes);
    m_nodes.push_back({nid, dataBid, subBid, parent, 0});
}

BlockRef NodeDatabaseWriter::writeBTreePage(PageType type, const std::vector<std::string>& entries,
                                            std::size_t first, std::size_t count,
                                            std::uint8_t entrySize, std::uint8_t maxEntries,
                                            std::uint8_t level) {
    std::string body;
    body.reserve(kPageSize);
    for (std::size_t i = first; i < first + count; ++i) {
        body.append(entries[i]);
    }
    body.resize(kBTreeEntryBytes, '\0');
    appendRecord(
        body, BTreePageFooter{static_cast<std::uint8_t>(count), maxEntries, entrySize, level, 0});
    const auto bid = m_nextPageBid++;
    const auto offset = allocate(kPageSize, kPageSize);
    m_file.writeAt(offset, finishPage(std::move(body), type, computeSignature(offset, bid), bid));
    return {bid, offset};
}

BlockRef NodeDatabaseWriter::writeBTree(PageType type, std::vector<std::string> entries,
                                        std::uint8_t leafSize, std::uint8_t leafMax) {
    constexpr auto branchSize = static_cast<std::uint8_t>(sizeof(BTreeBranchEntry));
    constexpr std::uint8_t branchMax = kBTreeEntryBytes / sizeof(BTreeBranchEntry);
    std::uint8_t level = 0;
    for (;;) {
        const auto entrySize = level == 0 ? leafSize : branchSize;
        const auto maxEntries = level == 0 ? leafMax : branchMax;
        std::vector<std::string> parents;
        BlockRef last{};
        for (std::size_t first = 0; first < entries.size() || first == 0; first += maxEntries) {
            const auto count = std::min<std::size_t>(maxEntries, entries.size() - first);
            last = writeBTreePage(type, entries, first, count, entrySize, maxEntries, level);
            // Both trees are keyed by the first eight bytes of an entry.
            const auto key = count == 0 ? 0 : support::readLe64(entries[first], 0);
            parents.push_back(recordBytes(BTreeBranchEntry{key, last}));
        }
        if (parents.size() == 1) {
            return last;
        }
        entries = std::move(parents);
        ++level;
    }
}

std::uint64_t NodeDatabaseWriter::writeMaps() {
    const auto fileSize = allocationMapOffset(m_maps.size());
    std::uint64_t freeBytes = 0;
    for (std::size_t range = 0; range < m_maps.size(); ++range) {
        const auto offset = allocationMapOffset(range);
        const auto& map = m_maps[range];
        for (const auto byte : map) {
            freeBytes += kUnitSize * static_cast<std::uint64_t>(8 - std::popcount(byte));
        }
        m_file.writeAt(offset, finishPage(std::string(map.begin(), map.end()),
                                          PageType::AllocationMap, 0, offset));
        auto next = offset + kPageSize;
        if (range % kPageMapEvery == 0) {
            m_file.writeAt(next,
                           finishPage(std::string(kCrcBytesInPage, static_cast<char>(kPageMapByte)),
                                      PageType::PageMap, 0, next));
            next += kPageSize;
        }
        if (range >= kFirstFreeMapIndex && (range - kFirstFreeMapIndex) % kFreeMapEvery == 0) {
            std::string runs(kCrcBytesInPage, '\0');
            for (std::size_t i = 0; i < kCrcBytesInPage && range + i < m_maps.size(); ++i) {
                runs[i] = static_cast<char>(longestFreeRun(m_maps[range + i]));
            }
            m_file.writeAt(next, finishPage(std::move(runs), PageType::FreeMap, 0, next));
        }
    }
    // An empty density list: clients rebuild it when they first need free space.
    const auto listBid = m_nextPageBid;
    m_file.writeAt(kDensityListOffset,
                   finishPage(std::string{}, PageType::DensityList,
                              computeSignature(kDensityListOffset, listBid), listBid));
    m_freeBytes = freeBytes;
    return fileSize;
}

void NodeDatabaseWriter::writeHeader(std::uint64_t fileSize, BlockRef nodeRoot, BlockRef blockRoot,
                                     std::uint32_t unique) {
    Header header{};
    header.magic = 0x4E444221;   // "!BDN"
    header.clientMagic = 0x4D53; // "SM"
    header.version = 23;
    header.clientVersion = 19;
    header.platformCreate = 1;
    header.platformAccess = 1;
    header.nextPageBid = m_nextPageBid;
    header.unique = unique;
    std::copy(m_highestNidIndex.begin(), m_highestNidIndex.end(), header.highestNidIndex);
    header.root.fileEof = fileSize;
    header.root.lastAllocationMapOffset = allocationMapOffset(m_maps.size() - 1);
    header.root.allocationMapFreeBytes = m_freeBytes;
    header.root.nodeBTreeRoot = nodeRoot;
    header.root.blockBTreeRoot = blockRoot;
    header.root.allocationMapValid = 2;
    std::fill(std::begin(header.freeMapBytes), std::end(header.freeMapBytes), 0xFF);
    std::fill(std::begin(header.freePageMapBytes), std::end(header.freePageMapBytes), 0xFF);
    header.sentinel = 0x80;
    header.cryptMethod = 0;
    header.nextBlockBid = m_nextBlockBid;
    auto bytes = recordBytes(header);
    header.partialCrc = support::pstCrc32(std::string_view(bytes).substr(8, 471));
    header.fullCrc = support::pstCrc32(std::string_view(bytes).substr(8, 516));
    bytes = recordBytes(header);
    m_file.writeAt(0, bytes);
}

std::uint64_t NodeDatabaseWriter::finish(std::uint32_t unique, bool flush) {
    std::sort(
        m_nodes.begin(), m_nodes.end(),
        [](const NodeBTreeLeafEntry& a, const NodeBTreeLeafEntry& b) { return a.nid < b.nid; });
    for (std::size_t i = 1; i < m_nodes.size(); ++i) {
        if (m_nodes[i].nid == m_nodes[i - 1].nid) {
            throw PstIoError("internal error: two nodes share one identifier");
        }
    }
    std::vector<std::string> blockEntries;
    blockEntries.reserve(m_blocks.size());
    for (const auto& block : m_blocks) {
        blockEntries.push_back(recordBytes(block));
    }
    const auto blockRoot =
        writeBTree(PageType::BlockBTree, std::move(blockEntries), sizeof(BlockBTreeLeafEntry), 20);
    std::vector<std::string> nodeEntries;
    nodeEntries.reserve(m_nodes.size());
    for (const auto& node : m_nodes) {
        nodeEntries.push_back(recordBytes(node));
    }
    const auto nodeRoot =
        writeBTree(PageType::NodeBTree, std::move(nodeEntries), sizeof(NodeBTreeLeafEntry), 15);
    const auto fileSize = writeMaps();
    writeHeader(fileSize, nodeRoot, blockRoot, unique);
    m_file.finish(fileSize, flush);
    return fileSize;
}

} // namespace plumbrae::pst::ndb
