#include "support/byte_sink.h"
#include "tests/support/print_case.h"
#include "tests/support/temp_dir.h"
#include "tests/writers/excel_records.h"
#include "writers/excel_contact_sheet.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace plumbrae::testing {
namespace {

using plumbrae::testing::PrintTo;

using core::ContactRecord;
using writers::ExcelContactSheet;

// BOF, CODEPAGE, formats, fonts, XF, page header, title row, EOF.
constexpr std::size_t EmptySheetSize = 1413;
constexpr std::size_t EmptyRowSize = std::size_t{36} * 12;

const std::vector<std::string> Titles = {
    "First Name",
    "Middle Name",
    "Last Name",
    "Email",
    "Suffix",
    "Title",
    "Company",
    "Job Title",
    "Location",
    "Website",
    "Department",
    "Manager",
    "Assistant",
    "Business Street Address",
    "Business City",
    "Business Zip/Postal Code",
    "Business State",
    "Business Country",
    "Business Phone Number",
    "Business FAX",
    "Business CellPhone",
    "Business Pager",
    "Business Other Email 1",
    "Business Other Email 2",
    "Business Other Email 3",
    "Personal Street Address",
    "Personal City",
    "Personal Zip/Postal Code",
    "Personal State",
    "Personal Country",
    "Personal Phone Number",
    "Personal FAX",
    "Personal CellPhone",
    "Birthday",
    "Anniversary",
    "Comments",
};

/// A sheet set up on a memory sink; `rowCells` closes it and reads back the contact cells.
class ExcelSheetTest : public ::testing::Test {
protected:
    void SetUp() override { m_sheet.openOn(m_sink, "ZimbraContacts.xls"); }
    [[nodiscard]] std::vector<LabelCell> rowCells() {
        if (!m_closed) {
            m_sheet.close();
            m_closed = true;
        }
        std::vector<LabelCell> cells;
        bool complete = false;
        const std::string& bytes = m_sink.bytes();
        const auto records = splitRecords(
            bytes.substr(EmptySheetSize - 4, bytes.size() - EmptySheetSize), &complete);
        EXPECT_TRUE(complete);
        for (const auto& record : records) {
            EXPECT_EQ(record.id, 0x0004);
            cells.push_back(readLabel(record));
        }
        return cells;
    }
    /// Column (1-based) -> text of the one contact row written.
    [[nodiscard]] std::map<int, std::string> rowByColumn() {
        std::map<int, std::string> row;
        for (const auto& cell : rowCells()) {
            row[cell.column + 1] = cell.text;
        }
        return row;
    }

    support::MemorySink m_sink;
    ExcelContactSheet m_sheet;
    bool m_closed = false;
};

TEST_F(ExcelSheetTest, EmptySheetHasFontsHeaderAndTitleRow) {
    m_sheet.close();
    const std::string& bytes = m_sink.bytes();
    ASSERT_EQ(bytes.size(), EmptySheetSize);
    bool complete = false;
    const auto records = splitRecords(bytes, &complete);
    ASSERT_TRUE(complete);
    ASSERT_EQ(records.size(), 27U + 4 + 1 + 1 + 36 + 1);
    EXPECT_EQ(records[1].id, 0x0042) << "CODEPAGE right after BOF";
    EXPECT_EQ(records[27].body, bytesOf({0xC8, 0x00, 0x00, 0x00, 0x07}) + "Verdana");
    EXPECT_EQ(records[28].body, bytesOf({0xC8, 0x00, 0x01, 0x00, 0x07}) + "Verdana");
    EXPECT_EQ(records[29].body, bytesOf({0xC8, 0x00, 0x05, 0x00, 0x07}) + "Verdana");
    EXPECT_EQ(records[30].body, bytesOf({0x18, 0x01, 0x03, 0x00, 0x07}) + "Courier");
    for (std::size_t index = 27; index < 31; ++index) {
        EXPECT_EQ(records[index].id, 0x0031);
    }
    // The one cell style every cell points at: font 0, format "General".
    EXPECT_EQ(records[31].id, 0x0043);
    EXPECT_EQ(records[31].body, bytesOf({0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(records[32].id, 0x0014);
    EXPECT_EQ(records[32].body, "\x0C"
                                "BIFF 2.1 API");
    for (std::size_t column = 0; column < 36; ++column) {
        const auto& record = records[33 + column];
        ASSERT_EQ(record.id, 0x0004);
        const LabelCell cell = readLabel(record);
        EXPECT_EQ(cell.row, 0);
        EXPECT_EQ(cell.column, column);
        EXPECT_EQ(cell.attribute1, 0);
        EXPECT_EQ(cell.attribute2, 64) << "bold font";
        EXPECT_EQ(cell.attribute3, 1) << "left-aligned";
        EXPECT_EQ(cell.text, Titles[column]);
    }
    EXPECT_EQ(records.back().id, 0x000A);
}

TEST_F(ExcelSheetTest, EmptyContactRowIsThirtySixEmptyCellsInColumnOrder) {
    m_sheet.Save2ExcelContact(ContactRecord{}, 1);
    const auto cells = rowCells();
    EXPECT_EQ(m_sink.size(), EmptySheetSize + EmptyRowSize);
    const std::vector<int> order = {1,  2,  3,  4,  5,  6,  7,  8,  14, 15, 16, 17,
                                    18, 9,  10, 11, 12, 13, 19, 20, 21, 22, 23, 24,
                                    25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36};
    ASSERT_EQ(cells.size(), 36U);
    for (std::size_t index = 0; index < cells.size(); ++index) {
        EXPECT_EQ(cells[index].row, 1);
        EXPECT_EQ(cells[index].column + 1, order[index]);
        EXPECT_EQ(cells[index].attribute1, 0);
        EXPECT_EQ(cells[index].attribute2, 0) << "plain font";
        EXPECT_EQ(cells[index].attribute3, 1);
        EXPECT_EQ(cells[index].text, "");
    }
    EXPECT_TRUE(m_sheet.notes().empty());
}

TEST_F(ExcelSheetTest, RowFollowsTheContactNumber) {
    m_sheet.Save2ExcelContact(ContactRecord{}, 5);
    m_sheet.Save2ExcelContact(ContactRecord{}, 65535);
    EXPECT_THROW(m_sheet.Save2ExcelContact(ContactRecord{}, 0), core::OutputError);
    EXPECT_THROW(m_sheet.Save2ExcelContact(ContactRecord{}, 65536), core::OutputError);
    const auto cells = rowCells();
    ASSERT_EQ(cells.size(), 72U);
    EXPECT_EQ(cells.front().row, 5);
    EXPECT_EQ(cells.back().row, 65535);
}

TEST_F(ExcelSheetTest, EveryColumnShowsItsField) {
    // Each field holds its own name, so a value in the wrong column shows at once.
    ContactRecord record;
    for (const auto& info : ContactRecord::fields()) {
        record.*info.field = std::string(info.name);
    }
    m_sheet.Save2ExcelContact(record, 1);
    const std::map<int, std::string> expected = {
        {1, "FirstName"},    {2, "MiddleName"},       {3, "LastName"},
        {4, "Email"},        {5, "Suffix"},           {6, "Title"},
        {7, "Company"},      {8, "JobTitle"},         {9, "Location"},
        {10, "WebPage"},     {11, "Department"},      {12, "Manager"},
        {13, "Assistant"},   {14, "BusinessAddress"}, {15, "BusinessCity"},
        {16, "BusinessZip"}, {17, "BusinessState"},   {18, "BusinessCountry"},
        {19, "OfficePhone"}, {20, "OfficeFax"},       {21, "CellPhone"},
        {22, "Pager"},       {23, "OtherEmail1"},     {24, "OtherEmail2"},
        {25, "OtherEmail3"}, {26, "PersonalStreet"},  {27, "PersonalCity"},
        {28, "PersonalZip"}, {29, "PersonalState"},   {30, "PersonalCountry"},
        {31, "HomePhone"},   {32, "HomeFax"},         {33, "Pager"},
        {34, "Birthday"},    {35, "Anniversary"},     {36, "Comments"},
    };
    EXPECT_EQ(rowByColumn(), expected);
}

struct FirstColumnCase {
    const char* name;
    std::string firstName;
    std::string fullName;
    std::string expected;
};

class ExcelFirstColumnTest : public ExcelSheetTest,
                             public ::testing::WithParamInterface<FirstColumnCase> {};

TEST_P(ExcelFirstColumnTest, FallsBackToTheFullName) {
    ContactRecord record;
    record.FirstName = GetParam().firstName;
    record.FullName = GetParam().fullName;
    m_sheet.Save2ExcelContact(record, 1);
    EXPECT_EQ(rowByColumn().at(1), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExcelFirstColumnTest,
    ::testing::Values(FirstColumnCase{"SurnameOnly", "", "Lee", "Lee"},
                      FirstColumnCase{"FirstNameWins", "Ann", "Someone Else", "Ann"},
                      FirstColumnCase{"SpacesOnlyFallBack", "   ", "Lee", "Lee"},
                      FirstColumnCase{"BothEmpty", "", "", ""}),
    [](const auto& row) { return std::string(row.param.name); });

struct AddressCase {
    const char* name;
    std::string address;
    std::string expected;
};

class ExcelAddressTest : public ExcelSheetTest,
                         public ::testing::WithParamInterface<AddressCase> {};

TEST_P(ExcelAddressTest, BusinessAddressJoinsLinesAndDropsBackslashes) {
    ContactRecord record;
    record.BusinessAddress = GetParam().address;
    record.PersonalStreet = GetParam().address;
    m_sheet.Save2ExcelContact(record, 1);
    const auto row = rowByColumn();
    EXPECT_EQ(row.at(14), GetParam().expected);
    EXPECT_EQ(row.at(26), GetParam().address) << "no other column is rewritten";
}

INSTANTIATE_TEST_SUITE_P(Cases, ExcelAddressTest,
                         ::testing::Values(AddressCase{"TwoLines", "12 Main St\\nSuite 5",
                                                       "12 Main St, Suite 5"},
                                           AddressCase{"DoubleBackslash", "x\\\\ny", "x, y"},
                                           AddressCase{"LoneBackslash", "a\\b", "ab"},
                                           AddressCase{"TrailingBackslash", "a\\", "a"},
                                           AddressCase{"OnlyBreaks", "\\n\\n", ", , "},
                                           AddressCase{"CapitalN", "a\\Nb", "aNb"},
                                           AddressCase{"RealNewlineStays", "a\nb", "a\nb"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(ExcelSheetTest, TooLongValueIsLeftOutAndNamedInTheNotes) {
    ContactRecord record;
    record.FullName = "Ann Lee";
    record.Comments = std::string(300, 'c');
    record.PersonalCity = std::string(255, 'p');
    m_sheet.Save2ExcelContact(record, 4);
    const auto row = rowByColumn();
    EXPECT_EQ(row.size(), 35U);
    EXPECT_EQ(row.count(36), 0U);
    EXPECT_EQ(row.at(27), record.PersonalCity);
    EXPECT_EQ(row.at(35), "");
    const auto notes = m_sheet.notes();
    EXPECT_NE(notes[0].find("ZimbraContacts.csv"), std::string::npos) << notes[0];
    ASSERT_EQ(notes.size(), 2U);
    EXPECT_NE(notes[0].find("255"), std::string::npos);
    EXPECT_EQ(notes[1], "Contact 4 (Ann Lee): Comments");
}

TEST_F(ExcelSheetTest, NotesStayShortForManyLongValues) {
    ContactRecord record;
    record.Comments = std::string(256, 'c');
    for (int number = 1; number <= 150; ++number) {
        m_sheet.Save2ExcelContact(record, number);
    }
    EXPECT_EQ(rowCells().size(), 150U * 35);
    const auto notes = m_sheet.notes();
    ASSERT_EQ(notes.size(), 22U);
    EXPECT_EQ(notes[1], "Contact 1: Comments");
    EXPECT_EQ(notes.back(), "and 130 more");
}

TEST(ExcelSheetQueue, RefusesMoreContactsThanRows) {
    const ExcelContactSheet sheet;
    EXPECT_EQ(sheet.checkQueueSize(1), "");
    EXPECT_EQ(sheet.checkQueueSize(65535), "");
    const std::string refusal = sheet.checkQueueSize(65536);
    EXPECT_NE(refusal.find("65535"), std::string::npos) << refusal;
}

TEST(ExcelSheetFailures, WriteFailureStopsWithTheCauseAndLeavesNothingOpen) {
    for (const std::size_t limit :
         {std::size_t{0}, std::size_t{400}, EmptySheetSize - 5, EmptySheetSize + 100}) {
        support::FailingSink sink(limit);
        ExcelContactSheet sheet;
        sheet.openOn(sink, "sheet.xls");
        sheet.Save2ExcelContact(ContactRecord{}, 1);
        try {
            sheet.close();
            FAIL() << "a full disk must stop the run " << limit;
        } catch (const core::OutputError& error) {
            EXPECT_NE(std::string(error.what()).find("disk is full"), std::string::npos);
        }
        EXPECT_FALSE(sheet.file().isOpen());
        sheet.abandon();
    }
}

TEST(ExcelSheetOnDisk, OpenWriteCloseAndRunAgain) {
    const TempDir dir;
    ExcelContactSheet sheet;
    sheet.open(dir.folder());
    sheet.Save2ExcelContact(ContactRecord{}, 1);
    sheet.Save2ExcelContact(ContactRecord{}, 2);
    sheet.close();
    const auto path = dir.path() / "ZimbraContacts.xls";
    EXPECT_EQ(readFile(path).size(), EmptySheetSize + 2 * EmptyRowSize);
    // The same object serves the next run, which replaces the file.
    sheet.open(dir.folder());
    sheet.close();
    EXPECT_EQ(readFile(path).size(), EmptySheetSize);
}

TEST(ExcelSheetOnDisk, AbandonedRunStillEndsWithEof) {
    const TempDir dir;
    ExcelContactSheet sheet;
    sheet.open(dir.folder());
    sheet.Save2ExcelContact(ContactRecord{}, 3);
    sheet.abandon();
    sheet.abandon();
    const std::string bytes = readFile(dir.path() / "ZimbraContacts.xls");
    ASSERT_EQ(bytes.size(), EmptySheetSize + EmptyRowSize);
    EXPECT_EQ(bytes.substr(bytes.size() - 4), bytesOf({0x0A, 0x00, 0x00, 0x00}));
}

TEST(ExcelSheetOnDisk, CreationFailureNamesTheFileAndTheCause) {
    const TempDir dir;
    std::filesystem::create_directory(dir.path() / "ZimbraContacts.xls");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {dir.folder(), "folder of that name"},
        {dir.folder() + "missing/", "no such file"},
    };
    for (const auto& [folder, cause] : cases) {
        ExcelContactSheet sheet;
        try {
            sheet.open(folder);
            FAIL() << "creation must fail in " << folder;
        } catch (const core::OutputError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(folder + "ZimbraContacts.xls"), std::string::npos) << message;
            EXPECT_NE(message.find(cause), std::string::npos) << message;
        }
        sheet.abandon();
    }
}

} // namespace
} // namespace plumbrae::testing
