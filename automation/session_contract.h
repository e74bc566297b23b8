#pragma once

// The late-bound contract between the PST export and the object model that answers it: the
// ProgID the session class is created under, the members each object offers and the numbers
// its methods take. Both sides spell every name and number from here, so a change made on one
// side cannot silently miss the other.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace plumbrae::automation::contract {

/// The ProgID of the session class.
inline constexpr std::string_view SessionProgId = "Redemption.RDOSession";

/// The session's members.
namespace session {
inline constexpr std::string_view Logon = "Logon";
inline constexpr std::string_view Logoff = "Logoff";
inline constexpr std::string_view LoggedOn = "LoggedOn";
inline constexpr std::string_view Stores = "Stores";
inline constexpr std::string_view GetStoreFromId = "GetStoreFromID";
} // namespace session

/// The members of the session's store list.
namespace stores {
inline constexpr std::string_view AddPstStore = "AddPSTStore";
inline constexpr std::string_view Count = "Count";
} // namespace stores

/// The members of one store.
namespace store {
inline constexpr std::string_view EntryId = "EntryID";
inline constexpr std::string_view DisplayName = "DisplayName";
inline constexpr std::string_view ValidateIpmTree = "ValidateIPMTree";
inline constexpr std::string_view GetDefaultFolder = "GetDefaultFolder";
} // namespace store

/// The members of a folder.
namespace folder {
inline constexpr std::string_view Items = "Items";
inline constexpr std::string_view Name = "Name";
} // namespace folder

/// The members of a folder's item list.
namespace items {
inline constexpr std::string_view Add = "Add";
inline constexpr std::string_view Count = "Count";
} // namespace items

/// The members of a contact item besides its text properties.
namespace item {
inline constexpr std::string_view MessageClass = "MessageClass";
inline constexpr std::string_view AddPicture = "AddPicture";
inline constexpr std::string_view Save = "Save";
} // namespace item

/// The members of a distribution list item (a contact group): its name, and a call that adds one
/// member by name, address and address type. `MessageClass` and `Save` as for a contact item.
namespace distList {
inline constexpr std::string_view DlName = "DLName";
inline constexpr std::string_view AddMemberEx = "AddMemberEx";
inline constexpr std::string_view MemberCount = "MemberCount";
} // namespace distList

/// `AddPSTStore`'s store formats: the default, and the Unicode format, which is the same file.
/// The old ANSI format (3) is not offered.
inline constexpr std::int32_t DefaultStoreFormat = 1;
inline constexpr std::int32_t UnicodeStoreFormat = 2;
/// `GetDefaultFolder`'s number for the default contacts folder.
inline constexpr std::int32_t ContactsFolder = 10;
/// `Items.Add`'s number for a contact item.
inline constexpr std::int32_t ContactItem = 2;
/// `Items.Add` also takes a message class; this one adds a distribution list.
inline constexpr std::string_view DistListClass = "IPM.DistList";
/// The address type of an Internet mail address, as `AddMemberEx` takes it.
inline constexpr std::string_view SmtpAddressType = "SMTP";

/// A contact item's text properties, in the order a client sets them.
enum class ContactProperty : std::size_t {
    FirstName,
    MiddleName,
    LastName,
    FullName,
    JobTitle,
    CompanyName,
    BusinessTelephoneNumber,
    BusinessFaxNumber,
    HomeTelephoneNumber,
    HomeFaxNumber,
    MobileTelephoneNumber,
    PagerNumber,
    CarTelephoneNumber,
    BusinessAddress,
    BusinessAddressStreet,
    BusinessAddressCity,
    BusinessAddressState,
    BusinessAddressPostalCode,
    BusinessAddressCountry,
    HomeAddress,
    HomeAddressStreet,
    HomeAddressCity,
    HomeAddressState,
    HomeAddressPostalCode,
    HomeAddressCountry,
    Email1Address,
    Email2Address,
    Email3Address,
    BusinessHomePage,
    WebPage,
    IMAddress,
    Categories,
    Department,
    OfficeLocation,
    Profession,
    ManagerName,
    AssistantName,
    Title,
    Suffix,
    Spouse,
    Body,
    // Set only for a contact that has the value.
    Nickname,
    Business2TelephoneNumber,
    Home2TelephoneNumber,
    OtherTelephoneNumber,
    CompanyMainTelephoneNumber,
    OtherAddressStreet,
    OtherAddressCity,
    OtherAddressState,
    OtherAddressPostalCode,
    OtherAddressCountry,
    /// Dates, set as text "yyyy-mm-dd" (a date with its year), which the item takes as that day.
    Birthday,
    Anniversary,
};

/// The member names of the text properties, in the order of ContactProperty.
inline constexpr auto ContactPropertyNames = std::to_array<std::string_view>({
    "FirstName",
    "MiddleName",
    "LastName",
    "FullName",
    "JobTitle",
    "CompanyName",
    "BusinessTelephoneNumber",
    "BusinessFaxNumber",
    "HomeTelephoneNumber",
    "HomeFaxNumber",
    "MobileTelephoneNumber",
    "PagerNumber",
    "CarTelephoneNumber",
    "BusinessAddress",
    "BusinessAddressStreet",
    "BusinessAddressCity",
    "BusinessAddressState",
    "BusinessAddressPostalCode",
    "BusinessAddressCountry",
    "HomeAddress",
    "HomeAddressStreet",
    "HomeAddressCity",
    "HomeAddressState",
    "HomeAddressPostalCode",
    "HomeAddressCountry",
    "Email1Address",
    "Email2Address",
    "Email3Address",
    "BusinessHomePage",
    "WebPage",
    "IMAddress",
    "Categories",
    "Department",
    "OfficeLocation",
    "Profession",
    "ManagerName",
    "AssistantName",
    "Title",
    "Suffix",
    "Spouse",
    "Body",
    "NickName",
    "Business2TelephoneNumber",
    "Home2TelephoneNumber",
    "OtherTelephoneNumber",
    "CompanyMainTelephoneNumber",
    "OtherAddressStreet",
    "OtherAddressCity",
    "OtherAddressState",
    "OtherAddressPostalCode",
    "OtherAddressCountry",
    "Birthday",
    "Anniversary",
});

/// The member name of a text property.
constexpr std::string_view memberName(ContactProperty property) {
    return ContactPropertyNames[static_cast<std::size_t>(property)];
}

/// Whether `table` has one row for every text property, in the order of ContactProperty. Each
/// side keeps its own table of where a property's value lives and checks it with this at
/// compile time, so a property added here without its rows does not build.
template <typename Row, std::size_t Size>
constexpr bool coversEveryPropertyInOrder(const std::array<Row, Size>& table) {
    if (Size != ContactPropertyNames.size()) {
        return false;
    }
    for (std::size_t index = 0; index < Size; ++index) {
        if (static_cast<std::size_t>(table[index].property) != index) {
            return false;
        }
    }
    return true;
}

} // namespace plumbrae::automation::contract
