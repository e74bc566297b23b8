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
    };
    return All;
}

#undef PLUMBRAE_FIELD

void ContactRecord::FreevCard() {
    for (const auto& info : fields()) {
        (this->*info.field).clear();
    }
}

ContactRecord ContactRecord::trimmed() const {
    ContactRecord copy;
    for (const auto& info : fields()) {
        copy.*info.field = std::string(support::trimSpaces(this->*info.field));
    }
    return copy;
}

} // namespace plumbrae::core
