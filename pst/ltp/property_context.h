#pragma once

// A property context: a heap (client signature 0xBC) whose user root is a B-tree of
// 8-byte records {property id (2), property type (2), value or value reference (4)}, sorted by
// property id. Values of up to four bytes sit in the record; larger ones sit in a heap
// allocation, or, past the allocation limit, in a subnode of the node (type 0x1F) whose own
// data blocks hold the value.

#include "pst/ltp/property_value.h"
#include "pst/ndb/node_content.h"

#include <span>
#include <vector>

namespace plumbrae::pst::ltp {

/// Builds the node content of a property context. Properties must have distinct ids; their
/// order does not matter. `extraSubnodes` (attachments, tables) are carried along unchanged.
ndb::NodeContent buildPropertyContext(const std::vector<Property>& properties,
                                      std::vector<ndb::Subnode> extraSubnodes = {});
ndb::NodeContent buildPropertyContext(std::span<const PropertyView> properties,
                                      std::vector<ndb::Subnode> extraSubnodes = {});

} // namespace plumbrae::pst::ltp
