#pragma once

#include "pst/ndb/disk_format.h"

#include <string>
#include <vector>

namespace plumbrae::pst::ndb {

struct Subnode;

/// What a node holds, ready for the node database: its data as pieces of at most
/// MaxBlockData bytes (one piece is stored as one data block, several as a data tree; none
/// means the node has no data) and its subnodes, which may have subnodes of their own.
struct NodeContent {
    std::vector<std::string> blocks;
    std::vector<Subnode> subnodes;
};

struct Subnode {
    Nid nid = 0;
    NodeContent content;
};

/// Cuts bytes into pieces of at most MaxBlockData bytes (no pieces for no bytes).
std::vector<std::string> splitIntoBlocks(std::string_view bytes);

} // namespace plumbrae::pst::ndb
