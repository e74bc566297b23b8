#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/contact_message_p.h"
#include "pst/messaging/property_tags_p.h"
#include "support/le_writer.h"
#include "support/text.h"

namespace plumbrae::pst::messaging {
namespace {

using namespace tags;
using ltp::Property;

constexpr std::int32_t kMessageFlagRead = 0x01;
constexpr std::int32_t kMessageFlagHasAttachment = 0x10;
constexpr std::int32_t kContactIconIndex = 0x200;
constexpr std::int32_t kNormalImportance = 1;
constexpr std::int32_t kAttachByValue = 1;
constexpr std::int32_t kNoRenderingPosition = -1;
constexpr std::int32_t kPostalAddressNone = 0;
constexpr std::int32_t kPostalAddressHome = 1;
constexpr std::int32_t kPostalAddressWork = 2;

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

/// Collects properties, skipping empty texts.
class PropertyList {
public:
    explicit PropertyList(NamedPropertyMap& names) : m_names(names) {}

    void text(PropertyTag tag, const std::string& value) {
        if (!value.empty()) {
            m_properties.push_back({tag, ltp::stringValue(value)});
        }
    }
    void namedText(std::uint32_t lid, const std::string& value) {
        if (!value.empty()) {
            text(named(lid, kString), value);
        }
    }
    void add(PropertyTag tag, std::string value) {
        m_properties.push_back({tag, std::move(value)});
    }
    PropertyTag named(std::uint32_t lid, ltp::PropertyType type) {
        return makeTag(m_names.idFor(kAddressPropertySet, lid), type);
    }
    PropertyTag namedString(const Guid& set, const std::string& name, ltp::PropertyType type) {
        return makeTag(m_names.idFor(set, name), type);
    }
    [[nodiscard]] std::vector<Property>& properties() { return m_properties; }

private:
    NamedPropertyMap& m_names;
    std::vector<Property> m_properties;
};

void addNames(PropertyList& list, const Contact& contact, const std::string& displayName) {
    list.text(kGivenName, contact.givenName);
    list.text(kMiddleName, contact.middleName);
    list.text(kSurname, contact.surname);
    list.text(kDisplayName, displayName);
    list.text(kSubject, displayName);
    list.text(kNormalizedSubject, displayName);
    list.text(kDisplayNamePrefix, contact.displayNamePrefix);
    list.text(kGeneration, contact.generation);
    list.text(kTitle, contact.jobTitle);
    list.text(kCompanyName, contact.companyName);
    list.text(kDepartmentName, contact.department);
    list.text(kOfficeLocation, contact.officeLocation);
    list.text(kProfession, contact.profession);
    list.text(kManagerName, contact.managerName);
    list.text(kAssistant, contact.assistantName);
    list.text(kSpouseName, contact.spouse);
    const auto fileUnder = fileUnderFor(contact);
    if (!fileUnder.text.empty()) {
        list.namedText(kLidFileUnder, fileUnder.text);
        list.add(list.named(kLidFileUnderId, kInt32), ltp::int32Value(fileUnder.pattern));
    }
}

void addPhones(PropertyList& list, const Contact& contact) {
    list.text(kBusinessTelephone, contact.businessTelephone);
    list.text(kBusinessFax, contact.businessFax);
    list.text(kHomeTelephone, contact.homeTelephone);
    list.text(kHomeFax, contact.homeFax);
    list.text(kMobileTelephone, contact.mobileTelephone);
    list.text(kPagerTelephone, contact.pager);
    list.text(kCarTelephone, contact.carTelephone);
}

void addAddresses(PropertyList& list, const Contact& c) {
    // Clients show the whole-address text; compose it when only the parts are known.
    auto work = c.workAddress.empty() ? composeAddress(c.workStreet, c.workCity, c.workState,
                                                       c.workPostalCode, c.workCountry)
                                      : withCrLf(c.workAddress);
    auto home = c.homeAddress.empty() ? composeAddress(c.homeStreet, c.homeCity, c.homeState,
                                                       c.homePostalCode, c.homeCountry)
                                      : withCrLf(c.homeAddress);
    list.namedText(kLidWorkAddress, work);
    list.namedText(kLidWorkAddressStreet, c.workStreet);
    list.namedText(kLidWorkAddressCity, c.workCity);
    list.namedText(kLidWorkAddressState, c.workState);
    list.namedText(kLidWorkAddressPostalCode, c.workPostalCode);
    list.namedText(kLidWorkAddressCountry, c.workCountry);
    list.namedText(kLidHomeAddress, home);
    list.text(kHomeAddressStreet, c.homeStreet);
    list.text(kHomeAddressCity, c.homeCity);
    list.text(kHomeAddressStateOrProvince, c.homeState);
    list.text(kHomeAddressPostalCode, c.homePostalCode);
    list.text(kHomeAddressCountry, c.homeCountry);
    // The mailing address: the work address when there is one, else the home address.
    std::int32_t postal = kPostalAddressNone;
    if (!work.empty()) {
        postal = kPostalAddressWork;
        list.text(kPostalAddress, work);
        list.text(kStreetAddress, c.workStreet);
        list.text(kLocality, c.workCity);
        list.text(kStateOrProvince, c.workState);
        list.text(kPostalCode, c.workPostalCode);
        list.text(kCountry, c.workCountry);
    } else if (!home.empty()) {
        postal = kPostalAddressHome;
        list.text(kPostalAddress, home);
        list.text(kStreetAddress, c.homeStreet);
        list.text(kLocality, c.homeCity);
        list.text(kStateOrProvince, c.homeState);
        list.text(kPostalCode, c.homePostalCode);
        list.text(kCountry, c.homeCountry);
    }
    list.add(list.named(kLidPostalAddressId, kInt32), ltp::int32Value(postal));
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
        const auto base = kLidEmail1Base + n * kEmailStride;
        const auto shown = displayName.empty() ? address : displayName + " (" + address + ")";
        list.namedText(base + kEmailDisplayNameOffset, shown);
        list.namedText(base + kEmailAddressTypeOffset, "SMTP");
        list.namedText(base + kEmailAddressOffset, address);
        list.namedText(base + kEmailOriginalDisplayNameOffset, address);
        present.push_back(static_cast<std::int32_t>(n));
        arrayType |= static_cast<std::int32_t>(1U << n);
    }
    if (!present.empty()) {
        list.add(list.named(kLidAddressBookProviderEmailList, ltp::PropertyType::MultiInt32),
                 ltp::multiInt32Value(present));
        list.add(list.named(kLidAddressBookProviderArrayType, kInt32), ltp::int32Value(arrayType));
    }
}

void addOther(PropertyList& list, const Contact& contact) {
    list.text(kBusinessHomePage, contact.businessHomePage);
    list.namedText(kLidHtml, contact.webPage);
    list.namedText(kLidInstantMessagingAddress, contact.imAddress);
    const auto categories = splitCategories(contact.categories);
    if (!categories.empty()) {
        list.add(list.namedString(kPublicStringsPropertySet, "Keywords", kMultiString),
                 ltp::multiStringValue(categories));
    }
    list.text(kBody, withCrLf(contact.body));
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
        {kAttachMethod, ltp::int32Value(kAttachByValue)},
        {kAttachDataBinary, picture.bytes},
        {kAttachmentContactPhoto, ltp::booleanValue(true)},
        {kAttachFilename, ltp::stringValue(fileName)},
        {kAttachLongFilename, ltp::stringValue(fileName)},
        {kDisplayName, ltp::stringValue(fileName)},
        {kAttachSize, ltp::int32Value(size)},
        {kRenderingPosition, ltp::int32Value(kNoRenderingPosition)},
    };
    const auto extension = lowerExtension(fileName);
    if (!extension.empty()) {
        attachment.push_back({kAttachExtension, ltp::stringValue(extension)});
    }
    ltp::TableBuilder table({kRenderingPosition, kAttachSize, kAttachMethod, kAttachFilename});
    table.addRow(kPhotoAttachmentNid, attachment);
    return {{kAttachmentTemplateNid, table.finish()},
            {kPhotoAttachmentNid, ltp::buildPropertyContext(attachment)}};
}

} // namespace

void registerContactNames(NamedPropertyMap& names) {
    for (const auto lid :
         {kLidFileUnder, kLidFileUnderId, kLidHasPicture, kLidHomeAddress, kLidWorkAddress,
          kLidPostalAddressId, kLidAddressBookProviderEmailList, kLidAddressBookProviderArrayType,
          kLidHtml, kLidWorkAddressStreet, kLidWorkAddressCity, kLidWorkAddressState,
          kLidWorkAddressPostalCode, kLidWorkAddressCountry, kLidInstantMessagingAddress}) {
        names.idFor(kAddressPropertySet, lid);
    }
    for (std::uint32_t n = 0; n < 3; ++n) {
        const auto base = kLidEmail1Base + n * kEmailStride;
        for (const auto offset : {kEmailDisplayNameOffset, kEmailAddressTypeOffset,
                                  kEmailAddressOffset, kEmailOriginalDisplayNameOffset}) {
            names.idFor(kAddressPropertySet, base + offset);
        }
    }
    names.idFor(kPublicStringsPropertySet, std::string("Keywords"));
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
        return {joinNonEmpty({&contact.surname, &firstMiddle}, ", "), kFileUnderLastFirstMiddle};
    }
    if (!contact.companyName.empty()) {
        return {contact.companyName, kFileUnderCompany};
    }
    if (!contact.displayName.empty()) {
        return {contact.displayName, kFileUnderDisplayName};
    }
    return {};
}

MessageNode buildContactMessage(const Contact& contact, ndb::Nid nid, NamedPropertyMap& names,
                                std::uint64_t now, const std::string& searchKey) {
    PropertyList list(names);
    const auto time = support::LeWriter().u64(now).str();
    const bool hasPicture = contact.picture.has_value() && !contact.picture->bytes.empty();
    const auto flags = kMessageFlagRead | (hasPicture ? kMessageFlagHasAttachment : 0);
    list.text(kMessageClass, "IPM.Contact");
    list.add(kMessageFlags, ltp::int32Value(flags));
    list.add(kMessageStatus, ltp::int32Value(0));
    list.add(kImportance, ltp::int32Value(kNormalImportance));
    list.add(kSensitivity, ltp::int32Value(0));
    list.add(kCreationTime, time);
    list.add(kLastModificationTime, time);
    list.add(kMessageDeliveryTime, time);
    list.add(kSearchKey, searchKey);
    list.add(kIconIndex, ltp::int32Value(kContactIconIndex));
    list.add(kHasAttachments, ltp::booleanValue(hasPicture));
    addNames(list, contact, contact.displayName);
    addPhones(list, contact);
    addAddresses(list, contact);
    addEmails(list, contact, contact.displayName);
    addOther(list, contact);
    if (hasPicture) {
        list.add(list.named(kLidHasPicture, kBool), ltp::booleanValue(true));
    }
    // The size clients show: the bytes of the values, roughly what the item takes.
    std::size_t size = 0;
    for (const auto& property : list.properties()) {
        size += property.value.size() + 8;
    }
    if (hasPicture) {
        size += contact.picture->bytes.size();
    }
    list.add(kMessageSize,
             ltp::int32Value(static_cast<std::int32_t>(std::min<std::size_t>(size, 0x7FFFFFFF))));

    MessageNode message;
    message.nid = nid;
    for (const auto& property : list.properties()) {
        switch (property.tag) {
        case kMessageStatus:
        case kMessageClass:
        case kMessageFlags:
        case kImportance:
        case kSubject:
        case kMessageDeliveryTime:
        case kMessageSize:
        case kSensitivity:
        case kLastModificationTime:
            message.rowCells.push_back(property);
            break;
        default:
            break;
        }
    }
    message.content =
        ltp::buildPropertyContext(list.properties(), hasPicture ? photoSubnodes(*contact.picture)
                                                                : std::vector<ndb::Subnode>{});
    return message;
}

} // namespace plumbrae::pst::messaging
