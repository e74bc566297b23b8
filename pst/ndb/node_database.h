#pragma once

#include "pst/ndb/disk_format.h"
#include "pst/ndb/node_content.h"
#include "pst/ndb/output_file.h"
#include "pst/ndb/space_map.h"

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace plumbrae::pst::ndb {

/// The node database of one file across commits. Nodes are put (added, or replaced whole)
/// between commits; a commit writes what changed into the file as the previous commit left it:
/// new blocks into free space, B-tree pages whose entries changed, the allocation maps that
/// changed, the density list and, last, the header, in one write.
///
/// Until that header is written the file is the previous commit's store: the blocks and pages
/// a commit replaces are not written over, nor marked free in the maps it writes, before the
/// commit after it. So a process killed at any moment leaves a valid store (the maps then mark
/// as used at most one commit's new space that nothing reaches yet), and with `flush` a power
/// cut does too.
///
/// A replaced node keeps every block whose bytes did not change; the others are released and
/// their space is reused. B-tree leaves keep the key ranges they had, so appending nodes only
/// rewrites the last leaves and the path above them. A commit therefore costs what changed,
/// not what the file holds.
///
/// The file given to a commit must hold exactly what the previous commit wrote (or be empty
/// for the first one). After a failed commit the object no longer matches any file and must
/// not be used again.
class NodeDatabase {
public:
    NodeDatabase();

    /// Stages a node for the next commit. Putting the same identifier again replaces the node.
    void putNode(Nid nid, Nid parent, NodeContent content);

    /// Writes the staged nodes, indexes, maps and header into `file` and completes it (with
    /// `flush`, forcing the rest to the device before the header, and the header after it).
    /// Returns the file size.
    std::uint64_t commit(OutputFile& file, std::uint32_t unique, bool flush);

    [[nodiscard]] std::size_t blockCount() const { return m_liveBlocks; }
    [[nodiscard]] std::size_t nodeCount() const { return m_nodes.size(); }
    /// Blocks and pages written by the last commit.
    [[nodiscard]] std::size_t lastCommitWrites() const { return m_writes; }

private:
    struct BlockEntry {
        Bid bid = 0;
        std::uint64_t offset = 0;
        std::uint16_t size = 0;
        bool live = true;
        std::size_t hash = 0;
    };
    struct NodeEntry {
        Nid nid = 0;
        Nid parent = 0;
        Bid data = 0;
        Bid subnodes = 0;
        std::vector<Bid> owned; // every block of the data and subnode trees
    };
    struct Page {
        std::uint64_t firstKey = 0;
        std::string entries;
        BlockRef ref{};
    };
    using Level = std::vector<Page>;
    /// Appends the leaf entries of the keys from `first` up to `end` (exclusive) to `out`.
    using EntriesIn = std::function<void(std::uint64_t first, std::uint64_t end, std::string& out)>;
    static constexpr std::uint64_t NoKey = std::numeric_limits<std::uint64_t>::max();
    static constexpr std::size_t NoBlock = std::numeric_limits<std::size_t>::max();

    void writeNode(Nid nid, const NodeContent& content, NodeEntry& entry);
    Bid reuseBlock(std::size_t hash, std::size_t size, bool internal, std::vector<Bid>& owned);
    Bid writeBlock(const DataBlock& data, std::vector<Bid>& owned);
    Bid writeBlock(std::string_view data, bool internal, std::vector<Bid>& owned);
    Bid writeDataTree(const std::vector<DataBlock>& blocks, std::vector<Bid>& owned);
    Bid writeSubnodes(const std::vector<Subnode>& subnodes, std::vector<Bid>& owned);
    void releaseBlock(Bid bid);
    BlockEntry& block(Bid bid);
    BlockRef writeTree(PageType type, std::size_t leafSize, std::size_t leafMax,
                       std::vector<std::uint64_t>& changed, const EntriesIn& entriesIn,
                       std::vector<Level>& levels);
    Level layoutLeaves(PageType type, std::size_t entrySize, std::size_t maxEntries,
                       Level& previous, const std::vector<std::uint64_t>& changed,
                       const EntriesIn& entriesIn);
    BlockRef writeBTreePage(PageType type, std::string_view entries, std::size_t count,
                            std::size_t entrySize, std::size_t maxEntries, std::uint8_t level);
    Level layoutLevel(PageType type, std::string_view entries, std::size_t entrySize,
                      std::size_t maxEntries, std::uint8_t level, Level& previous);
    void writeMaps();
    void writeHeader(BlockRef nodeRoot, BlockRef blockRoot, std::uint32_t unique);
    void noteNid(Nid nid);

    OutputFile* m_file = nullptr;
    SpaceMap m_space;
    /// Every block in identifier order (new blocks always have the highest identifier);
    /// released ones stay, marked, until the next commit lists the blocks.
    std::vector<BlockEntry> m_blocks;
    std::size_t m_liveBlocks = 0;
    /// In identifier order; new contacts take ever higher identifiers, so most are appended.
    std::vector<NodeEntry> m_nodes;
    std::map<Nid, std::pair<Nid, NodeContent>> m_staged;
    std::unordered_multimap<std::size_t, Bid> m_reusable;
    std::vector<Level> m_nodeLevels;
    std::vector<Level> m_blockLevels;
    Bid m_nextBlockBid = BidStep;
    Bid m_nextPageBid = 1;
    std::array<std::uint32_t, 32> m_highestNidIndex{};
    std::size_t m_writes = 0;
    /// Keys whose B-tree leaf entry was added, changed or removed since the last commit.
    std::vector<std::uint64_t> m_changedBlocks;
    std::vector<std::uint64_t> m_changedNodes;
    /// Index in m_blocks of the first block released since the last commit.
    std::size_t m_firstReleased = NoBlock;
    std::vector<std::uint8_t> m_longestFreeRuns; // per allocation-map range
};

} // namespace plumbrae::pst::ndb
