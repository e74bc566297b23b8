// A distribution list item. Each member is kept as a one-off entry identifier, which carries
// everything a client shows and mails to:
//
//   flags (4 bytes, 0)  provider (16 bytes, the one-off provider's id)  version (2 bytes, 0)
//   entry flags (2 bytes: Unicode strings, no rich text)
//   display name, address type, address: UTF-16LE, each ending in a 0 unit
//
// The same identifiers fill both member properties (the list's members, and their one-off
// forms), in the members' order, and the checksum property holds the CRC-32 of the members
// property's values, byte after byte, from a register of 0.
//
// Each member property must stay under 15,000 bytes as stored (count, offsets and values). A
// list too long for that keeps every member in the members stream, which clients read in place
// of the other three: a header (version 1, the business-card layout version it goes with, no
// flags, the member count, the total sizes of the entry ids and of the one-off entry ids, no
// extra bytes), each member's entry id, one-off entry id (for our one-off members the same
// bytes) and an empty extra part, each behind its size, then two zero words. The member
// properties then hold the leading members that fit, and the checksum covers those, so a
// client that knows only the properties shows the start of the list rather than nothing.

#include "pst/ltp/property_context.h"
#include "pst/messaging/contact_message_p.h"
#include "pst/messaging/property_tags_p.h"
#include "support/crc32.h"
#include "support/le_writer.h"

#include <cstddef>
#include <string>
#include <vector>

namespace plumbrae::pst::messaging {
namespace {

using namespace tags;
using ltp::Property;

constexpr std::array<std::uint8_t, 16> OneOffProvider = {
    0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19, 0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
constexpr std::uint16_t OneOffUnicode = 0x8000;
constexpr std::uint16_t OneOffNoRichInfo = 0x0001;
constexpr std::int32_t MessageFlagRead = 0x01;
constexpr std::int32_t DistListIconIndex = 0x202;
constexpr std::int32_t NormalImportance = 1;
constexpr const char* NoName = "(no name)";
constexpr std::size_t MemberPropertyLimit = 15000;
constexpr std::uint16_t StreamVersion = 1;
// The business-card layout version these lists go with (3.0), as major * 10,000 + minor.
constexpr std::uint32_t StreamBuildVersion = 3 * 10000;

std::string terminatedText(const std::string& utf8) {
    return ltp::stringValue(utf8) + std::string(2, '\0');
}

/// How many of the leading members fit a member property of fewer than 15,000 bytes.
std::size_t membersThatFit(const std::vector<std::string>& members) {
    std::size_t stored = 4; // the count
    for (std::size_t n = 0; n < members.size(); ++n) {
        stored += 4 + members[n].size(); // the offset and the value
        if (stored >= MemberPropertyLimit) {
            return n;
        }
    }
    return members.size();
}

/// Every member's entry ids in the members stream.
std::string memberStream(const std::vector<std::string>& members) {
    std::size_t total = 0;
    for (const auto& member : members) {
        total += member.size();
    }
    support::LeWriter writer;
    writer.u16(StreamVersion).u16(0).u32(StreamBuildVersion).u32(0);
    writer.u32(static_cast<std::uint32_t>(members.size()));
    writer.u32(static_cast<std::uint32_t>(total)).u32(static_cast<std::uint32_t>(total)).u32(0);
    for (const auto& member : members) {
        const auto size = static_cast<std::uint32_t>(member.size());
        writer.u32(size).bytes(member).u32(size).bytes(member).u32(0);
    }
    writer.u32(0).u32(0);
    return writer.str();
}

} // namespace

std::string oneOffEntryId(const DistListMember& member) {
    support::LeWriter writer;
    writer.u32(0);
    for (const auto byte : OneOffProvider) {
        writer.u8(byte);
    }
    writer.u16(0).u16(static_cast<std::uint16_t>(OneOffUnicode | OneOffNoRichInfo));
    return writer.str() +
           terminatedText(member.displayName.empty() ? member.address : member.displayName) +
           terminatedText(member.addressType) + terminatedText(member.address);
}

MessageNode buildDistListMessage(const DistList& list, ndb::Nid nid, NamedPropertyMap& names,
                                 std::uint64_t now, const std::string& searchKey) {
    const auto named = [&names](std::uint32_t lid, ltp::PropertyType type) {
        return makeTag(names.idFor(AddressPropertySet, lid), type);
    };
    const auto time = support::LeWriter().u64(now).str();
    const auto name = ltp::stringValue(list.name.empty() ? std::string(NoName) : list.name);
    std::vector<std::string> members;
    members.reserve(list.members.size());
    for (const auto& member : list.members) {
        members.push_back(oneOffEntryId(member));
    }
    const std::vector<std::string> leading(
        members.begin(), members.begin() + static_cast<std::ptrdiff_t>(membersThatFit(members)));
    std::uint32_t checksum = 0;
    for (const auto& member : leading) {
        checksum = support::pstCrc32(member, checksum);
    }
    const auto memberValues = ltp::multiBinaryValue(leading);
    std::vector<Property> properties = {
        {MessageClass, ltp::stringValue("IPM.DistList")},
        {MessageFlags, ltp::int32Value(MessageFlagRead)},
        {MessageStatus, ltp::int32Value(0)},
        {Importance, ltp::int32Value(NormalImportance)},
        {Sensitivity, ltp::int32Value(0)},
        {CreationTime, time},
        {LastModificationTime, time},
        {MessageDeliveryTime, time},
        {SearchKey, searchKey},
        {IconIndex, ltp::int32Value(DistListIconIndex)},
        {HasAttachments, ltp::booleanValue(false)},
        {DisplayName, name},
        {Subject, name},
        {NormalizedSubject, name},
        {named(LidFileUnder, String), name},
        {named(LidDistributionListName, String), name},
        {named(LidDistributionListMembers, ltp::PropertyType::MultiBinary), memberValues},
        {named(LidDistributionListOneOffMembers, ltp::PropertyType::MultiBinary), memberValues},
        {named(LidDistributionListChecksum, Int32),
         ltp::int32Value(static_cast<std::int32_t>(checksum))},
    };
    if (leading.size() < members.size()) {
        properties.push_back({named(LidDistributionListStream, Binary), memberStream(members)});
    }
    return finishMessage(properties, nid, {}, 0);
}

} // namespace plumbrae::pst::messaging
