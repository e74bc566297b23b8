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

#include "pst/ltp/property_context.h"
#include "pst/messaging/contact_message_p.h"
#include "pst/messaging/property_tags_p.h"
#include "support/crc32.h"
#include "support/le_writer.h"

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

std::string terminatedText(const std::string& utf8) {
    return ltp::stringValue(utf8) + std::string(2, '\0');
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
    std::uint32_t checksum = 0;
    for (const auto& member : list.members) {
        members.push_back(oneOffEntryId(member));
        checksum = support::pstCrc32(members.back(), checksum);
    }
    const auto memberValues = ltp::multiBinaryValue(members);
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
    return finishMessage(std::move(properties), nid, {}, 0);
}

} // namespace plumbrae::pst::messaging
