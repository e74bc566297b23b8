#pragma once

#include "pst/messaging/named_property_map.h"
#include "pst/messaging/pst_file.h"
#include "pst/messaging/store_writer_p.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plumbrae::pst::messaging {

/// Builds one contact item ("IPM.Contact"): its property context, the photo attachment and
/// its table when there is a picture, and the cells of its Contacts contents-table row.
/// Named properties are registered in `names`. `now` is a FILETIME (100 ns since 1601, UTC);
/// `searchKey` 16 bytes unique to the item.
MessageNode buildContactMessage(const Contact& contact, ndb::Nid nid, NamedPropertyMap& names,
                                std::uint64_t now, const std::string& searchKey);

/// Builds one distribution list item ("IPM.DistList") in the same way: its name as display
/// name, subject and file-as, and every member as a one-off entry in both member properties,
/// with their checksum. A list too long for those properties (15,000 bytes each) has every
/// member in the members stream and its leading members in the properties.
MessageNode buildDistListMessage(const DistList& list, ndb::Nid nid, NamedPropertyMap& names,
                                 std::uint64_t now, const std::string& searchKey);

/// A member's one-off entry identifier: its name, address type and address in UTF-16.
std::string oneOffEntryId(const DistListMember& member);

/// The message made of `properties` (plus its size, counting `attachedBytes` of attachments)
/// and `subnodes`, with the cells of its contents-table row.
MessageNode finishMessage(const std::vector<ltp::Property>& properties, ndb::Nid nid,
                          std::vector<ndb::Subnode> subnodes, std::size_t attachedBytes);
MessageNode finishMessage(std::vector<ltp::PropertyView> properties, ndb::Nid nid,
                          std::vector<ndb::Subnode> subnodes, std::size_t attachedBytes);

/// Registers every named property a contact item may carry, so that the map is complete
/// (and never empty) from the first commit on.
void registerContactNames(NamedPropertyMap& names);

/// The name a contact is filed under ("Last, First Middle", else company, else e-mail address,
/// else the name it is shown by) and the pattern id that says which. Never empty.
struct FileUnder {
    std::string text;
    std::int32_t pattern = 0;
};
FileUnder fileUnderFor(const Contact& contact);

/// The name shown for a contact (display name and subject): its display name, else its names
/// ("First Middle Last"), else its company, e-mail address, a phone number, its web page or
/// job title, else the first line of its note, else "(no name)". Never empty.
std::string shownNameFor(const Contact& contact);

/// "street\r\ncity, state postalCode\r\ncountry", leaving out empty parts.
std::string composeAddress(const std::string& street, const std::string& city,
                           const std::string& state, const std::string& postalCode,
                           const std::string& country);

/// Line ends as CR LF (lone LF and lone CR both become CR LF).
std::string withCrLf(const std::string& text);

} // namespace plumbrae::pst::messaging
