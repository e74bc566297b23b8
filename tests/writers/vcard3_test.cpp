// The vCard 3.0 cards of ZimbraContacts.vcf, one row per case with the whole card expected, and
// the UIDs they carry: derived from the item, so the same in every run and kept by a contact
// whose values change.

#include "core/contact_file_reader.h"
#include "core/contact_uid.h"
#include "support/name_uuid.h"
#include "writers/vcard3_text.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace plumbrae::testing {
namespace {

using core::ContactRecord;

struct CardCase {
    const char* name;
    std::function<void(ContactRecord&)> fill;
    /// The lines between "VERSION:3.0" and "UID:u", each ending in CR LF.
    std::string lines;
};

void PrintTo(const CardCase& card, std::ostream* out) { // NOLINT(readability-identifier-naming)
    *out << card.name;
}

class VCard3Cards : public ::testing::TestWithParam<CardCase> {};

TEST_P(VCard3Cards, AreWrittenWhole) {
    ContactRecord record;
    GetParam().fill(record);
    std::string card;
    writers::appendVCard3(card, record, "u");
    EXPECT_EQ(card, "BEGIN:VCARD\r\nVERSION:3.0\r\n" + GetParam().lines + "UID:u\r\nEND:VCARD\r\n");
}

const std::string A69(69, 'a');

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, VCard3Cards, ::testing::Values(
    CardCase{"Empty", [](ContactRecord&) {}, "N:;;;;\r\nFN:\r\n"},
    CardCase{"Escapes", [](ContactRecord& r) {
        r.LastName = "Lee; Sons"; r.FirstName = "a,b"; r.Suffix = "c\\d"; r.FullName = "x;y,z\\";
        r.Company = "Acme; Co"; r.Department = "R&D, Labs"; r.Nickname = "Zo, Z"; },
     "N:Lee\\; Sons;a\\,b;;;c\\\\d\r\nFN:x\\;y\\,z\\\\\r\nNICKNAME:Zo\\, Z\r\n"
     "ORG:Acme\\; Co;R&D\\, Labs\r\n"},
    CardCase{"LineBreaksInEveryKind", [](ContactRecord& r) {
        r.Comments = "one\r\ntwo\rthree\nfour"; r.JobTitle = "a\nb"; r.Company = "c\r\nd";
        r.PersonalStreet = "1 Road\nFlat 2"; r.PersonalCity = "Bern"; r.Email = "e\n"; },
     "N:;;;;\r\nFN:\r\nORG:c\\nd\r\nTITLE:a\\nb\r\n"
     "ADR;TYPE=HOME:;;1 Road\\nFlat 2;Bern;;;\r\nLABEL;TYPE=HOME:1 Road\\nFlat 2\\nBern\r\n"
     "EMAIL;TYPE=INTERNET,PREF:e\\n\r\nNOTE:one\\ntwo\\nthree\\nfour\r\n"},
    CardCase{"FoldsAt75Bytes", [](ContactRecord& r) { r.Comments = A69 + "bcdefgh"; },
     "N:;;;;\r\nFN:\r\nNOTE:" + A69 + "b\r\n cdefgh\r\n"},
    CardCase{"FoldKeepsCharactersWhole", [](ContactRecord& r) {
        r.Comments = A69 + "\xC3\xA9" + std::string(70, 'a') + "\xF0\x9F\x90\xBC"; },
     "N:;;;;\r\nFN:\r\nNOTE:" + A69 + "\r\n \xC3\xA9" + std::string(70, 'a') +
         "\r\n \xF0\x9F\x90\xBC\r\n"},
    CardCase{"FoldKeepsEscapesWhole", [](ContactRecord& r) { r.Comments = A69 + ";"; },
     "N:;;;;\r\nFN:\r\nNOTE:" + A69 + "\r\n \\;\r\n"},
    CardCase{"StrayBytesAreWindows1252", [](ContactRecord& r) { r.FullName = "\x80 caf\xE9"; },
     "N:;;;;\r\nFN:\xE2\x82\xAC caf\xC3\xA9\r\n"},
    CardCase{"EveryKindOfNumberAddressAndAddress", [](ContactRecord& r) {
        r.OfficePhone = "1"; r.OfficePhone2 = "2"; r.HomePhone = "3"; r.HomePhone2 = "4";
        r.CellPhone = "5"; r.CellPhone2 = "6"; r.Pager = "7"; r.OfficeFax = "8"; r.HomeFax = "9";
        r.CarPhone = "10"; r.CompanyPhone = "11"; r.OtherPhone = "12"; r.Location = "Room 1";
        r.BusinessCity = "Zug"; r.BusinessZip = "6300"; r.OtherState = "GE"; r.OtherCountry = "CH";
        r.WebPage = "a.example"; r.Email = "a@x"; r.Email2 = "b@x"; r.Email3 = "c@x";
        r.OtherEmail1 = "d@x"; r.OtherEmail2 = "e@x"; r.OtherEmail3 = "f@x"; },
     "N:;;;;\r\nFN:\r\nTEL;TYPE=WORK,VOICE:1\r\nTEL;TYPE=WORK,VOICE:2\r\nTEL;TYPE=HOME,VOICE:3\r\n"
     "TEL;TYPE=HOME,VOICE:4\r\nTEL;TYPE=CELL,VOICE:5\r\nTEL;TYPE=CELL,VOICE:6\r\n"
     "TEL;TYPE=PAGER,VOICE:7\r\nTEL;TYPE=WORK,FAX:8\r\nTEL;TYPE=HOME,FAX:9\r\n"
     "TEL;TYPE=CAR,VOICE:10\r\nTEL;TYPE=WORK:11\r\nTEL;TYPE=VOICE:12\r\n"
     "ADR;TYPE=WORK:;Room 1;;Zug;;6300;\r\nLABEL;TYPE=WORK:Zug 6300\r\n"
     "ADR;TYPE=POSTAL:;;;;GE;;CH\r\nLABEL;TYPE=POSTAL:GE\\nCH\r\n"
     "URL;TYPE=HOME:a.example\r\nURL;TYPE=WORK:a.example\r\nEMAIL;TYPE=INTERNET,PREF:a@x\r\n"
     "EMAIL;TYPE=INTERNET:b@x\r\nEMAIL;TYPE=INTERNET:c@x\r\nEMAIL;TYPE=INTERNET:d@x\r\n"
     "EMAIL;TYPE=INTERNET:e@x\r\nEMAIL;TYPE=INTERNET:f@x\r\n"},
    CardCase{"DatesInstantMessagingAndWorkPage", [](ContactRecord& r) {
        r.Birthday = "1984-03-17"; r.Anniversary = "2010-06-02"; r.WorkWebPage = "w.example";
        r.IMAddress = "xmpp://ann@j.example"; r.IMAddress2 = "other://a"; r.IMAddress3 = "aol://b"; },
     "N:;;;;\r\nFN:\r\nURL;TYPE=WORK:w.example\r\nX-JABBER:ann@j.example\r\nX-IM:other://a\r\n"
     "X-AIM:b\r\nBDAY:1984-03-17\r\nX-ANNIVERSARY:2010-06-02\r\n"
     "X-EVOLUTION-ANNIVERSARY:2010-06-02\r\n"},
    CardCase{"DatesWithoutAYearAndServicesWithoutAnAddress", [](ContactRecord& r) {
        r.Birthday = "--05-01"; r.Anniversary = "--06-02"; r.IMAddress = "xmpp:// "; },
     "N:;;;;\r\nFN:\r\nBDAY:--05-01\r\nX-ANNIVERSARY:--06-02\r\n"}));
// clang-format on

TEST(VCard3Group, IsAListCardWithEveryMember) {
    const core::ContactGroup group{"Club; Nord",
                                   {{"Lee, Ann", "ann@example.org"},
                                    {"", "bob@example.org"},
                                    {"Zo\xEB \"Z\"\r\nX", "zoe@example.org"}}};
    std::string card;
    writers::appendVCard3Group(card, group, "g");
    EXPECT_EQ(card,
              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Club\\; Nord;;;;\r\nFN:Club\\; Nord\r\n"
              "X-EVOLUTION-LIST:TRUE\r\n"
              "EMAIL;TYPE=INTERNET;X-EVOLUTION-DEST-NAME=\"Lee, Ann\":ann@example.org\r\n"
              "EMAIL;TYPE=INTERNET:bob@example.org\r\n"
              "EMAIL;TYPE=INTERNET;X-EVOLUTION-DEST-NAME=Zo\xC3\xAB 'Z'  X:zoe@example.org\r\n"
              "UID:g\r\nEND:VCARD\r\n");
}

TEST(NameBasedUuid, MatchesTheStandardsVectorsAcrossBlockBoundaries) {
    constexpr support::Uuid Dns = {0x6B, 0xA7, 0xB8, 0x10, 0x9D, 0xAD, 0x11, 0xD1,
                                   0x80, 0xB4, 0x00, 0xC0, 0x4F, 0xD4, 0x30, 0xC8};
    EXPECT_EQ(support::nameBasedUuid(Dns, {"python.org"}), "886313e1-3b8a-5372-9b90-0c9aee199e5d");
    EXPECT_EQ(support::nameBasedUuid(Dns, {std::string(40, 'a')}),
              "39f39c20-db47-5131-8879-62f8f67f9014");
    EXPECT_EQ(support::nameBasedUuid(Dns, {std::string(48, 'a')}),
              "7280cc42-274a-5c4a-91fc-ae23f853eeb7");
    EXPECT_EQ(support::nameBasedUuid(Dns, {std::string(60, 'a'), std::string(59, 'a')}),
              "c2d76e75-c9a5-545c-8a4d-bd9fb0bf3974");
}

std::string uidOf(const std::string& path, const std::string& bytes) {
    ContactRecord record;
    return core::ReadContactBytes(bytes, path, record).uid;
}

TEST(ContactUid, IsTheItemsInEveryRunAndSurvivesChangedValues) {
    const std::string ann = "d3:fldd9:firstName3:Ann8:lastName3:Leee";
    const std::string changed = "d3:fldd9:firstName3:Ann8:lastName3:Lime";
    const std::string json = R"({"id":257,"type":6,"metadata":"d3:fldd9:firstName3:Annee"})";
    const std::string own = "d3:fldd9:firstName3:Ann8:vcardUID7: own-1 e";
    const std::string byId = uidOf("/x/acct/Contacts/257.meta", ann);
    const std::string byContent = uidOf("/x/acct/Contacts/ann.meta", ann);
    // The same in every run.
    EXPECT_EQ(uidOf("/x/acct/Contacts/257.meta", ann), byId);
    EXPECT_EQ(uidOf("/x/acct/Contacts/ann.meta", ann), byContent);
    // An item id keeps the UID when the values change, also where the export is kept.
    EXPECT_EQ(uidOf("/x/acct/Contacts/257.meta", changed), byId);
    EXPECT_EQ(uidOf("/elsewhere/acct/Contacts/257-Ann Lee.meta", changed), byId);
    EXPECT_EQ(uidOf("/x/acct/Contacts/item.meta", json), byId);
    // Another account or item is another contact; without an id the content decides.
    EXPECT_NE(uidOf("/x/other/Contacts/257.meta", ann), byId);
    EXPECT_NE(uidOf("/x/acct/Contacts/258.meta", ann), byId);
    EXPECT_NE(uidOf("/x/acct/Contacts/ann.meta", changed), byContent);
    EXPECT_NE(byId, byContent);
    EXPECT_EQ(uidOf("/x/acct/Contacts/257.meta", own), "own-1");
    EXPECT_NE(core::repeatedUid("own-1", 2), core::repeatedUid("own-1", 3));
}

} // namespace
} // namespace plumbrae::testing
