#include "pst/rdo/rdo_objects_p.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace plumbrae::pst::rdo {

namespace {

using automation::AutomationError;
using automation::InvokeKind;
using automation::sameMemberName;
using automation::Variant;
using messaging::Contact;

struct TextProperty {
    std::string_view name;
    std::string Contact::*field;
};

// The item's text properties and where the contact keeps them.
constexpr std::array<TextProperty, 41> TextProperties{{
    {"FirstName", &Contact::givenName},
    {"MiddleName", &Contact::middleName},
    {"LastName", &Contact::surname},
    {"FullName", &Contact::displayName},
    {"JobTitle", &Contact::jobTitle},
    {"CompanyName", &Contact::companyName},
    {"BusinessTelephoneNumber", &Contact::businessTelephone},
    {"BusinessFaxNumber", &Contact::businessFax},
    {"HomeTelephoneNumber", &Contact::homeTelephone},
    {"HomeFaxNumber", &Contact::homeFax},
    {"MobileTelephoneNumber", &Contact::mobileTelephone},
    {"PagerNumber", &Contact::pager},
    {"CarTelephoneNumber", &Contact::carTelephone},
    {"BusinessAddress", &Contact::workAddress},
    {"BusinessAddressStreet", &Contact::workStreet},
    {"BusinessAddressCity", &Contact::workCity},
    {"BusinessAddressState", &Contact::workState},
    {"BusinessAddressPostalCode", &Contact::workPostalCode},
    {"BusinessAddressCountry", &Contact::workCountry},
    {"HomeAddress", &Contact::homeAddress},
    {"HomeAddressStreet", &Contact::homeStreet},
    {"HomeAddressCity", &Contact::homeCity},
    {"HomeAddressState", &Contact::homeState},
    {"HomeAddressPostalCode", &Contact::homePostalCode},
    {"HomeAddressCountry", &Contact::homeCountry},
    {"Email1Address", &Contact::email1},
    {"Email2Address", &Contact::email2},
    {"Email3Address", &Contact::email3},
    {"BusinessHomePage", &Contact::businessHomePage},
    {"WebPage", &Contact::webPage},
    {"IMAddress", &Contact::imAddress},
    {"Categories", &Contact::categories},
    {"Department", &Contact::department},
    {"OfficeLocation", &Contact::officeLocation},
    {"Profession", &Contact::profession},
    {"ManagerName", &Contact::managerName},
    {"AssistantName", &Contact::assistantName},
    {"Title", &Contact::displayNamePrefix},
    {"Suffix", &Contact::generation},
    {"Spouse", &Contact::spouse},
    {"Body", &Contact::body},
}};

/// The name the picture attachment carries, as mail clients recognise a contact's photo.
constexpr const char* PictureFileName = "ContactPicture.jpg";

} // namespace

const std::vector<std::string_view>& RdoContactItem::textPropertyNames() {
    static const std::vector<std::string_view> Names = [] {
        std::vector<std::string_view> list;
        list.reserve(TextProperties.size());
        for (const TextProperty& property : TextProperties) {
            list.push_back(property.name);
        }
        return list;
    }();
    return Names;
}

std::string* RdoContactItem::findTextProperty(std::string_view member) {
    // Clients set the properties in table order, so the search starts where the last one
    // was found and usually succeeds at once.
    for (std::size_t step = 0; step < TextProperties.size(); ++step) {
        const std::size_t index = (m_nextProperty + step) % TextProperties.size();
        if (sameMemberName(TextProperties[index].name, member)) {
            m_nextProperty = index + 1;
            return &(m_contact.*TextProperties[index].field);
        }
    }
    return nullptr;
}

Variant RdoContactItem::invoke(InvokeKind kind, std::string_view member,
                               std::span<const Variant> arguments) {
    if (kind != InvokeKind::Call) {
        if (std::string* value = findTextProperty(member)) {
            if (kind == InvokeKind::Get) {
                return *value;
            }
            *value = arguments[0].toText();
            return {};
        }
        if (sameMemberName(member, "MessageClass") && kind == InvokeKind::Get) {
            return "IPM.Contact";
        }
    }
    if (sameMemberName(member, "AddPicture") && kind == InvokeKind::Call) {
        automation::expectArgumentCount(member, arguments, 1);
        addPicture(arguments[0].toText());
        return {};
    }
    if (sameMemberName(member, "Save") && kind != InvokeKind::Put) {
        save();
        return {};
    }
    throw unknownMember(member);
}

void RdoContactItem::addPicture(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw AutomationError("cannot read the picture \"" + path + "\": " + std::strerror(errno));
    }
    std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) {
        throw AutomationError("cannot read the picture \"" + path + "\"");
    }
    m_contact.picture = messaging::ContactPicture{std::move(bytes), PictureFileName};
}

void RdoContactItem::save() {
    if (m_saved) {
        // The writer appends items; changing one already in the file is not offered.
        throw AutomationError("the item was already saved");
    }
    m_store->openFile().addContact(m_contact);
    m_saved = true;
}

} // namespace plumbrae::pst::rdo
