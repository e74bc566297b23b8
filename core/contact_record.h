#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace plumbrae::core {

/// A day of the calendar.
struct CalendarDate {
    int year = 0;
    int month = 0; ///< 1 to 12
    int day = 0;   ///< 1 to 31
    bool operator==(const CalendarDate&) const = default;
};

/// The date a contact file writes with its year, "yyyy-mm-dd" (a real day of any year from 1 on).
/// Nothing for a date without a year ("--05-01") or any other text: such a value is kept as text
/// and never guessed into a date.
std::optional<CalendarDate> calendarDate(std::string_view text);

/// The same for the dates a PST holds, which start in 1601: nothing for an earlier day.
std::optional<CalendarDate> fullDate(std::string_view text);

/// True for a day of the year written without a year, "--mm-dd" (29 February included), as
/// contact files and vCards write a birthday whose year is not known.
bool isYearlessDate(std::string_view text);

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
    std::string Nickname;
    /// As the contact file holds it: yyyy-mm-dd, or text without a year ("--05-01").
    std::string Birthday;
    std::string Anniversary;
    /// The work web address; `WebPage` is the home one.
    std::string WorkWebPage;
    std::string OtherPhone;
    std::string CompanyPhone;
    std::string HomePhone2;
    std::string OfficePhone2;
    std::string CellPhone2;
    /// The second and third instant-messaging addresses; the first is `IMAddress`. Each is
    /// held as the contact file writes it: "service://address".
    std::string IMAddress2;
    std::string IMAddress3;
    /// A further postal address besides the business and home ones.
    std::string OtherStreet;
    std::string OtherCity;
    std::string OtherZip;
    std::string OtherState;
    std::string OtherCountry;

    static constexpr std::size_t FieldCount = 60;

    /// Empties every field, so that a key missing from the next file cannot show the previous
    /// contact's value.
    void FreevCard();

    /// A copy in which every field has its spaces (character 32 only) removed at both ends:
    /// what the writers receive.
    [[nodiscard]] ContactRecord trimmed() const;

    /// Makes this record the trimmed copy of `from` in place, reusing the fields' storage: a
    /// run keeps one such record for all its contacts, so a contact costs no allocation here.
    void assignTrimmed(const ContactRecord& from);

    /// Every field in declared order, with its name, for code that treats them alike.
    using FieldPointer = std::string ContactRecord::*;
    struct FieldInfo {
        std::string_view name;
        FieldPointer field;
    };
    static const std::array<FieldInfo, FieldCount>& fields();

    bool operator==(const ContactRecord&) const = default;
};

static_assert(sizeof(ContactRecord) == ContactRecord::FieldCount * sizeof(std::string),
              "FieldCount counts every field");

} // namespace plumbrae::core
