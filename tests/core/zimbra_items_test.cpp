#include "core/contact_file_reader.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace plumbrae::core {
namespace {

std::string bencoded(std::string_view text) {
    return std::to_string(text.size()) + ":" + std::string(text);
}

/// A contact file's metadata line holding the given keys and values in turn.
std::string metaLine(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string line = "d3:fldd";
    for (const auto& [key, value] : pairs) {
        line += bencoded(key) + bencoded(value);
    }
    return line + "e1:vi10ee";
}

ReadOutcome read(const std::string& bytes, ContactRecord& record) {
    return ReadContactBytes(bytes, "test.meta", record);
}

TEST(ZimbraKeys, KeysAreTakenAsReadOnceAndOtherKeysFillNothing) {
    ContactRecord record;
    read(metaLine({{"fileAs", "1"},
                   {"vcardUID", "u"},
                   {"Email", "x"},
                   {"workPhone", " 1 é:🍣 "},
                   {"workPhone", "later"},
                   {"homeStreet2", "Second 2"}}),
         record);
    ContactRecord expected;
    expected.OfficePhone = " 1 é:🍣 ";
    expected.OtherStreet = "Second 2"; // a second home address is the other address
    expected.FullName = " ";
    EXPECT_EQ(record, expected);
}

TEST(ZimbraKeys, SecondHomeAddressOnlyWhenThereIsNoOtherAddress) {
    ContactRecord record;
    read(metaLine({{"homeCity2", "Bern"}, {"otherCity", "Genf"}, {"homeStreet2", "Weg 1"}}),
         record);
    EXPECT_EQ(record.OtherCity, "Genf");
    EXPECT_EQ(record.OtherStreet, "");
}

struct NameCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string fullName;
};

class FullNameFallback : public ::testing::TestWithParam<NameCase> {};

TEST_P(FullNameFallback, JoinsTheNamesOrTakesTheFullNameWhenBothAreEmpty) {
    ContactRecord record;
    read(metaLine(GetParam().pairs), record);
    EXPECT_EQ(record.FullName, GetParam().fullName);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FullNameFallback,
    ::testing::Values(
        NameCase{"Names", {{"firstName", "Ann"}, {"fullName", "X"}}, "Ann "},
        NameCase{"LastOnly", {{"lastName", "Lee"}, {"fullName", "X"}}, " Lee"},
        NameCase{"FullOnly", {{"fullName", " Acme Hotline "}}, " Acme Hotline "},
        NameCase{"EmptyNames", {{"firstName", ""}, {"lastName", ""}, {"fullName", "李华"}}, "李华"},
        NameCase{"EmptyFull", {{"fullName", ""}}, " "},
        NameCase{"Neither", {{"company", "Acme"}}, " "}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ZimbraKeys, HttpLeavesTheHomeAddressOnlyAtItsStart) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"http://a.example/go?to=http://b.example", "a.example/go?to=http://b.example"},
        {"  HTTP://Example.com ", "Example.com"},
        {"Http://x", "x"},
        {"https://a.b", "https://a.b"},
        {"www.example.com/http://", "www.example.com/http://"},
        {"http:/", "http:/"},
    };
    for (const auto& [value, expected] : cases) {
        ContactRecord record;
        read(metaLine({{"homeURL", value}, {"workURL", value}}), record);
        EXPECT_EQ(record.WebPage, expected) << value;
        EXPECT_EQ(record.WorkWebPage, value) << "the work address is kept as read";
    }
}

struct KindCase {
    const char* name;
    std::string bytes;
    ItemKind kind;
    std::string groupName;
};

class ItemKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(ItemKinds, TellsContactsFromGroupsAndOtherItems) {
    ContactRecord record;
    const auto outcome = read(GetParam().bytes, record);
    EXPECT_EQ(outcome.kind, GetParam().kind);
    EXPECT_EQ(outcome.groupName, GetParam().groupName);
    if (outcome.kind != ItemKind::Contact) {
        EXPECT_EQ(record, ContactRecord()) << "nothing of another item reaches the record";
    }
}

// Shapes of the files an export holds beside its contacts: the JSON item data of each item
// (type 1 a folder, 5 a message, 6 a contact) and the metadata of a folder or a message.
INSTANTIATE_TEST_SUITE_P(
    Cases, ItemKinds,
    ::testing::Values(
        KindCase{
            "JsonContact",
            R"({"id":257,"type":6,"parent_id":7,"folder_id":7,"metadata":"d3:fldd8:lastName3:Leee1:vi10ee","Path":"/Contacts/Lee","Ver":10})",
            ItemKind::Contact, ""},
        KindCase{
            "JsonFolder",
            R"({"id":7,"type":1,"parent_id":1,"folder_id":1,"name":"Contacts","metadata":"d1:vi10e2:vti10ee","Path":"/Contacts","Ver":10})",
            ItemKind::NotContact, ""},
        KindCase{"JsonMessageWithoutMetadata",
                 R"({"id":300,"type":5,"folder_id":2,"subject":"Hello","Path":"/Inbox","Ver":10})",
                 ItemKind::NotContact, ""},
        KindCase{"JsonMessageWithFieldsOfItsOwn",
                 R"({"id":301,"type":5,"metadata":"d3:fldd8:lastName3:Leee1:vi10ee"})",
                 ItemKind::NotContact, ""},
        KindCase{"FolderMetadata", "Zimbra-Id: 7\r\nd1:vi10e2:vt7:contact3:i4ni258e4:mseqi1ee\r\n",
                 ItemKind::NotContact, ""},
        KindCase{"MessageMetadata", "d1:vi10e2:fr13:Hello, world!1:sl3:ann3:bobee",
                 ItemKind::NotContact, ""},
        KindCase{"GroupByNickname",
                 "d3:fldd5:dlist22:ann@example, bob@x.org6:fileAs8:8:Family8:nickname6:"
                 "Family4:type5:groupe1:vi10ee",
                 ItemKind::ContactGroup, "Family"},
        KindCase{"GroupByFileAs", "d3:fldd6:fileAs6:8:Team4:type5:groupee", ItemKind::ContactGroup,
                 "Team"},
        KindCase{"PersonTypedContact", "d3:fldd8:lastName3:Lee4:type7:contactee", ItemKind::Contact,
                 ""}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ItemKinds, DamagedFilesStillFail) {
    for (const std::string bytes :
         {"", "hello\r\nworld", "d3:fldd8:lastName9:Lee", "d1:vi10ex",
          R"({"id":1,"type":6,"metadata":"d1:vi10e"})", R"({"type":"1"})"}) {
        ContactRecord record;
        EXPECT_THROW(read(bytes, record), ContactFileError) << bytes;
    }
}

} // namespace
} // namespace plumbrae::core

namespace plumbrae::core {
namespace {

TEST(FullDate, TakesRealDaysFromTheFirstYearDatePropertiesHold) {
    EXPECT_EQ(fullDate("1601-01-01"), (CalendarDate{1601, 1, 1}));
    EXPECT_EQ(fullDate("2000-02-29"), (CalendarDate{2000, 2, 29}));
    EXPECT_EQ(fullDate("2023-12-31"), (CalendarDate{2023, 12, 31}));
    for (const auto* text : {"1600-12-31", "1900-02-29", "2023-04-31", "2023-13-01", "2023-00-10",
                             "2023-01-00", "--05-01", "2023-1-01", "2023/01/01"}) {
        EXPECT_EQ(fullDate(text), std::nullopt) << text;
    }
}

} // namespace
} // namespace plumbrae::core
