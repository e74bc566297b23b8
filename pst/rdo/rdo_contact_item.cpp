#include "automation/session_contract.h"
#include "pst/rdo/rdo_objects_p.h"
#include "support/file_path.h"

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

using automation::contract::ContactProperty;
namespace contract = automation::contract;

struct TextProperty {
    ContactProperty property;
    std::string Contact::*field;
};

// Where the contact keeps each of the item's text properties.
constexpr std::array<TextProperty, contract::ContactPropertyNames.size()> TextProperties{{
    {ContactProperty::FirstName, &Contact::givenName},
    {ContactProperty::MiddleName, &Contact::middleName},
    {ContactProperty::LastName, &Contact::surname},
    {ContactProperty::FullName, &Contact::displayName},
    {ContactProperty::JobTitle, &Contact::jobTitle},
    {ContactProperty::CompanyName, &Contact::companyName},
    {ContactProperty::BusinessTelephoneNumber, &Contact::businessTelephone},
    {ContactProperty::BusinessFaxNumber, &Contact::businessFax},
    {ContactProperty::HomeTelephoneNumber, &Contact::homeTelephone},
    {ContactProperty::HomeFaxNumber, &Contact::homeFax},
    {ContactProperty::MobileTelephoneNumber, &Contact::mobileTelephone},
    {ContactProperty::PagerNumber, &Contact::pager},
    {ContactProperty::CarTelephoneNumber, &Contact::carTelephone},
    {ContactProperty::BusinessAddress, &Contact::workAddress},
    {ContactProperty::BusinessAddressStreet, &Contact::workStreet},
    {ContactProperty::BusinessAddressCity, &Contact::workCity},
    {ContactProperty::BusinessAddressState, &Contact::workState},
    {ContactProperty::BusinessAddressPostalCode, &Contact::workPostalCode},
    {ContactProperty::BusinessAddressCountry, &Contact::workCountry},
    {ContactProperty::HomeAddress, &Contact::homeAddress},
    {ContactProperty::HomeAddressStreet, &Contact::homeStreet},
    {ContactProperty::HomeAddressCity, &Contact::homeCity},
    {ContactProperty::HomeAddressState, &Contact::homeState},
    {ContactProperty::HomeAddressPostalCode, &Contact::homePostalCode},
    {ContactProperty::HomeAddressCountry, &Contact::homeCountry},
    {ContactProperty::Email1Address, &Contact::email1},
    {ContactProperty::Email2Address, &Contact::email2},
    {ContactProperty::Email3Address, &Contact::email3},
    {ContactProperty::BusinessHomePage, &Contact::businessHomePage},
    {ContactProperty::WebPage, &Contact::webPage},
    {ContactProperty::IMAddress, &Contact::imAddress},
    {ContactProperty::Categories, &Contact::categories},
    {ContactProperty::Department, &Contact::department},
    {ContactProperty::OfficeLocation, &Contact::officeLocation},
    {ContactProperty::Profession, &Contact::profession},
    {ContactProperty::ManagerName, &Contact::managerName},
    {ContactProperty::AssistantName, &Contact::assistantName},
    {ContactProperty::Title, &Contact::displayNamePrefix},
    {ContactProperty::Suffix, &Contact::generation},
    {ContactProperty::Spouse, &Contact::spouse},
    {ContactProperty::Body, &Contact::body},
    {ContactProperty::Nickname, &Contact::nickname},
    {ContactProperty::Business2TelephoneNumber, &Contact::business2Telephone},
    {ContactProperty::Home2TelephoneNumber, &Contact::home2Telephone},
    {ContactProperty::OtherTelephoneNumber, &Contact::otherTelephone},
    {ContactProperty::CompanyMainTelephoneNumber, &Contact::companyMainTelephone},
    {ContactProperty::OtherAddressStreet, &Contact::otherStreet},
    {ContactProperty::OtherAddressCity, &Contact::otherCity},
    {ContactProperty::OtherAddressState, &Contact::otherState},
    {ContactProperty::OtherAddressPostalCode, &Contact::otherPostalCode},
    {ContactProperty::OtherAddressCountry, &Contact::otherCountry},
    {ContactProperty::Birthday, &Contact::birthday},
    {ContactProperty::Anniversary, &Contact::anniversary},
}};
static_assert(contract::coversEveryPropertyInOrder(TextProperties));

/// The name the picture attachment carries, as mail clients recognise a contact's photo.
constexpr const char* PictureFileName = "ContactPicture.jpg";

} // namespace

std::string* RdoContactItem::findTextProperty(std::string_view member) {
    // Clients set the properties in table order, so the search starts where the last one
    // was found and usually succeeds at once.
    std::size_t index = m_nextProperty;
    for (std::size_t step = 0; step < TextProperties.size(); ++step, ++index) {
        if (index == TextProperties.size()) {
            index = 0;
        }
        if (sameMemberName(contract::memberName(TextProperties[index].property), member)) {
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
            const std::string& text = arguments[0].toText();
            const bool isDate = value == &m_contact.birthday || value == &m_contact.anniversary;
            if (isDate && !text.empty() && !messaging::dateFromText(text)) {
                throw AutomationError("\"" + text + "\" is not a date written yyyy-mm-dd");
            }
            *value = text;
            return {};
        }
        if (sameMemberName(member, contract::item::MessageClass) && kind == InvokeKind::Get) {
            return "IPM.Contact";
        }
    }
    if (sameMemberName(member, contract::item::AddPicture) && kind == InvokeKind::Call) {
        automation::expectArgumentCount(member, arguments, 1);
        addPicture(arguments[0].toText());
        return {};
    }
    if (sameMemberName(member, contract::item::Save) && kind != InvokeKind::Put) {
        save();
        return {};
    }
    throw unknownMember(member);
}

void RdoContactItem::addPicture(const std::string& path) {
    std::ifstream file(support::pathFromUtf8(path), std::ios::binary);
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
