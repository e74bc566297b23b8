#include "core/contact_record.h"

#include "support/text.h"

namespace plumbrae::core {

#define PLUMBRAE_FIELD(name)                                                                       \
    ContactRecord::FieldInfo {                                                                     \
#name, &ContactRecord::name                                                                \
    }

const std::array<ContactRecord::FieldInfo, ContactRecord::FieldCount>& ContactRecord::fields() {
    static const std::array<FieldInfo, FieldCount> All = {
        PLUMBRAE_FIELD(FirstName),       PLUMBRAE_FIELD(MiddleName),
        PLUMBRAE_FIELD(LastName),        PLUMBRAE_FIELD(FullName),
        PLUMBRAE_FIELD(Suffix),          PLUMBRAE_FIELD(Title),
        PLUMBRAE_FIELD(Email),           PLUMBRAE_FIELD(Email2),
        PLUMBRAE_FIELD(Email3),          PLUMBRAE_FIELD(Company),
        PLUMBRAE_FIELD(JobTitle),        PLUMBRAE_FIELD(Profession),
        PLUMBRAE_FIELD(BusinessAddress), PLUMBRAE_FIELD(BusinessStreet),
        PLUMBRAE_FIELD(BusinessCity),    PLUMBRAE_FIELD(BusinessZip),
        PLUMBRAE_FIELD(BusinessState),   PLUMBRAE_FIELD(BusinessCountry),
        PLUMBRAE_FIELD(Location),        PLUMBRAE_FIELD(WebPage),
        PLUMBRAE_FIELD(Department),      PLUMBRAE_FIELD(Manager),
        PLUMBRAE_FIELD(Assistant),       PLUMBRAE_FIELD(OfficePhone),
        PLUMBRAE_FIELD(OfficeFax),       PLUMBRAE_FIELD(CellPhone),
        PLUMBRAE_FIELD(Pager),           PLUMBRAE_FIELD(CarPhone),
        PLUMBRAE_FIELD(OtherEmail1),     PLUMBRAE_FIELD(OtherEmail2),
        PLUMBRAE_FIELD(OtherEmail3),     PLUMBRAE_FIELD(IMAddress),
        PLUMBRAE_FIELD(PersonalAddress), PLUMBRAE_FIELD(PersonalStreet),
        PLUMBRAE_FIELD(PersonalCity),    PLUMBRAE_FIELD(PersonalZip),
        PLUMBRAE_FIELD(PersonalState),   PLUMBRAE_FIELD(PersonalCountry),
        PLUMBRAE_FIELD(Spouse),          PLUMBRAE_FIELD(HomePhone),
        PLUMBRAE_FIELD(HomeFax),         PLUMBRAE_FIELD(Comments),
        PLUMBRAE_FIELD(Categories),      PLUMBRAE_FIELD(Photo),
        PLUMBRAE_FIELD(Nickname),        PLUMBRAE_FIELD(Birthday),
        PLUMBRAE_FIELD(Anniversary),     PLUMBRAE_FIELD(WorkWebPage),
        PLUMBRAE_FIELD(OtherPhone),      PLUMBRAE_FIELD(CompanyPhone),
        PLUMBRAE_FIELD(HomePhone2),      PLUMBRAE_FIELD(OfficePhone2),
        PLUMBRAE_FIELD(CellPhone2),      PLUMBRAE_FIELD(IMAddress2),
        PLUMBRAE_FIELD(IMAddress3),      PLUMBRAE_FIELD(OtherStreet),
        PLUMBRAE_FIELD(OtherCity),       PLUMBRAE_FIELD(OtherZip),
        PLUMBRAE_FIELD(OtherState),      PLUMBRAE_FIELD(OtherCountry),
    };
    return All;
}

#undef PLUMBRAE_FIELD

namespace {

/// True when `text` has the shape `shape`: "d" stands for a digit, any other character for
/// itself.
bool hasShape(std::string_view text, std::string_view shape) {
    if (text.size() != shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == 'd' ? !digit : text[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

int number(std::string_view text, std::size_t at, std::size_t count) {
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

/// True when the month has the day in that year (`leap`: a leap year, or any year when the
/// year is not known).
bool isDayOfMonth(int month, int day, bool leap) {
    constexpr std::array<int, 12> DaysIn = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) {
        return false;
    }
    return day <= DaysIn[static_cast<std::size_t>(month - 1)] + (month == 2 && leap);
}

} // namespace

std::optional<CalendarDate> calendarDate(std::string_view text) {
    if (!hasShape(text, "dddd-dd-dd")) {
        return std::nullopt;
    }
    const CalendarDate date{number(text, 0, 4), number(text, 5, 2), number(text, 8, 2)};
    const bool leap = (date.year % 4 == 0 && date.year % 100 != 0) || date.year % 400 == 0;
    if (date.year < 1 || !isDayOfMonth(date.month, date.day, leap)) {
        return std::nullopt;
    }
    return date;
}

std::optional<CalendarDate> fullDate(std::string_view text) {
    constexpr int EarliestYear = 1601;
    auto date = calendarDate(text);
    if (date && date->year < EarliestYear) {
        return std::nullopt;
    }
    return date;
}

bool isYearlessDate(std::string_view text) {
    return hasShape(text, "--dd-dd") && isDayOfMonth(number(text, 2, 2), number(text, 5, 2), true);
}

void ContactRecord::FreevCard() {
    for (const auto& info : fields()) {
        (this->*info.field).clear();
    }
}

ContactRecord ContactRecord::trimmed() const {
    ContactRecord copy;
    copy.assignTrimmed(*this);
    return copy;
}

void ContactRecord::assignTrimmed(const ContactRecord& from) {
    for (const auto& info : fields()) {
        const std::string& value = from.*info.field;
        std::string& copy = this->*info.field;
        if (value.empty()) {
            copy.clear();
        } else {
            copy.assign(support::trimSpaces(value));
        }
    }
}

} // namespace plumbrae::core
