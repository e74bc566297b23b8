#pragma once

#include "pst/ltp/property_value.h"
#include "pst/messaging/named_property_map.h"
#include "pst/ndb/node_content.h"
#include "pst/ndb/output_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plumbrae::pst::messaging {

/// A message ready for the file: its node content and the cells of its contents-table row.
struct MessageNode {
    ndb::Nid nid = 0;
    ndb::NodeContent content;
    std::vector<ltp::Property> rowCells;
};

/// Everything a store file holds beyond its fixed folder tree.
struct StoreContents {
    Guid recordKey{};
    std::string displayName;
    const NamedPropertyMap* names = nullptr;
    const std::vector<MessageNode>* contacts = nullptr;
};

/// A folder's or message's entry identifier: four flag bytes, the store's record key, the
/// node identifier.
std::string entryIdFor(const Guid& recordKey, ndb::Nid nid);

/// Writes the whole store (fixed nodes, folder tree, the contacts in the Contacts folder) as a
/// new file, forced to the device with `flush`. Returns the file size.
std::uint64_t writeStore(ndb::OutputFile& file, const StoreContents& store, std::uint32_t unique,
                         bool flush);

} // namespace plumbrae::pst::messaging
