// Text in the worksheet's code page and the CSV copy beside it.

#include "support/byte_sink.h"
#include "tests/writers/excel_records.h"
#include "writers/csv_file.h"
#include "writers/excel_contact_sheet.h"

#include <gtest/gtest.h>

namespace plumbrae::testing {
namespace {

using core::ContactRecord;
using writers::ExcelContactSheet;
using writers::ExcelFile;

struct CellTextCase {
    const char* name;
    std::uint16_t codePage;
    std::string utf8;
    std::int16_t result;
    std::string bytes; ///< the LABEL's text as written
    std::size_t substitutedCells;
};

class CellTextTest : public ::testing::TestWithParam<CellTextCase> {};

TEST_P(CellTextTest, IsConvertedToTheFilesCodePage) {
    const auto& param = GetParam();
    support::MemorySink sink;
    ExcelFile file;
    file.setCodePage(param.codePage);
    ASSERT_EQ(file.CreateFile(sink), 0);
    const auto head = splitRecords(sink.bytes());
    ASSERT_GE(head.size(), 2U);
    ASSERT_EQ(head[1].id, 0x0042);
    EXPECT_EQ(support::readLe16(head[1].body, 0), param.codePage);
    const std::size_t before = sink.size();
    EXPECT_EQ(file.WriteValue(ExcelFile::TextCell, 0, 0, 0, 1, 1, param.utf8), param.result);
    EXPECT_EQ(file.substitutedCells(), param.substitutedCells);
    if (param.result == ExcelFile::NoError) {
        const auto records = splitRecords(sink.bytes().substr(before));
        ASSERT_EQ(records.size(), 1U);
        EXPECT_EQ(readLabel(records[0]).text, param.bytes);
    } else {
        EXPECT_EQ(sink.size(), before);
    }
}

std::string repeated(std::string_view text, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out.append(text);
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CellTextTest,
    ::testing::Values(
        CellTextCase{"Latin", 1252, "G\xC3\xA9rant \xE2\x82\xAC", 0, "G\xE9rant \x80", 0},
        // A byte that is not UTF-8 is the Windows-1252 character it names.
        CellTextCase{"StrayByte", 1252, "Caf\xE9", 0, "Caf\xE9", 0},
        CellTextCase{"MissingBecomesQuestionMark", 1252, "\xD0\x96uk", 0, "?uk", 1},
        CellTextCase{"Cyrillic", 1251, "\xD0\x96\xD1\x83\xD0\xBA", 0, "\xC6\xF3\xEA", 0},
        CellTextCase{"Japanese", 932, "\xE6\x97\xA5\xE6\x9C\xAC", 0, "\x93\xFA\x96\x7B", 0},
        // The limit counts the page's bytes: 255 accented letters fit though their UTF-8 does
        // not, 128 double-byte characters do not.
        CellTextCase{"LimitInConvertedCharacters", 1252, repeated("\xC3\xA9", 255), 0,
                     std::string(255, '\xE9'), 0},
        CellTextCase{"OneMoreIsRefused", 1252, repeated("\xC3\xA9", 256),
                     ExcelFile::ValueDoesNotFit, "", 0},
        CellTextCase{"DoubleByteLimit", 932, repeated("\xE6\x97\xA5", 128),
                     ExcelFile::ValueDoesNotFit, "", 0}),
    [](const auto& row) { return std::string(row.param.name); });

struct PageChoiceCase {
    const char* name;
    std::vector<std::string> names; ///< first names of the contacts
    std::uint16_t codePage;
    std::size_t substitutedCells;
};

class PageChoiceTest : public ::testing::TestWithParam<PageChoiceCase> {};

TEST_P(PageChoiceTest, SheetTakesThePageHoldingMostOfItsText) {
    const auto& param = GetParam();
    support::MemorySink sink;
    ExcelContactSheet sheet;
    sheet.openOn(sink, "sheet.xls");
    std::int32_t number = 1;
    for (const auto& name : param.names) {
        ContactRecord record;
        record.FirstName = name;
        sheet.Save2ExcelContact(record, number++);
    }
    sheet.close();
    EXPECT_EQ(sheet.codePage(), param.codePage);
    EXPECT_EQ(sheet.file().substitutedCells(), param.substitutedCells);
    const auto notes = sheet.notes();
    if (param.substitutedCells == 0) {
        EXPECT_TRUE(notes.empty());
    } else {
        ASSERT_EQ(notes.size(), 1U);
        EXPECT_EQ(notes[0].rfind(std::to_string(param.substitutedCells) + " cell(s)", 0), 0U)
            << notes[0];
        EXPECT_NE(notes[0].find("ZimbraContacts.csv"), std::string::npos) << notes[0];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PageChoiceTest,
    ::testing::Values(
        PageChoiceCase{"AsciiOnly", {"Ann", "Lee"}, 1252, 0},
        PageChoiceCase{"Latin",
                       {"G\xC3\xA9rant",
                        "M\xC3\xBC"
                        "ller",
                        "\xC3\x85sa"},
                       1252,
                       0},
        PageChoiceCase{"Polish",
                       {"\xC5\x81\xC3\xB3"
                        "d\xC5\xBA"},
                       1250,
                       0},
        PageChoiceCase{"Cyrillic", {"\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD", "Ann"}, 1251, 0},
        PageChoiceCase{"Japanese", {"\xE5\xB1\xB1\xE7\x94\xB0", "\xE3\x81\x82"}, 932, 0},
        // Western names and one Polish one: 1252, 1250 and others hold three letters each,
        // the tie goes to 1252 and the Polish name's cell is counted.
        PageChoiceCase{"Mixed",
                       {"G\xC3\xA9rant", "\xC3\x85sa",
                        "\xC3\x87"
                        "elik",
                        "\xC5\x81ukasz"},
                       1252,
                       1}),
    [](const auto& row) { return std::string(row.param.name); });

/// A sheet with its CSV on memory sinks.
struct SheetWithCsv {
    support::MemorySink sheetSink;
    support::MemorySink csvSink;
    ExcelContactSheet sheet;
    SheetWithCsv() { sheet.openOn(sheetSink, "ZimbraContacts.xls", &csvSink); }
    /// The CSV's rows after the byte-order mark and the title row.
    [[nodiscard]] std::vector<std::string> rows() const {
        const std::string& bytes = csvSink.bytes();
        EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF"
                              "First Name,Middle Name,",
                              0),
                  0U);
        std::vector<std::string> lines;
        std::size_t at = bytes.find("\r\n") + 2;
        // Rows end with CR LF outside quotes; every test row has at most one quoted line break.
        while (at < bytes.size()) {
            std::size_t end = bytes.find("\r\n", at);
            while (std::count(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                              bytes.begin() + static_cast<std::ptrdiff_t>(end), '"') %
                       2 !=
                   0) {
                end = bytes.find("\r\n", end + 2);
            }
            lines.push_back(bytes.substr(at, end - at));
            at = end + 2;
        }
        return lines;
    }
};

TEST(ContactCsv, QuotesWhatNeedsItKeepsLongValuesWholeAndEmptyRowsForSkippedFiles) {
    SheetWithCsv files;
    ContactRecord record;
    record.FirstName = "Ann, \"Annie\"";
    record.LastName = "Caf\xE9";
    record.Comments = std::string(5000, 'n') + "\r\nend";
    files.sheet.Save2ExcelContact(record, 1);
    files.sheet.skipped(2);
    // File 4 gave no contact either, and no one said so: its row is kept all the same.
    ContactRecord plain;
    plain.FirstName = "Bo";
    files.sheet.Save2ExcelContact(plain, 5);
    files.sheet.close();
    const auto rows = files.rows();
    const std::string empty(35, ',');
    ASSERT_EQ(rows.size(), 5U);
    EXPECT_EQ(rows[0], "\"Ann, \"\"Annie\"\"\",,Caf\xC3\xA9" + std::string(33, ',') + "\"" +
                           std::string(5000, 'n') + "\r\nend\"");
    EXPECT_EQ(rows[1], empty);
    EXPECT_EQ(rows[2], empty);
    EXPECT_EQ(rows[3], empty);
    EXPECT_EQ(rows[4], "Bo" + empty);
    // The worksheet left the long note out; the message says the CSV has it.
    const auto notes = files.sheet.notes();
    ASSERT_FALSE(notes.empty());
    EXPECT_NE(notes[0].find("ZimbraContacts.csv holds them whole"), std::string::npos);
}

TEST(ContactCsv, StoppedRunKeepsEveryWholeRowWritten) {
    support::MemorySink sheetSink;
    // Room for the mark, the titles and a little more: the second row does not fit.
    support::FailingSink csvSink(3 + 529 + 40 + 50);
    ExcelContactSheet sheet;
    sheet.openOn(sheetSink, "ZimbraContacts.xls", &csvSink);
    ContactRecord record;
    record.FirstName = "Ann";
    sheet.Save2ExcelContact(record, 1);
    record.Comments = std::string(100, 'x');
    try {
        sheet.Save2ExcelContact(record, 2);
        FAIL() << "a full disk must stop the run";
    } catch (const core::OutputError& error) {
        EXPECT_NE(std::string(error.what()).find("disk is full"), std::string::npos);
    }
    sheet.abandon();
    EXPECT_TRUE(csvSink.bytes().ends_with("Ann" + std::string(35, ',') + "\r\n"));
    const std::string& sheetBytes = sheetSink.bytes();
    EXPECT_TRUE(sheetBytes.ends_with(bytesOf({0x0A, 0x00, 0x00, 0x00})));
}

} // namespace
} // namespace plumbrae::testing
