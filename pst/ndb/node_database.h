#pragma once

#include "pst/ndb/btree_pages.h"
#include "pst/ndb/disk_format.h"
#include "pst/ndb/node_content.h"
#include "pst/ndb/output_file.h"
#include "pst/ndb/space_map.h"

#include <array>
#include <cstdint>
#include <limits>
#include <string>
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
    };
    /// A block of a node's data or subnode trees, with what finds it again among the node's
    /// blocks when the node is replaced.
    struct OwnedBlock {
        Bid bid = 0;
        std::size_t hash = 0;
        std::uint16_t size = 0;
    };
    using Owned = std::vector<OwnedBlock>;
    struct NodeEntry {
        Nid nid = 0;
        Nid parent = 0;
        Bid data = 0;
        Bid subnodes = 0;
        Owned owned; // every block of the data and subnode trees
    };
    static constexpr std::size_t NoBlock = std::numeric_limits<std::size_t>::max();

    void writeNode(Nid nid, const NodeContent& content, NodeEntry& entry);
    void offerForReuse(const Owned& blocks);
    void releaseUnused();
    Bid reuseBlock(std::size_t hash, std::size_t size, bool internal, Owned& owned);
    Bid writeBlock(const DataBlock& data, Owned& owned);
    Bid writeBlock(std::string_view data, bool internal, Owned& owned);
    Bid writeDataTree(const std::vector<DataBlock>& blocks, Owned& owned);
    Bid writeSubnodes(const std::vector<Subnode>& subnodes, Owned& owned);
    void releaseBlock(Bid bid);
    BlockEntry& block(Bid bid);
    BlockRef writeBTreePage(PageType type, std::string_view entries, std::size_t count,
                            std::size_t entrySize, std::size_t maxEntries, std::uint8_t level);
    BlockRef updateBlockTree();
    BlockRef updateNodeTree();
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
    /// Nodes put since the last commit, in the order they were put (a later one of the same
    /// identifier replaces an earlier one).
    struct StagedNode {
        Nid nid = 0;
        Nid parent = 0;
        NodeContent content;
    };
    std::vector<StagedNode> m_staged;
    /// A block's bytes with their padding and trailer, reused from block to block.
    std::string m_blockBytes;
    /// While a replaced node is written: its old blocks, as (hash, position in the old list)
    /// sorted by hash and, for one hash, the block listed last first; and which were taken.
    const Owned* m_reusableFrom = nullptr;
    std::vector<std::pair<std::size_t, std::size_t>> m_reusable;
    std::vector<bool> m_reusableTaken;
    BTreePages m_nodeTree;
    BTreePages m_blockTree;
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
