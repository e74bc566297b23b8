#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/contact_message_p.h"
#include "pst/messaging/property_tags_p.h"
#include "support/le_writer.h"
#include "support/text.h"

#include <array>

namespace plumbrae::pst::messaging {
namespace {

using namespace tags;
using ltp::Property;

constexpr std::int32_t MessageFlagRead = 0x01;
constexpr std::int32_t MessageFlagHasAttachment = 0x10;
constexpr std::int32_t ContactIconIndex = 0x200;
constexpr std::int32_t NormalImportance = 1;
constexpr std::int32_t AttachByValue = 1;
constexpr std::int32_t NoRenderingPosition = -1;
constexpr std::int32_t PostalAddressNone = 0;
constexpr std::int32_t PostalAddressHome = 1;
constexpr std::int32_t PostalAddressWork = 2;
// The name of a contact that holds nothing to name it by, and how much of a note's first line
// names a contact that holds only a note.
constexpr const char* NoName = "(no name)";
constexpr std::size_t MaxNameFromNote = 64;
// The cells a message gives its row in the contents table (see finishMessage).
constexpr std::size_t ContentsRowCells = 9;

/// The largest length up to `limit` that does not cut a UTF-8 sequence.
std::size_t utf8Boundary(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return text.size();
    }
    while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0U) == 0x80U) {
        --limit;
    }
    return limit;
}

std::string joinNonEmpty(std::initializer_list<const std::string*> parts, const char* separator) {
    std::string out;
    for (const auto* part : parts) {
        if (part->empty()) {
            continue;
        }
        if (!out.empty()) {
            out += separator;
        }
        out += *part;
    }
    return out;
}

std::vector<std::string> splitCategories(const std::string& categories) {
    std::vector<std::string> values;
    std::size_t start = 0;
    while (start <= categories.size()) {
        const auto comma = categories.find(',', start);
        const auto end = comma == std::string::npos ? categories.size() : comma;
        const auto value =
            support::trimSpaces(std::string_view(categories).substr(start, end - start));
        if (!value.empty()) {
            values.emplace_back(value);
        }
        start = end + 1;
    }
    return values;
}

/// Collects properties, skipping empty texts. The values go one after another into one buffer
/// of the list's, not into a string each.
class PropertyList {
public:
    // Room for the properties of a well-filled contact, so that neither the entries nor the
    // values are moved again as the list grows.
    static constexpr std::size_t TypicalCount = 64;
    static constexpr std::size_t TypicalBytes = 4096;

    explicit PropertyList(NamedPropertyMap& names) : m_names(names) {
        m_entries.reserve(TypicalCount);
        m_values.reserve(TypicalBytes);
    }

    void text(PropertyTag tag, std::string_view value) {
        if (!value.empty()) {
            const auto start = m_values.size();
            ltp::appendStringValue(m_values, value);
            m_entries.push_back({tag, start, m_values.size() - start});
        }
    }
    void namedText(std::uint32_t lid, std::string_view value) {
        if (!value.empty()) {
            text(named(lid, String), value);
        }
    }
    void add(PropertyTag tag, std::string_view value) {
        m_entries.push_back({tag, m_values.size(), value.size()});
        m_values.append(value);
    }
    PropertyTag named(std::uint32_t lid, ltp::PropertyType type) {
        return makeTag(m_names.idFor(AddressPropertySet, lid), type);
    }
    PropertyTag namedString(const Guid& set, const std::string& name, ltp::PropertyType type) {
        return makeTag(m_names.idFor(set, name), type);
    }
    /// The properties, as views into the list (valid while it is neither changed nor gone).
    [[nodiscard]] std::vector<ltp::PropertyView> views() const {
        std::vector<ltp::PropertyView> views;
        views.reserve(m_entries.size() + 1); // and the message size finishMessage adds
        for (const auto& entry : m_entries) {
            views.push_back(
                {entry.tag, std::string_view(m_values).substr(entry.offset, entry.size)});
        }
        return views;
    }

private:
    struct Entry {
        PropertyTag tag = 0;
        std::size_t offset = 0;
        std::size_t size = 0;
    };

    NamedPropertyMap& m_names;
    std::vector<Entry> m_entries;
    std::string m_values;
};

void addNames(PropertyList& list, const Contact& contact, const std::string& displayName) {
    list.text(GivenName, contact.givenName);
    list.text(MiddleName, contact.middleName);
    list.text(Surname, contact.surname);
    // Every contact carries a display name, subject and file-as (never empty): readers rely on
    // them to list the item and to name it.
    list.text(DisplayName, displayName);
    list.text(Subject, displayName);
    list.text(NormalizedSubject, displayName);
    list.text(DisplayNamePrefix, contact.displayNamePrefix);
    list.text(Generation, contact.generation);
    list.text(Title, contact.jobTitle);
    list.text(CompanyName, contact.companyName);
    list.text(DepartmentName, contact.department);
    list.text(OfficeLocation, contact.officeLocation);
    list.text(Profession, contact.profession);
    list.text(ManagerName, contact.managerName);
    list.text(Assistant, contact.assistantName);
    list.text(SpouseName, contact.spouse);
    list.text(Nickname, contact.nickname);
    const auto fileUnder = fileUnderFor(contact);
    list.namedText(LidFileUnder, fileUnder.text);
    list.add(list.named(LidFileUnderId, Int32), ltp::int32Value(fileUnder.pattern));
}

void addPhones(PropertyList& list, const Contact& contact) {
    list.text(BusinessTelephone, contact.businessTelephone);
    list.text(BusinessFax, contact.businessFax);
    list.text(HomeTelephone, contact.homeTelephone);
    list.text(HomeFax, contact.homeFax);
    list.text(MobileTelephone, contact.mobileTelephone);
    list.text(PagerTelephone, contact.pager);
    list.text(CarTelephone, contact.carTelephone);
    list.text(Business2Telephone, contact.business2Telephone);
    list.text(Home2Telephone, contact.home2Telephone);
    list.text(OtherTelephone, contact.otherTelephone);
    list.text(CompanyMainTelephone, contact.companyMainTelephone);
}

/// A date property as clients keep a birthday: the day at noon UTC, so that it shows on the same
/// day in every time zone from UTC-12 to UTC+11, and the day at midnight in the local form.
void addDate(PropertyList& list, PropertyTag tag, std::uint32_t localLid, const std::string& text) {
    const auto days = dateFromText(text);
    if (!days) {
        return;
    }
    constexpr std::int64_t TicksPerDay = 864'000'000'000;
    const auto midnight = static_cast<std::uint64_t>(*days * TicksPerDay);
    list.add(tag, support::LeWriter().u64(midnight + TicksPerDay / 2).str());
    list.add(list.named(localLid, Time), support::LeWriter().u64(midnight).str());
}

void addAddresses(PropertyList& list, const Contact& c) {
    // Clients show the whole-address text; compose it when only the parts are known.
    auto work = c.workAddress.empty() ? composeAddress(c.workStreet, c.workCity, c.workState,
                                                       c.workPostalCode, c.workCountry)
                                      : withCrLf(c.workAddress);
    auto home = c.homeAddress.empty() ? composeAddress(c.homeStreet, c.homeCity, c.homeState,
                                                       c.homePostalCode, c.homeCountry)
                                      : withCrLf(c.homeAddress);
    list.namedText(LidWorkAddress, work);
    list.namedText(LidWorkAddressStreet, c.workStreet);
    list.namedText(LidWorkAddressCity, c.workCity);
    list.namedText(LidWorkAddressState, c.workState);
    list.namedText(LidWorkAddressPostalCode, c.workPostalCode);
    list.namedText(LidWorkAddressCountry, c.workCountry);
    list.namedText(LidHomeAddress, home);
    list.text(HomeAddressStreet, c.homeStreet);
    list.text(HomeAddressCity, c.homeCity);
    list.text(HomeAddressStateOrProvince, c.homeState);
    list.text(HomeAddressPostalCode, c.homePostalCode);
    list.text(HomeAddressCountry, c.homeCountry);
    auto other = c.otherAddress.empty() ? composeAddress(c.otherStreet, c.otherCity, c.otherState,
                                                         c.otherPostalCode, c.otherCountry)
                                        : withCrLf(c.otherAddress);
    list.namedText(LidOtherAddress, other);
    list.text(OtherAddressStreet, c.otherStreet);
    list.text(OtherAddressCity, c.otherCity);
    list.text(OtherAddressStateOrProvince, c.otherState);
    list.text(OtherAddressPostalCode, c.otherPostalCode);
    list.text(OtherAddressCountry, c.otherCountry);
    // The mailing address: the work address when there is one, else the home address.
    std::int32_t postal = PostalAddressNone;
    if (!work.empty()) {
        postal = PostalAddressWork;
        list.text(PostalAddress, work);
        list.text(StreetAddress, c.workStreet);
        list.text(Locality, c.workCity);
        list.text(StateOrProvince, c.workState);
        list.text(PostalCode, c.workPostalCode);
        list.text(Country, c.workCountry);
    } else if (!home.empty()) {
        postal = PostalAddressHome;
        list.text(PostalAddress, home);
        list.text(StreetAddress, c.homeStreet);
        list.text(Locality, c.homeCity);
        list.text(StateOrProvince, c.homeState);
        list.text(PostalCode, c.homePostalCode);
        list.text(Country, c.homeCountry);
    }
    list.add(list.named(LidPostalAddressId, Int32), ltp::int32Value(postal));
}

void addEmails(PropertyList& list, const Contact& contact, const std::string& displayName) {
    std::vector<std::int32_t> present;
    std::int32_t arrayType = 0;
    const std::string* addresses[] = {&contact.email1, &contact.email2, &contact.email3};
    for (std::uint32_t n = 0; n < 3; ++n) {
        const auto& address = *addresses[n];
        if (address.empty()) {
            continue;
        }
        const auto base = LidEmail1Base + n * EmailStride;
        auto shown = address;
        if (!displayName.empty() && displayName != address) {
            shown = displayName;
            shown.append(" (").append(address).append(")");
        }
        list.namedText(base + EmailDisplayNameOffset, shown);
        list.namedText(base + EmailAddressTypeOffset, "SMTP");
        list.namedText(base + EmailAddressOffset, address);
        list.namedText(base + EmailOriginalDisplayNameOffset, address);
        present.push_back(static_cast<std::int32_t>(n));
        arrayType |= static_cast<std::int32_t>(1U << n);
    }
    if (!present.empty()) {
        list.add(list.named(LidAddressBookProviderEmailList, ltp::PropertyType::MultiInt32),
                 ltp::multiInt32Value(present));
        list.add(list.named(LidAddressBookProviderArrayType, Int32), ltp::int32Value(arrayType));
    }
}

void addOther(PropertyList& list, const Contact& contact) {
    list.text(BusinessHomePage, contact.businessHomePage);
    list.namedText(LidHtml, contact.webPage);
    list.namedText(LidInstantMessagingAddress, contact.imAddress);
    const auto categories = splitCategories(contact.categories);
    if (!categories.empty()) {
        list.add(list.namedString(PublicStringsPropertySet, "Keywords", MultiString),
                 ltp::multiStringValue(categories));
    }
    list.text(Body, withCrLf(contact.body));
    addDate(list, Birthday, LidBirthdayLocal, contact.birthday);
    addDate(list, WeddingAnniversary, LidWeddingAnniversaryLocal, contact.anniversary);
}

std::string lowerExtension(const std::string& fileName) {
    const auto dot = fileName.rfind('.');
    return dot == std::string::npos ? std::string() : support::asciiLower(fileName.substr(dot));
}

/// The photo attachment subnode and the message's attachment table.
std::vector<ndb::Subnode> photoSubnodes(const ContactPicture& picture) {
    const auto fileName =
        picture.fileName.empty() ? std::string("ContactPicture.jpg") : picture.fileName;
    const auto size = static_cast<std::int32_t>(picture.bytes.size());
    std::vector<Property> attachment = {
        {AttachMethod, ltp::int32Value(AttachByValue)},
        {AttachDataBinary, picture.bytes},
        {AttachmentContactPhoto, ltp::booleanValue(true)},
        {AttachFilename, ltp::stringValue(fileName)},
        {AttachLongFilename, ltp::stringValue(fileName)},
        {DisplayName, ltp::stringValue(fileName)},
        {AttachSize, ltp::int32Value(size)},
        {RenderingPosition, ltp::int32Value(NoRenderingPosition)},
    };
    const auto extension = lowerExtension(fileName);
    if (!extension.empty()) {
        attachment.push_back({AttachExtension, ltp::stringValue(extension)});
    }
    ltp::TableBuilder table({RenderingPosition, AttachSize, AttachMethod, AttachFilename});
    table.addRow(PhotoAttachmentNid, attachment);
    return {{AttachmentTemplateNid, table.finish()},
            {PhotoAttachmentNid, ltp::buildPropertyContext(attachment)}};
}

} // namespace

void registerContactNames(NamedPropertyMap& names) {
    for (const auto lid : {LidFileUnder,
                           LidFileUnderId,
                           LidHasPicture,
                           LidHomeAddress,
                           LidWorkAddress,
                           LidOtherAddress,
                           LidBirthdayLocal,
                           LidWeddingAnniversaryLocal,
                           LidPostalAddressId,
                           LidAddressBookProviderEmailList,
                           LidAddressBookProviderArrayType,
                           LidHtml,
                           LidWorkAddressStreet,
                           LidWorkAddressCity,
                           LidWorkAddressState,
                           LidWorkAddressPostalCode,
                           LidWorkAddressCountry,
                           LidInstantMessagingAddress,
                           LidDistributionListChecksum,
                           LidDistributionListName,
                           LidDistributionListOneOffMembers,
                           LidDistributionListMembers}) {
        names.idFor(AddressPropertySet, lid);
    }
    for (std::uint32_t n = 0; n < 3; ++n) {
        const auto base = LidEmail1Base + n * EmailStride;
        for (const auto offset : {EmailDisplayNameOffset, EmailAddressTypeOffset,
                                  EmailAddressOffset, EmailOriginalDisplayNameOffset}) {
            names.idFor(AddressPropertySet, base + offset);
        }
    }
    names.idFor(PublicStringsPropertySet, std::string("Keywords"));
    // Last, so that the ids above stay as earlier stores have them.
    names.idFor(AddressPropertySet, LidDistributionListStream);
}

std::string withCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string composeAddress(const std::string& street, const std::string& city,
                           const std::string& state, const std::string& postalCode,
                           const std::string& country) {
    const auto stateAndCode = joinNonEmpty({&state, &postalCode}, " ");
    const auto cityLine = joinNonEmpty({&city, &stateAndCode}, ", ");
    const auto streetLines = withCrLf(street);
    return joinNonEmpty({&streetLines, &cityLine, &country}, "\r\n");
}

FileUnder fileUnderFor(const Contact& contact) {
    const auto firstMiddle = joinNonEmpty({&contact.givenName, &contact.middleName}, " ");
    if (!contact.surname.empty() || !firstMiddle.empty()) {
        return {joinNonEmpty({&contact.surname, &firstMiddle}, ", "), FileUnderLastFirstMiddle};
    }
    if (!contact.companyName.empty()) {
        return {contact.companyName, FileUnderCompany};
    }
    for (const std::string* address : {&contact.email1, &contact.email2, &contact.email3}) {
        if (!address->empty()) {
            return {*address, FileUnderCustom};
        }
    }
    return {shownNameFor(contact), FileUnderDisplayName};
}

std::string shownNameFor(const Contact& contact) {
    if (!contact.displayName.empty()) {
        return contact.displayName;
    }
    auto names = joinNonEmpty({&contact.givenName, &contact.middleName, &contact.surname}, " ");
    if (!names.empty()) {
        return names;
    }
    // A contact without a name is shown by the first thing that tells it apart, as a list of
    // contacts would show it; one with nothing at all still gets a name, so that no reader
    // takes it for something else or shows it blank.
    for (const std::string* value :
         {&contact.companyName, &contact.email1, &contact.email2, &contact.email3,
          &contact.mobileTelephone, &contact.businessTelephone, &contact.homeTelephone,
          &contact.carTelephone, &contact.pager, &contact.businessFax, &contact.homeFax,
          &contact.imAddress, &contact.webPage, &contact.businessHomePage, &contact.jobTitle}) {
        // (The instant-messaging address of a contact without one is two spaces.)
        if (const auto trimmed = support::trimSpaces(*value); !trimmed.empty()) {
            return std::string(trimmed);
        }
    }
    const auto firstLine = support::trimSpaces(
        std::string_view(contact.body).substr(0, contact.body.find_first_of("\r\n")));
    if (!firstLine.empty()) {
        return std::string(firstLine.substr(0, utf8Boundary(firstLine, MaxNameFromNote)));
    }
    return NoName;
}

MessageNode buildContactMessage(const Contact& contact, ndb::Nid nid, NamedPropertyMap& names,
                                std::uint64_t now, const std::string& searchKey) {
    PropertyList list(names);
    const auto time = support::LeWriter().u64(now).str();
    const bool hasPicture = contact.picture.has_value() && !contact.picture->bytes.empty();
    const auto flags = MessageFlagRead | (hasPicture ? MessageFlagHasAttachment : 0);
    list.text(MessageClass, "IPM.Contact");
    list.add(MessageFlags, ltp::int32Value(flags));
    list.add(MessageStatus, ltp::int32Value(0));
    list.add(Importance, ltp::int32Value(NormalImportance));
    list.add(Sensitivity, ltp::int32Value(0));
    list.add(CreationTime, time);
    list.add(LastModificationTime, time);
    list.add(MessageDeliveryTime, time);
    list.add(SearchKey, searchKey);
    list.add(IconIndex, ltp::int32Value(ContactIconIndex));
    list.add(HasAttachments, ltp::booleanValue(hasPicture));
    const std::string shownName = shownNameFor(contact);
    addNames(list, contact, shownName);
    addPhones(list, contact);
    addAddresses(list, contact);
    addEmails(list, contact, shownName);
    addOther(list, contact);
    if (hasPicture) {
        list.add(list.named(LidHasPicture, Bool), ltp::booleanValue(true));
    }
    return finishMessage(list.views(), nid,
                         hasPicture ? photoSubnodes(*contact.picture) : std::vector<ndb::Subnode>{},
                         hasPicture ? contact.picture->bytes.size() : 0);
}

MessageNode finishMessage(const std::vector<ltp::Property>& properties, ndb::Nid nid,
                          std::vector<ndb::Subnode> subnodes, std::size_t attachedBytes) {
    std::vector<ltp::PropertyView> views;
    views.reserve(properties.size() + 1);
    for (const auto& property : properties) {
        views.push_back({property.tag, property.value});
    }
    return finishMessage(std::move(views), nid, std::move(subnodes), attachedBytes);
}

MessageNode finishMessage(std::vector<ltp::PropertyView> properties, ndb::Nid nid,
                          std::vector<ndb::Subnode> subnodes, std::size_t attachedBytes) {
    // The size clients show: the bytes of the values, roughly what the item takes.
    std::size_t size = attachedBytes;
    for (const auto& property : properties) {
        size += property.value.size() + 8;
    }
    const auto messageSize =
        ltp::int32Value(static_cast<std::int32_t>(std::min<std::size_t>(size, 0x7FFFFFFF)));
    properties.push_back({MessageSize, messageSize});

    MessageNode message;
    message.nid = nid;
    message.rowCells.reserve(ContentsRowCells);
    for (const auto& property : properties) {
        switch (property.tag) {
        case MessageStatus:
        case MessageClass:
        case MessageFlags:
        case Importance:
        case Subject:
        case MessageDeliveryTime:
        case MessageSize:
        case Sensitivity:
        case LastModificationTime:
            message.rowCells.push_back({property.tag, std::string(property.value)});
            break;
        default:
            break;
        }
    }
    message.content = ltp::buildPropertyContext(properties, std::move(subnodes));
    return message;
}

} // namespace plumbrae::pst::messaging
