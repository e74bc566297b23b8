#include "core/contact_file_reader.h"
#include "tests/support/print_case.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <string>

namespace plumbrae::core {
namespace {

using plumbrae::testing::PrintTo;

ContactRecord read(const std::string& bytes) {
    ContactRecord record;
    ReadContactBytes(bytes, "test.meta", record);
    return record;
}

std::string failure(const std::string& bytes) {
    ContactRecord record;
    try {
        ReadContactBytes(bytes, "test.meta", record);
    } catch (const ContactFileError& error) {
        return error.reason();
    }
    return "(no failure)";
}

struct ValueCase {
    const char* name;
    std::string line;
    std::string ContactRecord::*field;
    std::string expected;
};

class ReaderValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ReaderValues, StoresTheWholeValue) {
    const auto& param = GetParam();
    EXPECT_EQ(read(param.line).*param.field, param.expected);
}

// Values the old positional reading damaged: colons, keys inside values, look-alike keys,
// lengths in UTF-16 units. Each must come out whole.
INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderValues,
    ::testing::Values(
        ValueCase{"ColonInNote", "d3:fldd5:notes13:Call at 10:30e", &ContactRecord::Comments,
                  "Call at 10:30"},
        ValueCase{"KeyInsideValueKept", "d3:fldd5:notes14:x:5:email3:abce",
                  &ContactRecord::Comments, "x:5:email3:abc"},
        ValueCase{"Email2IsNotEmail", "d3:fldd6:email24:a@b.e", &ContactRecord::Email, ""},
        ValueCase{"EmailAfterEmail2", "d3:fldd5:email3:x@y6:email23:a@be", &ContactRecord::Email,
                  "x@y"},
        ValueCase{"FirstOccurrenceWins", "d3:fldd7:company3:One7:company3:Twoe",
                  &ContactRecord::Company, "One"},
        ValueCase{"AccentsCountedInUtf16Units", "d3:fldd8:lastName6:Müllere",
                  &ContactRecord::LastName, "Müller"},
        ValueCase{"AccentsCountedInBytes", "d3:fldd8:lastName7:Müllere", &ContactRecord::LastName,
                  "Müller"},
        ValueCase{"EmojiCountsTwoUnits", "d3:fldd5:notes6:Hi 🍣!e", &ContactRecord::Comments,
                  "Hi 🍣!"},
        ValueCase{"InvalidUtf8ByteCountsOne", "d3:fldd7:company3:A\xE9Ze", &ContactRecord::Company,
                  "A\xE9Z"},
        ValueCase{"LineFeedInsideValue", "d3:fldd5:notes3:a\nbe", &ContactRecord::Comments, "a\nb"},
        ValueCase{"SkipsNestedValues", "d3:fldd4:tagsl3:onei7ed1:ai1eee7:company1:Xe",
                  &ContactRecord::Company, "X"},
        ValueCase{"PhotoContactLateMarker",
                  "d3:attd2:ct10:image/jpeg2:id1:1e3:fldd9:firstName3:Anne2:mdi5ee",
                  &ContactRecord::FirstName, "Ann"},
        ValueCase{"ColourContactLateMarker", "d1:ci4e3:fldd8:lastName3:Leee",
                  &ContactRecord::LastName, "Lee"},
        ValueCase{"IntegerValueKeptAsText", "d3:fldd11:mobilePhonei5550100ee",
                  &ContactRecord::CellPhone, "5550100"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ContactFileReader, LeavesSpacesAndBuildsFullNameFromUntrimmedNames) {
    const auto record = read("d3:fldd9:firstName4:Ann 8:lastName4: Leee");
    EXPECT_EQ(record.FirstName, "Ann ");
    EXPECT_EQ(record.FullName, "Ann   Lee");
    EXPECT_EQ(read("d3:fldd5:notes1:xe").FullName, " ");
}

TEST(ContactFileReader, UsesTheLastLineSplitAtCarriageReturns) {
    // CR and CR LF end lines; a line feed alone does not.
    EXPECT_EQ(read("d3:fldd8:lastName3:Olde\rd3:fldd8:lastName3:Newe").LastName, "New");
    EXPECT_EQ(read("d3:fldd8:lastName3:Olde\r\nd3:fldd8:lastName3:Newe\r\n").LastName, "New");
    EXPECT_EQ(read("x\r\nd3:fldd8:lastName3:Newe\n\n").LastName, "New");
    EXPECT_EQ(read("d3:fldd8:lastName3:Olde\nd3:fldd8:lastName3:Newe").LastName, "Old");
    // A value that held a carriage return split the metadata over two lines.
    EXPECT_EQ(read("head\r\nd3:fldd5:notes3:a\rb8:lastName1:Xe\r\n").Comments, "a\rb");
    EXPECT_EQ(read("head\r\nd3:fldd5:notes4:a\r\nb8:lastName1:Xe").LastName, "X");
    // Two line ends at the end: the metadata line is still found.
    EXPECT_EQ(read("d3:fldd8:lastName1:Xe\r\n\r\n").LastName, "X");
}

TEST(ContactFileReader, ReadsJsonWrappedExports) {
    const auto record = read("  {\"id\": 7, \"metadata\": \"d3:fldd5:notes9:a \\\"b\\\"\\nc:d"
                             "7:company5:Ann\\u2019s9:firstName2:\\ud83c\\udf63ee\"}\n");
    EXPECT_EQ(record.Comments, "a \"b\"\nc:d");
    EXPECT_EQ(record.Company, "Ann\u2019s");
    EXPECT_EQ(record.FirstName, "🍣");
}

TEST(ContactFileReader, JsonEdgeCases) {
    // The last "metadata" member wins; escapes of every kind are decoded.
    EXPECT_EQ(read("{\"metadata\":\"d3:fldd8:lastName1:Ae\",\"metadata\":\"d3:fldd8:lastName1:"
                   "Be\"}")
                  .LastName,
              "B");
    EXPECT_EQ(read("{\"metadata\":\"d3:fldd5:notes3:\\t\\/\\\\e\"}").Comments, "\t/\\");
    // A lone surrogate becomes U+FFFD; bytes that are not UTF-8 stay as they are.
    EXPECT_EQ(read("{\"metadata\":\"d3:fldd5:notes1:\\ud800e\"}").Comments, "\xEF\xBF\xBD");
    EXPECT_EQ(read("{\"metadata\":\"d3:fldd5:notes1:\\udc00e\"}").Comments, "\xEF\xBF\xBD");
    // The pair's ends: U+1F000 is D83C DC00; E000 after a high surrogate is no low one.
    EXPECT_EQ(read("{\"metadata\":\"d3:fldd5:notes2:\\ud83c\\udc00e\"}").Comments, "\U0001F000");
    EXPECT_EQ(read("{\"metadata\":\"d3:fldd5:notes2:\\udbff\\udfffe\"}").Comments, "\U0010FFFF");
    EXPECT_EQ(read("{\"metadata\":\"d3:fldd5:notes2:\\ud83c\\ue000e\"}").Comments,
              "\xEF\xBF\xBD\uE000");
    EXPECT_EQ(read("{\"metadata\":\"d3:fldd7:company3:A\xE9Ze\"}").Company, "A\xE9Z");
    // Not JSON: a byte-order mark, junk after the object, or a metadata member that is not a
    // string. Such files are read by their last line instead.
    EXPECT_EQ(read("\xEF\xBB\xBF{\"metadata\":\"d3:fldd5:notes4:a\\nbe\"}").Comments, "a\\nb");
    EXPECT_EQ(read("{\"metadata\":\"x\"} d3:fldd8:lastName1:Ae").LastName, "A");
    EXPECT_EQ(failure("{\"metadata\": 5}"),
              "no contact fields (the file holds no contact metadata)");
}

TEST(ContactFileReader, ReportsDamagedAndMissingData) {
    const std::string noFields = "no contact fields (the file holds no contact metadata)";
    EXPECT_EQ(failure(""), noFields);
    EXPECT_EQ(failure("hello\r\nworld"), noFields);
    EXPECT_EQ(failure("d3:fldd"), "damaged contact data at byte 7 of the contact metadata");
    EXPECT_EQ(failure("d3:fldd8:lastName9:Lee"),
              "damaged contact data at byte 17 of the contact metadata");
    EXPECT_EQ(failure("d3:fldd8:lastNamex3:Leee").substr(0, 19), "damaged contact dat");
    EXPECT_EQ(failure("d3:fldd5:notes1:\xF0\x9F\x8D\xA3"
                      "e")
                  .substr(0, 19),
              "damaged contact dat")
        << "a length that splits a character in two is damage, not a shorter value";
    EXPECT_EQ(failure("d3:fldd" + std::string(100000, 'l')).substr(0, 19), "damaged contact dat");
}

TEST(ContactFileReader, PrefersTheCountingThatMakesTheWholeMetadataWellFormed) {
    // Counted in UTF-16 units the note swallows the field dictionary's end and only the field
    // dictionary parses; counted in bytes all of the metadata does. Bytes must win.
    const auto record = read("d3:fldd5:notes3:é1e1:xi1ee");
    EXPECT_EQ(record.Comments, "é1");
}

TEST(ContactFileReader, ReadsFilesFromDiskStreamingLongLines) {
    testing::TempDir dir;
    try {
        ContactRecord record;
        ReadContactFile((dir.path() / "missing.meta").string(), record);
        FAIL() << "a missing file must fail";
    } catch (const ContactFileError& error) {
        EXPECT_EQ(error.reason(), "cannot open the file: no such file or folder");
        EXPECT_NE(std::string(error.what()).find("missing.meta"), std::string::npos);
    }
    // Many lines before the metadata, some holding markers of their own, then a long note.
    std::string bytes;
    for (int i = 0; i < 20000; ++i) {
        bytes += i % 1000 == 0 ? "d3:fldd8:lastName3:Olde\r\n" : "filler line of some length\r\n";
    }
    const std::string note(3'000'000, 'n');
    bytes += "d3:fldd5:notes" + std::to_string(note.size()) + ":" + note + "8:lastName3:Newee";
    const auto path = dir.write("big.meta", bytes);
    ContactRecord record;
    int yields = 0;
    ReadContactFile(path.string(), record, [&] { ++yields; });
    EXPECT_GT(yields, 0);
    EXPECT_EQ(record.LastName, "New");
    EXPECT_EQ(record.Comments.size(), note.size());

    // The metadata split by a carriage return inside a value, far from the start.
    const auto split = dir.write("split.meta", std::string(200000, 'x') +
                                                   "\r\nd3:fldd5:notes3:a\rb8:lastName1:Ze");
    ReadContactFile(split.string(), record);
    EXPECT_EQ(record.Comments, "a\rb");
}

} // namespace
} // namespace plumbrae::core
