#pragma once

#include "pst/ndb/disk_format.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plumbrae::pst::ndb {

struct Subnode;

/// What identifies the bytes of a data block well enough to find them again among the blocks a
/// node held: a 64-bit hash and the size.
struct BlockPrint {
    std::size_t hash = 0;
    std::uint16_t size = 0;
};

/// The print of a data block holding `bytes` (at most MaxBlockData of them).
BlockPrint blockPrint(std::string_view bytes);

/// One data block of a node: its bytes, or only its print when the node, as the last commit
/// wrote it, holds a block with these bytes. A builder that adds to a node commit after commit
/// (a table growing by rows) gives the blocks that can no longer change that way, so that it
/// need not keep their bytes in memory.
struct DataBlock {
    DataBlock(std::string data) : bytes(std::move(data)) {} // NOLINT(google-explicit-constructor)
    DataBlock(const char* data) : bytes(data) {}            // NOLINT(google-explicit-constructor)
    explicit DataBlock(BlockPrint print) : kept(print) {}

    [[nodiscard]] std::size_t size() const { return kept ? kept->size : bytes.size(); }

    std::string bytes;
    std::optional<BlockPrint> kept;
};

/// What a node holds, ready for the node database: its data as pieces of at most
/// MaxBlockData bytes (one piece is stored as one data block, several as a data tree; none
/// means the node has no data) and its subnodes, which may have subnodes of their own.
struct NodeContent {
    std::vector<DataBlock> blocks;
    std::vector<Subnode> subnodes;
};

struct Subnode {
    Nid nid = 0;
    NodeContent content;
};

/// Cuts bytes into pieces of at most MaxBlockData bytes (no pieces for no bytes).
std::vector<DataBlock> splitIntoBlocks(std::string_view bytes);

} // namespace plumbrae::pst::ndb
