#include "tests/pst/messaging/sample_contacts.h"

namespace plumbrae::testing {

pst::messaging::Contact sampleContact(std::size_t index, bool withPictures) {
    const auto n = std::to_string(index);
    pst::messaging::Contact c;
    c.givenName = "Given" + n;
    c.middleName = "M";
    c.surname = "Sürname \xF0\x9F\x98\x80" + n; // U+1F600 needs a surrogate pair
    c.displayName = c.givenName + " M " + c.surname;
    c.jobTitle = "Engineer " + n;
    c.companyName = "Company Ωμέγα " + n;
    c.businessTelephone = "+1 555 0100 " + n;
    c.businessFax = "+1 555 0101 " + n;
    c.homeTelephone = "+1 555 0102 " + n;
    c.homeFax = "+1 555 0103 " + n;
    c.mobileTelephone = "+1 555 0104 " + n;
    c.pager = "+1 555 0105 " + n;
    c.carTelephone = "+1 555 0106 " + n;
    c.workAddress = index % 3 == 1 ? n + " Work Street\nfloor 2" : "";
    c.workStreet = n + " Work Street";
    c.workCity = "Worktown";
    c.workState = "WS";
    c.workPostalCode = "10" + n;
    c.workCountry = "Workland";
    c.homeStreet = n + " Home Road";
    c.homeCity = "Hometown 東京";
    c.homeState = "HS";
    c.homePostalCode = "20" + n;
    c.homeCountry = "Homeland";
    c.email1 = "contact" + n + "@example.org";
    c.email2 = "second" + n + "@example.org";
    c.email3 = index % 2 == 0 ? "third" + n + "@example.org" : "";
    c.businessHomePage = "https://example.org/" + n;
    c.webPage = c.businessHomePage;
    c.imAddress = "im" + n + "@example.org  ";
    c.categories = "Friends, Work";
    c.department = "Department " + n;
    c.officeLocation = "Room " + n;
    c.profession = "Profession " + n;
    c.managerName = "Manager " + n;
    c.assistantName = "Assistant " + n;
    c.displayNamePrefix = "Dr.";
    c.generation = "Jr.";
    c.spouse = "Spouse " + n;
    c.body = "Notes for contact " + n + "\nsecond line";
    if (index % 7 == 3) {
        for (int i = 0; i < 600; ++i) {
            c.body += "\nA long body line that makes the value pass one block " + std::to_string(i);
        }
    }
    if (withPictures && index % 5 == 4) {
        std::string jpeg = "\xFF\xD8\xFF\xE0";
        for (std::size_t i = 0; i < 9000 + index; ++i) {
            jpeg.push_back(static_cast<char>((i * 31 + index) & 0xFF));
        }
        jpeg += "\xFF\xD9";
        c.picture = pst::messaging::ContactPicture{jpeg, "ContactPicture.jpg"};
    }
    return c;
}

} // namespace plumbrae::testing
