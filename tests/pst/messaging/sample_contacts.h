#pragma once

#include "pst/messaging/pst_file.h"

#include <cstddef>
#include <numeric>
#include <string>
#include <utility>

namespace plumbrae::testing {

/// Contact number `index` of a reproducible sample: every field filled, texts in several
/// scripts (including characters outside the Basic Multilingual Plane); every 7th contact has
/// a body longer than one block, every 5th a picture.
inline pst::messaging::Contact sampleContact(std::size_t index) {
    const auto n = std::to_string(index);
    pst::messaging::Contact c;
    c.givenName = "Given" + n;
    c.middleName = "M";
    c.surname = "Sürname \xF0\x9F\x98\x80" + n; // U+1F600 needs a surrogate pair
    c.displayName = c.givenName + " M " + c.surname;
    int k = 0;
    for (auto* text : {&c.businessTelephone, &c.businessFax, &c.homeTelephone, &c.homeFax,
                       &c.mobileTelephone, &c.pager, &c.carTelephone}) {
        *text = "+1 555 010" + std::to_string(k++) + " " + n;
    }
    for (auto* text : {&c.jobTitle, &c.companyName, &c.department, &c.officeLocation, &c.profession,
                       &c.managerName, &c.assistantName, &c.spouse}) {
        *text = "Role Ωμέγα " + std::to_string(k++) + " " + n;
    }
    c.workAddress = index % 3 == 1 ? n + " Work Street\nfloor 2" : "";
    c.workStreet = n + " Work Street";
    c.homeStreet = n + " Home Road";
    c.homeCity = "Hometown 東京";
    c.homePostalCode = "20" + n;
    c.workPostalCode = "10" + n;
    std::tie(c.workCity, c.workState, c.workCountry, c.homeState, c.homeCountry) =
        std::tuple("Worktown", "WS", "Workland", "HS", "Homeland");
    c.email1 = "contact" + n + "@example.org";
    c.email2 = "second" + n + "@example.org";
    c.email3 = index % 2 == 0 ? "third" + n + "@example.org" : "";
    c.businessHomePage = c.webPage = "https://example.org/" + n;
    c.imAddress = "im" + n + "@example.org  ";
    c.categories = "Friends, Work";
    c.displayNamePrefix = "Dr.";
    c.generation = "Jr.";
    c.body = "Notes for contact " + n + "\nsecond line";
    for (int i = 0; index % 7 == 3 && i < 600; ++i) {
        c.body += "\nA long body line that makes the value pass one block " + std::to_string(i);
    }
    if (index % 5 == 4) { // past one block, every byte value in it
        std::string jpeg(9000 + index, '\0');
        std::iota(jpeg.begin(), jpeg.end(), static_cast<char>(index));
        c.picture = pst::messaging::ContactPicture{"\xFF\xD8\xFF\xE0" + jpeg + "\xFF\xD9",
                                                   "ContactPicture.jpg"};
    }
    return c;
}

} // namespace plumbrae::testing
