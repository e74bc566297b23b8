#include "core/contact_file_reader.h"
#include "core/field_dictionary_p.h"
#include "tests/support/print_case.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace plumbrae::core {
namespace {

using plumbrae::testing::PrintTo;
using R = ContactRecord;
using Pairs = std::vector<std::pair<std::string, std::string>>;

ReadOutcome read(const std::string& bytes, ContactRecord& record) {
    return ReadContactBytes(bytes, "test.meta", record);
}

std::string failure(const std::string& bytes) {
    try {
        ContactRecord record;
        read(bytes, record);
    } catch (const ContactFileError& error) {
        return error.reason();
    }
    return "(no failure)";
}

/// A contact file's metadata line holding the given keys and values in turn.
std::string meta(const Pairs& pairs) {
    std::string line = "d3:fldd";
    for (const auto& [key, value] : pairs) {
        line += std::to_string(key.size()) + ":" + key + std::to_string(value.size()) + ":" + value;
    }
    return line + "e1:vi10ee";
}

std::string json(const std::string& metadata) {
    return "{\"metadata\":\"" + metadata + "\"}";
}

struct ValueCase {
    const char* name;
    std::string bytes;
    std::string ContactRecord::*field;
    std::string expected;
};

class ReaderValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ReaderValues, StoresTheWholeValue) {
    ContactRecord record;
    read(GetParam().bytes, record);
    EXPECT_EQ(record.*GetParam().field, GetParam().expected);
}

// Values the old positional reading damaged (colons, keys inside values, look-alike keys,
// lengths in UTF-16 units), line ends, escaped JSON exports, and the keys read with a rule.
const ValueCase ValueCases[] = {
    {"KeyInsideValue", "d3:fldd5:notes14:x:5:email3:abce", &R::Comments, "x:5:email3:abc"},
    {"Email2IsNotEmail", "d3:fldd6:email24:a@b.e", &R::Email, ""},
    {"EmailAfterEmail2", "d3:fldd5:email3:x@y6:email23:a@be", &R::Email, "x@y"},
    {"Utf16Units", "d3:fldd8:lastName6:Müllere", &R::LastName, "Müller"},
    {"Utf8Bytes", "d3:fldd8:lastName7:Müllere", &R::LastName, "Müller"},
    {"EmojiTwoUnits", "d3:fldd5:notes6:Hi 🍣!e", &R::Comments, "Hi 🍣!"},
    {"InvalidByteOneUnit", "d3:fldd7:company3:A\xE9Ze", &R::Company, "A\xE9Z"},
    {"SkipsNested", "d3:fldd4:tagsl3:onei7ed1:ai1eee7:company1:Xe", &R::Company, "X"},
    {"PhotoLateMarker", "d3:attd2:ct10:image/jpeg2:id1:1e3:fldd9:firstName3:Anne2:mdi5ee",
     &R::FirstName, "Ann"},
    {"IntegerAsText", "d3:fldd11:mobilePhonei5550100ee", &R::CellPhone, "5550100"},
    // Counted in UTF-16 units the note swallows the field dictionary's end and only that
    // dictionary parses; counted in bytes all of the metadata does. Bytes win.
    {"WholeMetadataWins", "d3:fldd5:notes3:é1e1:xi1ee", &R::Comments, "é1"},
    {"FullNameUntrimmed", "d3:fldd9:firstName4:Ann 8:lastName4: Leee", &R::FullName, "Ann   Lee"},
    // CR and CR LF end lines, a line feed alone does not; a value holding a CR splits the
    // metadata over two lines.
    {"LastLineCr", "d3:fldd8:lastName3:Olde\rd3:fldd8:lastName3:Newe", &R::LastName, "New"},
    {"LastLineCrLf", "d3:fldd8:lastName3:Olde\r\nd3:fldd8:lastName3:Newe\r\n", &R::LastName, "New"},
    {"TrailingLineFeeds", "x\r\nd3:fldd8:lastName3:Newe\n\n", &R::LastName, "New"},
    {"LineFeedEndsNoLine", "d3:fldd8:lastName3:Olde\nd3:fldd8:lastName3:Newe", &R::LastName, "Old"},
    {"CrInValue", "head\r\nd3:fldd5:notes3:a\rb8:lastName1:Xe\r\n", &R::Comments, "a\rb"},
    {"CrLfInValue", "head\r\nd3:fldd5:notes4:a\r\nb8:lastName1:Xe", &R::LastName, "X"},
    {"TwoLineEndsAtEnd", "d3:fldd8:lastName1:Xe\r\n\r\n", &R::LastName, "X"},
    // An export's item data with the metadata as an escaped JSON string; the lengths hold once
    // the escapes are decoded.
    {"JsonExport",
     R"(  {"id": 7, "metadata": "d3:fldd5:notes9:a \"b\"\nc:d7:company5:Ann\u2019s9:firstName2:\ud83c\udf63ee"})"
     "\n",
     &R::Comments, "a \"b\"\nc:d"},
    {"JsonLastMetadataWins",
     R"({"metadata":"d3:fldd8:lastName1:Ae","metadata":"d3:fldd8:lastName1:Be"})", &R::LastName,
     "B"},
    {"JsonShortEscapes", json("d3:fldd5:notes3:\\t\\/\\\\e"), &R::Comments, "\t/\\"},
    // A lone surrogate becomes U+FFFD; the pair's ends: U+1F000 is D83C DC00, E000 after a
    // high surrogate is no low one; bytes that are not UTF-8 stay as they are.
    {"LoneHigh", json("d3:fldd5:notes1:\\ud800e"), &R::Comments, "\xEF\xBF\xBD"},
    {"LoneLow", json("d3:fldd5:notes1:\\udc00e"), &R::Comments, "\xEF\xBF\xBD"},
    {"LowestPair", json("d3:fldd5:notes2:\\ud83c\\udc00e"), &R::Comments, "\U0001F000"},
    {"HighestPair", json("d3:fldd5:notes2:\\udbff\\udfffe"), &R::Comments, "\U0010FFFF"},
    {"NoLowSurrogate", json("d3:fldd5:notes2:\\ud83c\\ue000e"), &R::Comments, "\xEF\xBF\xBD\uE000"},
    {"HexDigitsInAnyCase", json("d3:fldd5:notes1:\\u00aFe"), &R::Comments, "\u00AF"},
    {"NotHexInASurrogate", json("d3:fldd5:notes6:\\uD8G0e"), &R::Comments, "\\uD8G0"},
    {"NotHexNotJson", json("d3:fldd5:notes6:\\u00zze"), &R::Comments, "\\u00zz"},
    {"JsonRawBytes", json("d3:fldd7:company3:A\xE9Ze"), &R::Company, "A\xE9Z"},
    // Not JSON (a byte-order mark, junk after the object): read by the last line.
    {"ByteOrderMark", "\xEF\xBB\xBF" + json("d3:fldd5:notes4:a\\nbe"), &R::Comments, "a\\nb"},
    {"JunkAfterJson", json("x") + " d3:fldd8:lastName1:Ae", &R::LastName, "A"},
    // A second home address is the other address, unless there is one.
    {"SecondHome", meta({{"homeStreet2", "Weg 1"}}), &R::OtherStreet, "Weg 1"},
    {"OtherBeforeSecondHome", meta({{"homeCity2", "B"}, {"otherCity", "G"}, {"homeStreet2", "W"}}),
     &R::OtherStreet, ""},
    // The full name joins the names, or is the one read when both are empty.
    {"Names", meta({{"firstName", "Ann"}, {"fullName", "X"}}), &R::FullName, "Ann "},
    {"LastOnly", meta({{"lastName", "Lee"}, {"fullName", "X"}}), &R::FullName, " Lee"},
    {"FullOnly", meta({{"fullName", " Acme "}}), &R::FullName, " Acme "},
    {"EmptyNames", meta({{"firstName", ""}, {"lastName", ""}, {"fullName", "李华"}}), &R::FullName,
     "李华"},
    {"EmptyFull", meta({{"fullName", ""}}), &R::FullName, " "},
    {"NoNames", meta({{"company", "Acme"}}), &R::FullName, " "},
    // "http://" leaves the home address only at its start; the work address stays as read.
    {"HttpOnce", meta({{"homeURL", "http://a.example/go?to=http://b"}}), &R::WebPage,
     "a.example/go?to=http://b"},
    {"HttpAnyCase", meta({{"homeURL", "  HTTP://Example.com "}}), &R::WebPage, "Example.com"},
    {"HttpsKept", meta({{"homeURL", "https://a.b"}}), &R::WebPage, "https://a.b"},
    {"HttpLater", meta({{"homeURL", "www.x/http://"}}), &R::WebPage, "www.x/http://"},
    {"HttpOnly", meta({{"homeURL", "http://"}}), &R::WebPage, ""},
    {"WorkUrlKept", meta({{"workURL", "Http://x"}}), &R::WorkWebPage, "Http://x"},
    // A field with several values: the first is its value, the others take the next free
    // places of their kind, and what finds none is joined to the value.
    {"ArrayFirst", meta({{"email", R"(["a@x", "b@x"])"}}), &R::Email, "a@x"},
    {"ArraySecond", meta({{"email", R"(["a@x","b@x"])"}}), &R::Email2, "b@x"},
    {"ArrayNextFree", meta({{"email", R"(["a","b","c"])"}, {"email2", "own"}}), &R::Email3, "b"},
    {"ArrayOverflow", meta({{"email", R"(["a","b","c"])"}, {"email2", "own"}}), &R::Email, "a, c"},
    {"ArrayLaterKey", meta({{"email2", R"(["a","b","c"])"}}), &R::Email2, "a, c"},
    {"ArrayPhone", meta({{"homePhone", R"(["1","2"])"}, {"homePhone2", ""}}), &R::HomePhone2, "2"},
    {"ArrayIm", meta({{"imAddress1", R"(["xmpp://a","aim://b"])"}}), &R::IMAddress2, "aim://b"},
    {"ArrayJoined", meta({{"company", " [\"A\" , \"B\"] "}}), &R::Company, "A, B"},
    {"ArrayEscapes", meta({{"notes", R"(["a\"b\u00e9\n"])"}}), &R::Comments, "a\"b\u00e9\n"},
    {"ArrayNames", meta({{"firstName", R"(["Ann","Anna"])"}, {"lastName", "Lee"}}), &R::FullName,
     "Ann, Anna Lee"},
    // A value that only looks like one stays as read.
    {"NotArrayText", meta({{"notes", "[draft] call"}}), &R::Comments, "[draft] call"},
    {"NotArrayTrailing", meta({{"notes", R"(["a"] x)"}}), &R::Comments, R"(["a"] x)"},
    {"NotArrayEmpty", meta({{"notes", "[]"}}), &R::Comments, "[]"},
    {"NotArrayNumbers", meta({{"notes", "[1,2]"}}), &R::Comments, "[1,2]"},
    {"NotArrayBadEscape", meta({{"notes", R"(["a\x"])"}}), &R::Comments, R"(["a\x"])"},
    // Older versions hold the fields at the top of the metadata dictionary.
    {"OldFormat", "d5:email15:ann@example.com9:firstName3:Ann8:lastName3:Leee", &R::FullName,
     "Ann Lee"},
    {"OldFormatJson", json("d5:email3:a@b8:lastName6:Müller1:vi9ee"), &R::LastName, "Müller"}};

INSTANTIATE_TEST_SUITE_P(Cases, ReaderValues, ::testing::ValuesIn(ValueCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ContactFileReader, KeysAreTakenAsReadOnceAndOtherKeysFillNothing) {
    ContactRecord record;
    // clang-format off
    read(meta({{"fileAs", "1"}, {"vcardUID", "u"}, {"Email", "x"}, {"workPhone", " 1 é:🍣 "},
               {"workPhone", "later"}}), record);
    // clang-format on
    ContactRecord expected;
    expected.OfficePhone = " 1 é:🍣 ";
    expected.FullName = " ";
    EXPECT_EQ(record, expected);
}

// A length that splits a character in two is damage, not a shorter value.
TEST(ContactFileReader, ReportsDamagedAndMissingData) {
    for (const std::string bytes :
         {"", "hello\r\nworld", "{\"metadata\": 5}", "d1:vi10ex",
          R"({"id":1,"type":6,"metadata":"d1:vi10e"})", R"({"type":"1"})"}) {
        EXPECT_EQ(failure(bytes), "no contact fields (the file holds no contact metadata)")
            << bytes;
    }
    EXPECT_EQ(failure("d3:fldd"), "damaged contact data at byte 7 of the contact metadata");
    EXPECT_EQ(failure("d3:fldd8:lastName9:Lee"),
              "damaged contact data at byte 17 of the contact metadata");
    for (const auto& bytes :
         std::vector<std::string>{"d3:fldd8:lastNamex3:Leee", "d3:fldd5:notes1:🍣e",
                                  "d3:fldd" + std::string(100000, 'l')}) {
        EXPECT_EQ(failure(bytes).substr(0, 13), "damaged conta") << bytes;
    }
}

// The files an export holds beside its contacts: the JSON item data of each item (type 1 a
// folder, 5 a message, 6 a contact) and the metadata of a folder or a message; nothing of another
// item reaches the record.
TEST(ContactFileReader, TellsContactsFromGroupsAndOtherItems) {
    using enum ItemKind;
    const std::tuple<std::string, ItemKind, std::string> cases[] = {
        {R"({"type":6,"metadata":"d3:fldd8:lastName3:Leee1:vi10ee","Path":"/C/Lee"})", Contact, ""},
        {R"({"type":1,"name":"Contacts","metadata":"d1:vi10e2:vti10ee"})", NotContact, ""},
        {R"({"id":300,"type":5,"subject":"Hi","Path":"/Inbox"})", NotContact, ""},
        {R"({"type":5,"metadata":"d3:fldd8:lastName3:Leee"})", NotContact, ""},
        {"Zimbra-Id: 7\r\nd1:vi10e2:vt7:contact3:i4ni258e4:mseqi1ee\r\n", NotContact, ""},
        {"d1:vi10e2:fr13:Hello, world!1:sl3:ann3:bobee", NotContact, ""},
        {"d3:fldd5:dlist3:a@b6:fileAs8:8:Family8:nickname6:Family4:type5:groupe1:vi10ee",
         ContactGroup, "Family"},
        {"d3:fldd6:fileAs6:8:Team4:type5:groupee", ContactGroup, "Team"},
        {"d3:fldd8:lastName3:Lee4:type7:contactee", Contact, ""},
        {"d4:type7:contact6:fileAs1:11:vi10ee", NotContact, ""},
        {"d5:dlist3:a@b8:nickname4:Team4:type5:groupe", ContactGroup, "Team"}};
    for (const auto& [bytes, kind, groupName] : cases) {
        ContactRecord record;
        const auto outcome = read(bytes, record);
        EXPECT_EQ(outcome.kind, kind) << bytes;
        EXPECT_EQ(outcome.group.name, groupName) << bytes;
        EXPECT_TRUE(kind == Contact || record == ContactRecord()) << bytes;
    }
}

// A group's members come from its member list, in order; a group without one has none.
TEST(ContactFileReader, ReadsAGroupsMembers) {
    ContactRecord record;
    auto outcome = read(meta({{"type", "group"},
                              {"dlist", " \"Lee, Ann\" <ann@example.org>, bob@example.org "},
                              {"fullName", "Club"}}),
                        record);
    EXPECT_EQ(outcome.group,
              (ContactGroup{"Club", {{"Lee, Ann", "ann@example.org"}, {"", "bob@example.org"}}}));
    outcome = read(meta({{"type", "group"}, {"nickname", " Empty "}}), record);
    EXPECT_EQ(outcome.group, (ContactGroup{"Empty", {}}));
}

struct MemberCase {
    const char* name;
    std::string dlist;
    std::vector<GroupMember> members;
};

class GroupMembers : public ::testing::TestWithParam<MemberCase> {};

TEST_P(GroupMembers, AreSplitIntoNamesAndAddresses) {
    EXPECT_EQ(parseGroupMembers(GetParam().dlist), GetParam().members);
}

const MemberCase MemberCases[] = {
    {"Bare", "ann@example.org", {{"", "ann@example.org"}}},
    {"NameAndAddress", "Ann Lee <ann@example.org>", {{"Ann Lee", "ann@example.org"}}},
    {"CommaInQuotes", R"("Lee, Ann" <a@x>,b@x)", {{"Lee, Ann", "a@x"}, {"", "b@x"}}},
    {"EscapedQuote", R"("Ann \"Nan\", Lee" <a@x>)", {{R"(Ann "Nan", Lee)", "a@x"}}},
    {"QuotesInsideAName", R"(Ann "Nan" Lee <a@x>)", {{R"(Ann "Nan" Lee)", "a@x"}}},
    {"AngleInQuotes", R"("a <b>" <c@x>)", {{"a <b>", "c@x"}}},
    {"NoName", " <a@x> ", {{"", "a@x"}}},
    {"Spaces", " \t a@x ,  Ann   < b@x > ", {{"", "a@x"}, {"Ann", "b@x"}}},
    {"EmptyMembers", ",, a@x ,,\t, ,", {{"", "a@x"}}},
    {"Empty", "", {}},
    {"NoAt", "Ann Lee, ann, Bob <bob>", {{"", "Ann Lee"}, {"", "ann"}, {"Bob", "bob"}}},
    {"UnclosedQuote", R"("Lee, Ann <a@x>, b@x)", {{"", "\"Lee"}, {"Ann", "a@x"}, {"", "b@x"}}},
    {"UnclosedAngle", "Ann <a@x, b@x", {{"", "Ann <a@x"}, {"", "b@x"}}},
    {"NonAscii",
     "李华 <li@example.cn>, \"Müller, Zoë 🐼\" <z@x>",
     {{"李华", "li@example.cn"}, {"Müller, Zoë 🐼", "z@x"}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, GroupMembers, ::testing::ValuesIn(MemberCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(GroupMembers, KeepsAThousandInOrder) {
    std::string dlist;
    for (int i = 0; i < 1000; ++i) {
        dlist += "\"M" + std::to_string(i) + ", X\" <m" + std::to_string(i) + "@x>, ";
    }
    const auto members = parseGroupMembers(dlist);
    ASSERT_EQ(members.size(), 1000U);
    EXPECT_EQ(members[999], (GroupMember{"M999, X", "m999@x"}));
}

TEST(ContactFileReader, ReadsFilesFromDiskStreamingLongLines) {
    testing::TempDir dir;
    for (const auto& [path, reason] :
         {std::pair{dir.folder() + "missing.meta", "cannot open the file: no such file or folder"},
          {dir.folder(), "not a regular file (a folder)"},
          {"/dev/null", "not a regular file (a device)"}}) {
        try {
            ContactRecord record;
            ReadContactFile(path, record);
            ADD_FAILURE() << path;
        } catch (const ContactFileError& error) {
            EXPECT_EQ(error.what(), path + ": " + reason);
        }
    }
    // Many lines before the metadata, some holding markers of their own, then a long note.
    std::string bytes;
    for (int i = 0; i < 20000; ++i) {
        bytes += i % 1000 == 0 ? "d3:fldd8:lastName3:Olde\r\n" : "filler line of some length\r\n";
    }
    const std::string note(3'000'000, 'n');
    bytes += "d3:fldd5:notes" + std::to_string(note.size()) + ":" + note + "8:lastName3:Newee";
    ContactRecord record;
    int yields = 0;
    ReadContactFile(dir.write("big.meta", bytes).string(), record, [&] { ++yields; });
    EXPECT_GT(yields, 0);
    EXPECT_EQ(record.LastName, "New");
    EXPECT_EQ(record.Comments.size(), note.size());
    // The metadata split by a carriage return inside a value, far from the start.
    const auto split = std::string(200000, 'x') + "\r\nd3:fldd5:notes3:a\rb8:lastName1:Ze";
    ReadContactFile(dir.write("split.meta", split).string(), record);
    EXPECT_EQ(record.Comments, "a\rb");
}

// A file that opens with "{" is kept whole however long it is: a JSON export, and a file that
// only looks like one, whose metadata is then found on its last line.
TEST(ContactFileReader, KeepsLongFilesThatMayBeJsonWhole) {
    testing::TempDir dir;
    const std::string filler(150000, ' ');
    for (const auto& [name, bytes, lastName] :
         {std::tuple{"export.meta",
                     "{\"type\": 6," + filler + "\"metadata\": \"d3:fldd8:lastName4:Jsone\"}",
                     "Json"},
          {"lookalike.meta", "{ no JSON" + filler + "\r\nd3:fldd8:lastName5:Plaine", "Plain"},
          {"short.meta", "{ no JSON\r\nd3:fldd8:lastName5:Shorte", "Short"}}) {
        ContactRecord record;
        ReadContactFile(dir.write(name, bytes).string(), record);
        EXPECT_EQ(record.LastName, lastName) << name;
    }
}

// Every key the reader takes is found, and nothing else: a near miss, a longer or shorter key.
TEST(ContactFileReader, FindsEveryContactKeyAndNoOther) {
    for (std::size_t index = 0; index < detail::ContactKeys.size(); ++index) {
        const std::string key(detail::ContactKeys[index]);
        EXPECT_EQ(detail::findContactKey(key), index) << key;
        for (const std::string& other :
             {key + "x", key.substr(1), "X" + key.substr(1), key.substr(0, key.size() - 1) + "#"}) {
            EXPECT_EQ(detail::findContactKey(other), detail::ContactKeys.size()) << other;
        }
    }
    EXPECT_EQ(detail::findContactKey(""), detail::ContactKeys.size());
    EXPECT_EQ(detail::findContactKey(std::string(40, 'e')), detail::ContactKeys.size());
}

// A contact's UID is worked out only for an output that asks for it.
TEST(ContactFileReader, WorksOutTheUidOnlyWhenAsked) {
    testing::TempDir dir;
    const auto path = dir.write("257.meta", "d3:fldd8:lastName3:Leee").string();
    ContactRecord record;
    EXPECT_EQ(ReadContactFile(path, record, {}, UidWanted::Yes).uid.size(), 36U);
    EXPECT_EQ(ReadContactFile(path, record, {}, UidWanted::No).uid, "");
    EXPECT_EQ(record.LastName, "Lee");
}

// Real days with their year (from 1601 on for the PST's dates), and days without a year.
TEST(Dates, TakeRealDaysOnly) {
    for (const auto* text :
         {"0001-01-01", "1600-02-29", "1601-01-01", "2000-02-29", "2023-12-31"}) {
        const CalendarDate date{atoi(text), atoi(text + 5), atoi(text + 8)};
        EXPECT_EQ(calendarDate(text), date);
        EXPECT_EQ(fullDate(text), date.year >= 1601 ? std::optional(date) : std::nullopt) << text;
    }
    for (const auto* text : {"0000-01-01", "1900-02-29", "2023-02-29", "2023-04-31", "2023-13-01",
                             "2023-00-10", "2023-01-00", "--05-01", "2023-1-01", "2023/01/01"}) {
        EXPECT_EQ(calendarDate(text), std::nullopt) << text;
    }
    for (const auto* text : {"--05-01", "--02-29", "--12-31"}) {
        EXPECT_TRUE(isYearlessDate(text)) << text;
    }
    for (const auto* text : {"--02-30", "--13-01", "--00-01", "--5-01", "-05-01", "2023-05-01"}) {
        EXPECT_FALSE(isYearlessDate(text)) << text;
    }
}

} // namespace
} // namespace plumbrae::core
