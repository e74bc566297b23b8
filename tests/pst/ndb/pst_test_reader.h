#pragma once

// A small reader of personal folders files for the tests, written apart from the writer: it
// parses the bytes itself and records every integrity fault it meets (CRCs, signatures,
// trailers, page types) in problems() instead of stopping.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace plumbrae::testing {

struct ReadBlock {
    std::uint64_t offset = 0;
    std::uint16_t size = 0;
    std::uint16_t references = 0;
};

struct ReadNode {
    std::uint64_t dataBid = 0;
    std::uint64_t subnodeBid = 0;
    std::uint32_t parent = 0;
};

struct ReadSubnode {
    std::uint64_t dataBid = 0;
    std::uint64_t subnodeBid = 0;
};

class TestPstReader {
public:
    explicit TestPstReader(std::string bytes);

    [[nodiscard]] const std::string& bytes() const { return m_bytes; }
    [[nodiscard]] std::uint16_t u16(std::size_t at) const;
    [[nodiscard]] std::uint32_t u32(std::size_t at) const;
    [[nodiscard]] std::uint64_t u64(std::size_t at) const;

    [[nodiscard]] const std::map<std::uint64_t, ReadBlock>& blocks() const { return m_blocks; }
    [[nodiscard]] const std::map<std::uint32_t, ReadNode>& nodes() const { return m_nodes; }
    /// Levels of each tree (1 = a single leaf page).
    [[nodiscard]] int nodeTreeDepth() const { return m_nodeDepth; }
    [[nodiscard]] int blockTreeDepth() const { return m_blockDepth; }
    /// Offsets of every B-tree page met.
    [[nodiscard]] const std::vector<std::uint64_t>& pageOffsets() const { return m_pages; }

    /// The data of one block after its trailer was checked.
    [[nodiscard]] std::string blockData(std::uint64_t bid);
    /// The data blocks of a node's data tree, in order (data-tree blocks followed).
    [[nodiscard]] std::vector<std::string> nodeData(std::uint64_t bid);
    /// A subnode tree's entries (subnode-index levels followed).
    [[nodiscard]] std::map<std::uint32_t, ReadSubnode> subnodes(std::uint64_t bid);

    /// Internal-block levels met by nodeData's last call (0: one data block).
    [[nodiscard]] int lastDataTreeLevel() const { return m_lastLevel; }
    [[nodiscard]] const std::vector<std::string>& problems() const { return m_problems; }

private:
    void walk(std::uint64_t offset, std::uint64_t bid, std::uint8_t type, int depth, int& maxDepth);
    void problem(std::string text) { m_problems.push_back(std::move(text)); }

    std::string m_bytes;
    std::map<std::uint64_t, ReadBlock> m_blocks;
    std::map<std::uint32_t, ReadNode> m_nodes;
    std::vector<std::uint64_t> m_pages;
    int m_nodeDepth = 0;
    int m_blockDepth = 0;
    int m_lastLevel = 0;
    std::vector<std::string> m_problems;
};

/// CRC-32 as the format uses it, bit by bit (independent of the writer's table version).
std::uint32_t referenceCrc(std::string_view data);

} // namespace plumbrae::testing
