#pragma once

#include "pst/ndb/disk_format.h"
#include "pst/ndb/node_content.h"
#include "pst/ndb/output_file.h"

#include <array>
#include <cstdint>
#include <vector>

namespace plumbrae::pst::ndb {

/// Lays out a whole new file: node data go into blocks as nodes are added, and finish()
/// writes both B-trees, the allocation and page maps, the density list and, last, the header.
///
/// Space is handed out front to back and never freed, so the allocation maps simply mark
/// what was written. The file always ends on a whole allocation-map range.
class NodeDatabaseWriter {
public:
    explicit NodeDatabaseWriter(OutputFile& file);

    /// Stores a node. Node identifiers must be unique; the order of calls does not matter.
    void addNode(Nid nid, Nid parent, const NodeContent& content);

    /// Writes the indexes, maps and header and completes the file (forcing it to the device
    /// with `flush`); returns the file size. `unique` goes into the header (clients bump it on
    /// every header write).
    std::uint64_t finish(std::uint32_t unique, bool flush = true);

    [[nodiscard]] std::size_t blockCount() const { return m_blocks.size(); }
    [[nodiscard]] std::size_t nodeCount() const { return m_nodes.size(); }

private:
    Bid writeBlock(std::string_view data, bool internal);
    Bid writeDataTree(const std::vector<std::string>& blocks);
    Bid writeSubnodes(const std::vector<Subnode>& subnodes);
    BlockRef writeBTree(PageType type, std::vector<std::string> leafEntries, std::uint8_t leafSize,
                        std::uint8_t leafMax);
    BlockRef writeBTreePage(PageType type, const std::vector<std::string>& entries,
                            std::size_t first, std::size_t count, std::uint8_t entrySize,
                            std::uint8_t maxEntries, std::uint8_t level);
    std::uint64_t allocate(std::uint64_t bytes, std::uint64_t alignment);
    void openRange(std::size_t range);
    void markUsed(std::uint64_t offset, std::uint64_t bytes);
    void noteNid(Nid nid);
    std::uint64_t writeMaps();
    void writeHeader(std::uint64_t fileSize, BlockRef nodeRoot, BlockRef blockRoot,
                     std::uint32_t unique);

    OutputFile& m_file;
    std::vector<BlockBTreeLeafEntry> m_blocks; // in identifier order, as allocated
    std::vector<NodeBTreeLeafEntry> m_nodes;
    std::vector<std::array<std::uint8_t, 496>> m_maps; // one allocation bitmap per range
    std::uint64_t m_cursor = 0;
    Bid m_nextBlockBid = kBidStep;
    Bid m_nextPageBid = 1;
    std::array<std::uint32_t, 32> m_highestNidIndex{};
    std::uint64_t m_freeBytes = 0;
};

/// File offset of the allocation map that starts range `range`.
constexpr std::uint64_t allocationMapOffset(std::uint64_t range) {
    return kFirstAllocationMapOffset + range * kAllocationMapRange;
}

} // namespace plumbrae::pst::ndb
