#include "pst/ndb/node_database.h"

#include "support/crc32.h"
#include "support/le_writer.h"

#include <algorithm>
#include <functional>
#include <limits>

namespace plumbrae::pst::ndb {
namespace {

constexpr std::uint8_t DataTreeBlockType = 0x01;
constexpr std::uint8_t SubnodeBlockType = 0x02;
constexpr std::size_t MaxDataTreeEntries = (MaxBlockData - sizeof(DataTreeHeader)) / sizeof(Bid);
constexpr std::size_t MaxSubnodeLeafEntries =
    (MaxBlockData - sizeof(SubnodeBlockHeader)) / sizeof(SubnodeLeafEntry);
constexpr std::size_t MaxSubnodeBranchEntries =
    (MaxBlockData - sizeof(SubnodeBlockHeader)) / sizeof(SubnodeBranchEntry);
constexpr std::size_t NodeLeafMax = BTreeEntryBytes / sizeof(NodeBTreeLeafEntry);
constexpr std::size_t BlockLeafMax = BTreeEntryBytes / sizeof(BlockBTreeLeafEntry);
// Outlook records one more reference than there are users of a block.
constexpr std::uint16_t SingleUseReferenceCount = 2;
constexpr std::size_t InternalHashSalt = 0x9E3779B97F4A7C15ULL;
constexpr char PageMapByte = '\xFF';

constexpr std::uint64_t blockSpan(std::size_t dataSize) {
    return (dataSize + sizeof(BlockTrailer) + UnitSize - 1) / UnitSize * UnitSize;
}

std::string finishPage(std::string body, PageType type, std::uint16_t signature,
                       std::uint64_t bid) {
    body.resize(CrcBytesInPage, '\0');
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
std::uint8_t longestFreeRun(const SpaceMap::Bitmap& map) {
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

BlockPrint blockPrint(std::string_view bytes) {
    return {std::hash<std::string_view>{}(bytes), static_cast<std::uint16_t>(bytes.size())};
}

std::vector<DataBlock> splitIntoBlocks(std::string_view bytes) {
    std::vector<DataBlock> blocks;
    for (std::size_t at = 0; at < bytes.size(); at += MaxBlockData) {
        blocks.emplace_back(std::string(bytes.substr(at, MaxBlockData)));
    }
    return blocks;
}

NodeDatabase::NodeDatabase()
    : m_nodeTree(sizeof(NodeBTreeLeafEntry), NodeLeafMax),
      m_blockTree(sizeof(BlockBTreeLeafEntry), BlockLeafMax) {
    m_highestNidIndex.fill(0x400);
    m_highestNidIndex[static_cast<std::size_t>(NidType::SearchFolder)] = 0x4000;
    m_highestNidIndex[static_cast<std::size_t>(NidType::NormalMessage)] = 0x10000;
    m_highestNidIndex[static_cast<std::size_t>(NidType::AssociatedMessage)] = 0x8000;
}

void NodeDatabase::noteNid(Nid nid) {
    auto& highest = m_highestNidIndex[nid & 0x1FU];
    highest = std::max(highest, nidIndex(nid));
}

void NodeDatabase::putNode(Nid nid, Nid parent, NodeContent content) {
    m_staged.push_back({nid, parent, std::move(content)});
}

void NodeDatabase::offerForReuse(const Owned& blocks) {
    m_reusableFrom = &blocks;
    m_reusable.clear();
    m_reusable.reserve(blocks.size());
    for (std::size_t position = 0; position < blocks.size(); ++position) {
        m_reusable.emplace_back(blocks[position].hash, position);
    }
    std::sort(m_reusable.begin(), m_reusable.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second > b.second;
    });
    m_reusableTaken.assign(blocks.size(), false);
}

void NodeDatabase::releaseUnused() {
    if (m_reusableFrom != nullptr) {
        for (std::size_t position = 0; position < m_reusableFrom->size(); ++position) {
            if (!m_reusableTaken[position]) {
                releaseBlock((*m_reusableFrom)[position].bid);
            }
        }
    }
    m_reusableFrom = nullptr;
    m_reusable.clear();
}

Bid NodeDatabase::reuseBlock(std::size_t hash, std::size_t size, bool internal, Owned& owned) {
    // A 64-bit hash of the bytes plus their size and kind identifies an unchanged block well
    // enough; checksumming each unchanged block again would cost as much as writing it.
    auto candidate = std::lower_bound(
        m_reusable.begin(), m_reusable.end(), hash,
        [](const auto& entry, std::size_t wanted) { return entry.first < wanted; });
    for (; candidate != m_reusable.end() && candidate->first == hash; ++candidate) {
        const auto position = candidate->second;
        const auto& found = (*m_reusableFrom)[position];
        if (!m_reusableTaken[position] && found.size == size &&
            ((found.bid & InternalBidFlag) != 0) == internal) {
            m_reusableTaken[position] = true;
            owned.push_back(found);
            return found.bid;
        }
    }
    return 0;
}

Bid NodeDatabase::writeBlock(const DataBlock& data, Owned& owned) {
    if (!data.kept) {
        return writeBlock(data.bytes, false, owned);
    }
    const auto bid = reuseBlock(data.kept->hash, data.kept->size, false, owned);
    if (bid == 0) {
        throw PstIoError("internal error: a block a node keeps is not in the file");
    }
    return bid;
}

Bid NodeDatabase::writeBlock(std::string_view data, bool internal, Owned& owned) {
    const auto hash =
        internal ? std::hash<std::string_view>{}(data) ^ InternalHashSalt : blockPrint(data).hash;
    if (const auto bid = reuseBlock(hash, data.size(), internal, owned); bid != 0) {
        return bid;
    }
    const Bid bid = m_nextBlockBid | (internal ? InternalBidFlag : 0);
    m_nextBlockBid += BidStep;
    const auto span = blockSpan(data.size());
    const auto offset = m_space.allocate(span, UnitSize);
    std::string& bytes = m_blockBytes;
    bytes.assign(data);
    bytes.resize(static_cast<std::size_t>(span) - sizeof(BlockTrailer), '\0');
    BlockTrailer trailer{};
    trailer.dataSize = static_cast<std::uint16_t>(data.size());
    trailer.signature = computeSignature(offset, bid);
    trailer.crc = support::pstCrc32(data);
    trailer.bid = bid;
    appendRecord(bytes, trailer);
    m_file->writeAt(offset, bytes);
    m_blocks.push_back({bid, offset, trailer.dataSize, true});
    m_changedBlocks.push_back(bid);
    ++m_liveBlocks;
    owned.push_back({bid, hash, trailer.dataSize});
    ++m_writes;
    return bid;
}

NodeDatabase::BlockEntry& NodeDatabase::block(Bid bid) {
    const auto found =
        std::lower_bound(m_blocks.begin(), m_blocks.end(), bid,
                         [](const BlockEntry& entry, Bid wanted) { return entry.bid < wanted; });
    if (found == m_blocks.end() || found->bid != bid || !found->live) {
        throw PstIoError("internal error: a block of the file is missing from its index");
    }
    return *found;
}

void NodeDatabase::releaseBlock(Bid bid) {
    auto& found = block(bid);
    m_space.release(found.offset, blockSpan(found.size));
    found.live = false;
    m_firstReleased = std::min(m_firstReleased, static_cast<std::size_t>(&found - m_blocks.data()));
    m_changedBlocks.push_back(bid);
    --m_liveBlocks;
}

Bid NodeDatabase::writeDataTree(const std::vector<DataBlock>& blocks, Owned& owned) {
    if (blocks.empty()) {
        return 0;
    }
    if (blocks.size() == 1) {
        return writeBlock(blocks.front(), owned);
    }
    std::uint64_t total = 0;
    std::vector<Bid> leaves;
    leaves.reserve(blocks.size());
    for (const auto& block : blocks) {
        total += block.size();
        leaves.push_back(writeBlock(block, owned));
    }
    if (total > 0xFFFFFFFFU) {
        throw PstIoError("a value of more than 4 GB cannot be stored");
    }
    // One XBLOCK lists up to 1021 data blocks; beyond that an XXBLOCK lists XBLOCKs.
    auto makeTree = [&](std::uint8_t level, const Bid* children, std::size_t count,
                        std::uint32_t bytesBelow) {
        std::string data;
        appendRecord(data, DataTreeHeader{DataTreeBlockType, level,
                                          static_cast<std::uint16_t>(count), bytesBelow});
        for (std::size_t i = 0; i < count; ++i) {
            appendRecord(data, children[i]);
        }
        return writeBlock(data, true, owned);
    };
    std::vector<Bid> level1;
    for (std::size_t first = 0; first < leaves.size(); first += MaxDataTreeEntries) {
        const auto count = std::min(MaxDataTreeEntries, leaves.size() - first);
        std::uint32_t bytes = 0;
        for (std::size_t i = first; i < first + count; ++i) {
            bytes += static_cast<std::uint32_t>(blocks[i].size());
        }
        level1.push_back(makeTree(1, &leaves[first], count, bytes));
    }
    if (level1.size() == 1) {
        return level1.front();
    }
    if (level1.size() > MaxDataTreeEntries) {
        throw PstIoError("a value too large for one node cannot be stored");
    }
    return makeTree(2, level1.data(), level1.size(), static_cast<std::uint32_t>(total));
}

Bid NodeDatabase::writeSubnodes(const std::vector<Subnode>& subnodes, Owned& owned) {
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
    for (std::size_t first = 0; first < sorted.size(); first += MaxSubnodeLeafEntries) {
        const auto count = std::min(MaxSubnodeLeafEntries, sorted.size() - first);
        std::string data;
        appendRecord(data,
                     SubnodeBlockHeader{SubnodeBlockType, 0, static_cast<std::uint16_t>(count), 0});
        for (std::size_t i = first; i < first + count; ++i) {
            const auto& subnode = *sorted[i];
            noteNid(subnode.nid);
            const auto dataBid = writeDataTree(subnode.content.blocks, owned);
            const auto subBid = writeSubnodes(subnode.content.subnodes, owned);
            appendRecord(data, SubnodeLeafEntry{subnode.nid, dataBid, subBid});
        }
        leaves.push_back({sorted[first]->nid, writeBlock(data, true, owned)});
    }
    if (leaves.size() == 1) {
        return leaves.front().bid;
    }
    if (leaves.size() > MaxSubnodeBranchEntries) {
        throw PstIoError("a node with this many subnodes cannot be stored");
    }
    std::string data;
    appendRecord(data, SubnodeBlockHeader{SubnodeBlockType, 1,
                                          static_cast<std::uint16_t>(leaves.size()), 0});
    for (const auto& leaf : leaves) {
        appendRecord(data, leaf);
    }
    return writeBlock(data, true, owned);
}

void NodeDatabase::writeNode(Nid nid, const NodeContent& content, NodeEntry& entry) {
    noteNid(nid);
    entry.data = writeDataTree(content.blocks, entry.owned);
    entry.subnodes = writeSubnodes(content.subnodes, entry.owned);
}

BlockRef NodeDatabase::writeBTreePage(PageType type, std::string_view entries, std::size_t count,
                                      std::size_t entrySize, std::size_t maxEntries,
                                      std::uint8_t level) {
    std::string body(entries);
    body.resize(BTreeEntryBytes, '\0');
    appendRecord(body, BTreePageFooter{static_cast<std::uint8_t>(count),
                                       static_cast<std::uint8_t>(maxEntries),
                                       static_cast<std::uint8_t>(entrySize), level, 0});
    const auto bid = m_nextPageBid++;
    const auto offset = m_space.allocate(PageSize, PageSize);
    m_file->writeAt(offset, finishPage(std::move(body), type, computeSignature(offset, bid), bid));
    ++m_writes;
    return {bid, offset};
}

void NodeDatabase::writeMaps() {
    // The longest free run of each range, for the free maps, changes only with its bitmap.
    m_longestFreeRuns.resize(m_space.rangeCount());
    for (std::size_t range = 0; range < m_space.rangeCount(); ++range) {
        if (m_space.changed(range) || m_space.added(range)) {
            m_longestFreeRuns[range] = longestFreeRun(m_space.bitmap(range));
        }
    }
    for (std::size_t range = 0; range < m_space.rangeCount(); ++range) {
        const auto offset = allocationMapOffset(range);
        if (m_space.changed(range) || m_space.added(range)) {
            const auto& map = m_space.bitmap(range);
            m_file->writeAt(offset, finishPage(std::string(map.begin(), map.end()),
                                               PageType::AllocationMap, 0, offset));
            ++m_writes;
        }
        auto next = offset + PageSize;
        if (range % PageMapEvery == 0) {
            if (m_space.added(range)) {
                m_file->writeAt(next, finishPage(std::string(CrcBytesInPage, PageMapByte),
                                                 PageType::PageMap, 0, next));
            }
            next += PageSize;
        }
        if (hasFreeMap(range)) {
            std::string runs(CrcBytesInPage, '\0');
            for (std::size_t i = 0; i < CrcBytesInPage && range + i < m_space.rangeCount(); ++i) {
                runs[i] = static_cast<char>(m_longestFreeRuns[range + i]);
            }
            m_file->writeAt(next, finishPage(std::move(runs), PageType::FreeMap, 0, next));
        }
    }
    // An empty density list: clients rebuild it when they first need free space.
    const auto listBid = m_nextPageBid;
    m_file->writeAt(DensityListOffset,
                    finishPage(std::string{}, PageType::DensityList,
                               computeSignature(DensityListOffset, listBid), listBid));
}

void NodeDatabase::writeHeader(BlockRef nodeRoot, BlockRef blockRoot, std::uint32_t unique) {
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
    header.root.fileEof = m_space.fileSize();
    header.root.lastAllocationMapOffset = allocationMapOffset(m_space.rangeCount() - 1);
    header.root.allocationMapFreeBytes = m_space.freeBytes();
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
    m_file->writeAt(0, recordBytes(header));
}

BlockRef NodeDatabase::updateBlockTree() {
    const auto root = m_blockTree.update(
        m_changedBlocks,
        [this](std::uint64_t first, std::uint64_t end, std::string& out) {
            auto entry = std::lower_bound(
                m_blocks.begin(), m_blocks.end(), first,
                [](const BlockEntry& block, std::uint64_t wanted) { return block.bid < wanted; });
            for (; entry != m_blocks.end() && entry->bid < end; ++entry) {
                appendRecord(
                    out, BlockBTreeLeafEntry{
                             {entry->bid, entry->offset}, entry->size, SingleUseReferenceCount, 0});
            }
        },
        [this](std::string_view entries, std::size_t count, std::size_t entrySize,
               std::size_t maxEntries, std::uint8_t level) {
            return writeBTreePage(PageType::BlockBTree, entries, count, entrySize, maxEntries,
                                  level);
        },
        [this](const BlockRef& page) { m_space.release(page.offset, PageSize); });
    m_changedBlocks.clear();
    return root;
}

BlockRef NodeDatabase::updateNodeTree() {
    const auto root = m_nodeTree.update(
        m_changedNodes,
        [this](std::uint64_t first, std::uint64_t end, std::string& out) {
            auto node = std::lower_bound(
                m_nodes.begin(), m_nodes.end(), first,
                [](const NodeEntry& entry, std::uint64_t wanted) { return entry.nid < wanted; });
            for (; node != m_nodes.end() && node->nid < end; ++node) {
                appendRecord(out, NodeBTreeLeafEntry{node->nid, node->data, node->subnodes,
                                                     node->parent, 0});
            }
        },
        [this](std::string_view entries, std::size_t count, std::size_t entrySize,
               std::size_t maxEntries, std::uint8_t level) {
            return writeBTreePage(PageType::NodeBTree, entries, count, entrySize, maxEntries,
                                  level);
        },
        [this](const BlockRef& page) { m_space.release(page.offset, PageSize); });
    m_changedNodes.clear();
    return root;
}

std::uint64_t NodeDatabase::commit(OutputFile& file, std::uint32_t unique, bool flush) {
    m_file = &file;
    m_writes = 0;
    // In identifier order, the last put of each identifier (most come in order already).
    std::stable_sort(m_staged.begin(), m_staged.end(),
                     [](const StagedNode& a, const StagedNode& b) { return a.nid < b.nid; });
    for (std::size_t i = 0; i < m_staged.size(); ++i) {
        if (i + 1 < m_staged.size() && m_staged[i + 1].nid == m_staged[i].nid) {
            continue;
        }
        const Nid nid = m_staged[i].nid;
        NodeEntry fresh;
        fresh.nid = nid;
        fresh.parent = m_staged[i].parent;
        // New contacts take ever higher identifiers: most nodes go after the last one, found
        // without a search through every node.
        auto old = !m_nodes.empty() && m_nodes.back().nid < nid
                       ? m_nodes.end()
                       : std::lower_bound(
                             m_nodes.begin(), m_nodes.end(), nid,
                             [](const NodeEntry& entry, Nid wanted) { return entry.nid < wanted; });
        const bool replaced = old != m_nodes.end() && old->nid == nid;
        if (replaced) {
            offerForReuse(old->owned);
        }
        writeNode(nid, m_staged[i].content, fresh);
        releaseUnused();
        if (!replaced || old->data != fresh.data || old->subnodes != fresh.subnodes ||
            old->parent != fresh.parent) {
            m_changedNodes.push_back(nid);
        }
        if (replaced) {
            *old = std::move(fresh);
        } else {
            m_nodes.insert(old, std::move(fresh));
        }
    }
    m_staged.clear();
    if (m_firstReleased < m_blocks.size()) {
        // Released blocks are few and mostly recent: only the entries from the first one move.
        m_blocks.erase(
            std::remove_if(m_blocks.begin() + static_cast<std::ptrdiff_t>(m_firstReleased),
                           m_blocks.end(), [](const BlockEntry& entry) { return !entry.live; }),
            m_blocks.end());
    }
    m_firstReleased = NoBlock;
    const auto blockRoot = updateBlockTree();
    const auto nodeRoot = updateNodeTree();
    writeMaps();
    const auto size = m_space.fileSize();
    file.beforeHeader(size, flush);
    writeHeader(nodeRoot, blockRoot, unique);
    file.finish(flush);
    m_space.clearChanges();
    m_file = nullptr;
    return size;
}

} // namespace plumbrae::pst::ndb
