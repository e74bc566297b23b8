#pragma once

#include <array>
#include <string>
#include <string_view>

namespace plumbrae::core {

/// The text fields of the one contact a conversion run is handling. The reader fills it, the
/// run clears it before every file, and exactly one writer reads a trimmed copy of it.
/// Fields hold bytes exactly as the contact file holds them; empty means no value.
struct ContactRecord {
    std::string FirstName;
    std::string MiddleName;
    std::string LastName;
    std::string FullName;
    std::string Suffix;
    std::string Title;
    std::string Email;
    std::string Email2;
    std::string Email3;
    std::string Company;
    std::string JobTitle;
    std::string Profession;
    std::string BusinessAddress;
    std::string BusinessStreet;
    std::string BusinessCity;
    std::string BusinessZip;
    std::string BusinessState;
    std::string BusinessCountry;
    std::string Location;
    std::string WebPage;
    std::string Department;
    std::string Manager;
    std::string Assistant;
    std::string OfficePhone;
    std::string OfficeFax;
    std::string CellPhone;
    std::string Pager;
    std::string CarPhone;
    std::string OtherEmail1;
    std::string OtherEmail2;
    std::string OtherEmail3;
    std::string IMAddress;
    std::string PersonalAddress;
    std::string PersonalStreet;
    std::string PersonalCity;
    std::string PersonalZip;
    std::string PersonalState;
    std::string PersonalCountry;
    std::string Spouse;
    std::string HomePhone;
    std::string HomeFax;
    std::string Comments;
    std::string Categories;
    std::string Photo;

    static constexpr std::size_t FieldCount = 44;

    /// Empties every field, so that a key missing from the next file cannot show the previous
    /// contact's value.
    void FreevCard();

    /// A copy in which every field has its spaces (character 32 only) removed at both ends:
    /// what the writers receive.
    [[nodiscard]] ContactRecord trimmed() const;

    /// Every field in declared order, with its name, for code that treats them alike.
    using FieldPointer = std::string ContactRecord::*;
    struct FieldInfo {
        std::string_view name;
        FieldPointer field;
    };
    static const std::array<FieldInfo, FieldCount>& fields();

    bool operator==(const ContactRecord&) const = default;
};

} // namespace plumbrae::core
