#pragma once

#include "pst/ltp/property_value.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/named_property_map.h"
#include "pst/ndb/node_content.h"
#include "pst/ndb/node_database.h"

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

/// Everything a store file holds beyond its fixed folder tree. The Contacts folder's contents
/// table has one row per contact; the contacts' nodes are put into the database separately.
struct StoreContents {
    Guid recordKey{};
    std::string displayName;
    const NamedPropertyMap* names = nullptr;
    ltp::TableBuilder* contactsTable = nullptr;
};

/// The columns of every folder's contents table.
const std::vector<ltp::PropertyTag>& contentsTableColumns();

/// A folder's or message's entry identifier: four flag bytes, the store's record key, the
/// node identifier.
std::string entryIdFor(const Guid& recordKey, ndb::Nid nid);

/// Puts every node of the store except the contact messages into the database: the fixed
/// nodes, the folder tree, and the tables and counts that list the contacts. Nodes that did
/// not change since the last commit cost nothing when committed again.
void stageStore(ndb::NodeDatabase& database, const StoreContents& store);

} // namespace plumbrae::pst::messaging
