#include "support/byte_sink.h"
#include "tests/support/print_case.h"
#include "tests/support/temp_dir.h"
#include "tests/writers/excel_records.h"
#include "writers/excel_file.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <limits>

namespace plumbrae::testing {
namespace {

using plumbrae::testing::PrintTo;

using writers::CellValue;
using writers::ExcelFile;

constexpr std::size_t EmptyFileSize = 400;
constexpr std::size_t StartSize = EmptyFileSize - 4; // everything but EOF
const std::string Eof = bytesOf({0x0A, 0x00, 0x00, 0x00});

/// An open writer on a memory sink, and the bytes written after the file's fixed start.
class ExcelFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(m_file.CreateFile(m_sink), 0);
        ASSERT_TRUE(m_file.isOpen());
        ASSERT_EQ(m_sink.size(), StartSize);
    }
    [[nodiscard]] std::string written() const { return m_sink.bytes().substr(StartSize); }
    std::int16_t text(std::int32_t row, std::int32_t column, const std::string& value) {
        return m_file.WriteValue(ExcelFile::TextCell, 0, 0, 0, row, column, value);
    }

    support::MemorySink m_sink;
    ExcelFile m_file;
};

TEST_F(ExcelFileTest, EmptyFileIsBofFormatsAndEof) {
    ASSERT_EQ(m_file.CloseFile(), 0);
    const std::string& bytes = m_sink.bytes();
    ASSERT_EQ(bytes.size(), EmptyFileSize);
    // BOF: version 2, document type worksheet (0x0010).
    EXPECT_EQ(bytes.substr(0, 8), bytesOf({0x09, 0x00, 0x04, 0x00, 0x02, 0x00, 0x10, 0x00}));
    // CODEPAGE: Windows-1252 (0x04E4) unless another page was set.
    EXPECT_EQ(bytes.substr(8, 6), bytesOf({0x42, 0x00, 0x02, 0x00, 0xE4, 0x04}));
    EXPECT_EQ(bytes.substr(14, 6), bytesOf({0x1F, 0x00, 0x02, 0x00, 0x17, 0x00}));
    EXPECT_EQ(bytes.substr(EmptyFileSize - 4), Eof);
    EXPECT_FALSE(m_file.isOpen());
}

TEST_F(ExcelFileTest, DefaultFormatsAreTheTwentyFourNumberFormats) {
    const std::vector<std::string> expected = {
        "General",
        "0",
        "0.00",
        "#,##0",
        "#,##0.00",
        "#,##0\\ \"$\";\\-#,##0\\ \"$\"",
        "#,##0\\ \"$\";[Red]\\-#,##0\\ \"$\"",
        "#,##0.00\\ \"$\";\\-#,##0.00\\ \"$\"",
        "#,##0.00\\ \"$\";[Red]\\-#,##0.00\\ \"$\"",
        "0%",
        "0.00%",
        "0.00E+00",
        "dd/mm/yy",
        "dd/\\ mmm\\ yy",
        "dd/\\ mmm",
        "mmm\\ yy",
        "h:mm\\ AM/PM",
        "h:mm:ss\\ AM/PM",
        "hh:mm",
        "hh:mm:ss",
        "dd/mm/yy\\ hh:mm",
        "##0.0E+0",
        "mm:ss",
        "@",
    };
    const std::vector<std::size_t> lengths = {7, 1,  4, 5, 8,  23, 28, 29, 34, 2, 5, 8,
                                              8, 12, 8, 7, 11, 14, 5,  8,  15, 8, 5, 1};
    bool complete = false;
    const auto records = splitRecords(m_sink.bytes(), &complete);
    ASSERT_TRUE(complete);
    ASSERT_EQ(records.size(), 27U);
    for (std::size_t index = 0; index < expected.size(); ++index) {
        const auto& record = records[index + 3];
        EXPECT_EQ(record.id, 0x001E) << index;
        ASSERT_EQ(expected[index].size(), lengths[index]) << index;
        EXPECT_EQ(record.body, static_cast<char>(lengths[index]) + expected[index]) << index;
    }
}

TEST_F(ExcelFileTest, LabelExamples) {
    ASSERT_EQ(m_file.WriteValue(ExcelFile::TextCell, 64, 1, 0, 1, 1, std::string("First Name")), 0);
    ASSERT_EQ(m_file.WriteValue(ExcelFile::TextCell, 0, 1, 0, 2, 36, std::string()), 0);
    EXPECT_EQ(
        written(),
        bytesOf({0x04, 0x00, 0x12, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x01, 0x0A}) +
            "First Name" +
            bytesOf({0x04, 0x00, 0x08, 0x00, 0x01, 0x00, 0x23, 0x00, 0x00, 0x00, 0x01, 0x00}));
}

TEST_F(ExcelFileTest, TextOfTwoHundredFiftyFiveFitsAndOneMoreIsRefusedWhole) {
    ASSERT_EQ(text(1, 1, std::string(255, 'a')), 0);
    EXPECT_EQ(m_sink.size(), StartSize + 4 + 263);
    EXPECT_EQ(written().substr(0, 4), bytesOf({0x04, 0x00, 0x07, 0x01}));
    EXPECT_EQ(text(1, 2, std::string(256, 'b')), ExcelFile::ValueDoesNotFit);
    EXPECT_EQ(m_sink.size(), StartSize + 4 + 263);
}

TEST_F(ExcelFileTest, SetFontExample) {
    ASSERT_EQ(m_file.SetFont("Courier", 14, 3), 0);
    EXPECT_EQ(written(),
              bytesOf({0x31, 0x00, 0x0C, 0x00, 0x18, 0x01, 0x03, 0x00, 0x07}) + "Courier");
}

TEST_F(ExcelFileTest, PageBreaksAreSortedAtClose) {
    ASSERT_EQ(m_file.InsertHorizPageBreak(10), 0);
    ASSERT_EQ(m_file.InsertHorizPageBreak(5), 0);
    EXPECT_EQ(written(), "");
    ASSERT_EQ(m_file.CloseFile(), 0);
    EXPECT_EQ(written(),
              bytesOf({0x1B, 0x00, 0x06, 0x00, 0x02, 0x00, 0x04, 0x00, 0x09, 0x00}) + Eof);
}

TEST_F(ExcelFileTest, DuplicatePageBreaksStay) {
    ASSERT_EQ(m_file.InsertHorizPageBreak(3), 0);
    ASSERT_EQ(m_file.InsertHorizPageBreak(65536), 0);
    ASSERT_EQ(m_file.InsertHorizPageBreak(3), 0);
    EXPECT_EQ(m_file.InsertHorizPageBreak(0), ExcelFile::ValueDoesNotFit);
    EXPECT_EQ(m_file.InsertHorizPageBreak(65537), ExcelFile::ValueDoesNotFit);
    ASSERT_EQ(m_file.CloseFile(), 0);
    EXPECT_EQ(written(),
              bytesOf({0x1B, 0x00, 0x08, 0x00, 0x03, 0x00, 0x02, 0x00, 0x02, 0x00, 0xFF, 0xFF}) +
                  Eof);
}

TEST_F(ExcelFileTest, PageBreakListStopsWhereItsRecordLengthWouldOverflow) {
    for (int row = 0; row < 32766; ++row) {
        ASSERT_EQ(m_file.InsertHorizPageBreak(1), 0);
    }
    EXPECT_EQ(m_file.InsertHorizPageBreak(1), ExcelFile::ValueDoesNotFit);
    ASSERT_EQ(m_file.CloseFile(), 0);
    const auto records = splitRecords(m_sink.bytes());
    ASSERT_EQ(records.size(), 29U);
    EXPECT_EQ(records[27].body.size(), 2U * 32766 + 2);
}

TEST_F(ExcelFileTest, CloseWithoutPageBreaksWritesOnlyEof) {
    ASSERT_EQ(m_file.CloseFile(), 0);
    EXPECT_EQ(written(), Eof);
}

struct SwitchCase {
    const char* name;
    void (ExcelFile::*set)(bool);
    bool value;
    std::string expected;
};

class ExcelSwitchTest : public ExcelFileTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(ExcelSwitchTest, WritesItsTwoByteFlag) {
    (m_file.*GetParam().set)(GetParam().value);
    EXPECT_EQ(written(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, ExcelSwitchTest,
    ::testing::Values(SwitchCase{"GridOn", &ExcelFile::PrintGridLines, true,
                                 bytesOf({0x2B, 0x00, 0x02, 0x00, 0x01, 0x00})},
                      SwitchCase{"GridOff", &ExcelFile::PrintGridLines, false,
                                 bytesOf({0x2B, 0x00, 0x02, 0x00, 0x00, 0x00})},
                      SwitchCase{"ProtectOn", &ExcelFile::ProtectSpreadsheet, true,
                                 bytesOf({0x12, 0x00, 0x02, 0x00, 0x01, 0x00})},
                      SwitchCase{"ProtectOff", &ExcelFile::ProtectSpreadsheet, false,
                                 bytesOf({0x12, 0x00, 0x02, 0x00, 0x00, 0x00})}),
    [](const auto& row) { return std::string(row.param.name); });

/// One record operation, what it must write, or the code it must return without writing.
struct RecordCase {
    const char* name;
    std::function<std::int16_t(ExcelFile&)> call;
    std::int16_t result;
    std::string expected;
};

class ExcelRecordTest : public ExcelFileTest, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(ExcelRecordTest, WritesTheRecordOrNothing) {
    EXPECT_EQ(GetParam().call(m_file), GetParam().result);
    EXPECT_EQ(written(), GetParam().expected);
}

std::string doubleBytes(double value) {
    std::string out(8, '\0');
    std::memcpy(out.data(), &value, 8);
    return out;
}

RecordCase cell(const char* name, std::int32_t type, const CellValue& value, std::int16_t result,
                std::string expected) {
    return {name,
            [type, value](ExcelFile& file) { return file.WriteValue(type, 0, 0, 0, 1, 1, value); },
            result, std::move(expected)};
}

const std::string CellHead = bytesOf({0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
const std::string IntegerHead = bytesOf({0x02, 0x00, 0x09, 0x00}) + CellHead;
const std::string NumberHead = bytesOf({0x03, 0x00, 0x0F, 0x00}) + CellHead;

INSTANTIATE_TEST_SUITE_P(
    Cells, ExcelRecordTest,
    ::testing::Values(
        cell("IntegerFromInteger", 0, std::int64_t{-2}, 0, IntegerHead + bytesOf({0xFE, 0xFF})),
        cell("IntegerHalfDown", 0, 2.5, 0, IntegerHead + bytesOf({0x02, 0x00})),
        cell("IntegerHalfUp", 0, 3.5, 0, IntegerHead + bytesOf({0x04, 0x00})),
        cell("IntegerNegativeHalf", 0, -2.5, 0, IntegerHead + bytesOf({0xFE, 0xFF})),
        cell("IntegerFromText", 0, std::string(" 300 "), 0, IntegerHead + bytesOf({0x2C, 0x01})),
        cell("IntegerLargest", 0, 32767.4, 0, IntegerHead + bytesOf({0xFF, 0x7F})),
        cell("IntegerTooLarge", 0, std::int64_t{32768}, 6, ""),
        cell("IntegerTooSmall", 0, -32768.6, 6, ""),
        cell("IntegerNotANumber", 0, std::string("12 Main St"), ExcelFile::CannotConvert, ""),
        cell("IntegerEmptyText", 0, std::string(), ExcelFile::CannotConvert, ""),
        cell("NumberFromDouble", 1, 1.25, 0, NumberHead + doubleBytes(1.25)),
        cell("NumberFromInteger", 1, std::int64_t{7}, 0, NumberHead + doubleBytes(7.0)),
        cell("NumberFromText", 1, std::string("-3.5e2"), 0, NumberHead + doubleBytes(-350.0)),
        cell("NumberTextOutOfRange", 1, std::string("1e999"), 6, ""),
        cell("NumberInfinityText", 1, std::string("inf"), ExcelFile::CannotConvert, ""),
        cell("NumberInfinity", 1, std::numeric_limits<double>::infinity(), 6, ""),
        cell("TextFromDouble", 2, 1.5, 0,
             bytesOf({0x04, 0x00, 0x0B, 0x00}) + CellHead + "\x03" + "1.5"),
        cell("TextFromInteger", 2, std::int64_t{-42}, 0,
             bytesOf({0x04, 0x00, 0x0B, 0x00}) + CellHead + "\x03" + "-42"),
        cell("TypeThree", 3, std::string("x"), 0, ""), cell("TypeMinusOne", -1, 1.0, 0, ""),
        cell("TypeLarge", 1000, std::int64_t{1}, 0, "")),
    [](const auto& row) { return std::string(row.param.name); });

RecordCase call(const char* name, std::function<std::int16_t(ExcelFile&)> operation,
                std::int16_t result, std::string expected) {
    return {name, std::move(operation), result, std::move(expected)};
}

INSTANTIATE_TEST_SUITE_P(
    Records, ExcelRecordTest,
    ::testing::Values(
        call(
            "LastRowAndColumn",
            [](ExcelFile& f) { return f.WriteValue(2, 192, 255, 255, 65536, 256, std::string()); },
            0, bytesOf({0x04, 0x00, 0x08, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xC0, 0xFF, 0x00})),
        call(
            "FontPlusFormat",
            [](ExcelFile& f) { return f.WriteValue(2, 192, 0, 0, 1, 1, std::string(), 63); }, 0,
            bytesOf({0x04, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00})),
        call(
            "FontPlusFormatTooLarge",
            [](ExcelFile& f) { return f.WriteValue(2, 192, 0, 0, 1, 1, std::string(), 64); }, 6,
            ""),
        call(
            "HiddenLockedTooLarge",
            [](ExcelFile& f) { return f.WriteValue(2, 0, 0, 256, 1, 1, std::string()); }, 6, ""),
        call(
            "AlignmentNegative",
            [](ExcelFile& f) { return f.WriteValue(2, 0, -1, 0, 1, 1, std::string()); }, 6, ""),
        call(
            "RowZero", [](ExcelFile& f) { return f.WriteValue(2, 0, 0, 0, 0, 1, std::string()); },
            6, ""),
        call(
            "RowBeyondSixteenBits",
            [](ExcelFile& f) { return f.WriteValue(2, 0, 0, 0, 65537, 1, std::string()); }, 6, ""),
        call(
            "ColumnZeroEvenForUnknownType",
            [](ExcelFile& f) { return f.WriteValue(9, 0, 0, 0, 1, 0, std::string()); }, 6, ""),
        call(
            "UnknownTypeIgnoresAttributes",
            [](ExcelFile& f) { return f.WriteValue(5, 0, 0, 999, 1, 1, std::string("x")); }, 0, ""),
        call(
            "ValueConvertedBeforeAttributesChecked",
            [](ExcelFile& f) { return f.WriteValue(0, 0, 0, 999, 1, 1, std::string("abc")); },
            ExcelFile::CannotConvert, ""),
        call(
            "LeftMargin", [](ExcelFile& f) { return f.SetMargin(ExcelFile::LeftMargin, 0.75); }, 0,
            bytesOf({0x26, 0x00, 0x08, 0x00}) + doubleBytes(0.75)),
        call(
            "MarginIdTooLarge", [](ExcelFile& f) { return f.SetMargin(40000, 1.0); }, 6, ""),
        call(
            "ColumnWidth", [](ExcelFile& f) { return f.SetColumnWidth(1, 3, 10); }, 0,
            bytesOf({0x24, 0x00, 0x04, 0x00, 0x00, 0x02, 0x00, 0x0A})),
        call(
            "ColumnWidthWidest", [](ExcelFile& f) { return f.SetColumnWidth(2, 2, 127); }, 0,
            bytesOf({0x24, 0x00, 0x04, 0x00, 0x01, 0x01, 0x00, 0x7F})),
        call(
            "ColumnWidthTooWide", [](ExcelFile& f) { return f.SetColumnWidth(1, 1, 128); }, 6, ""),
        call(
            "ColumnWidthFirstZero", [](ExcelFile& f) { return f.SetColumnWidth(0, 1, 10); }, 6, ""),
        call(
            "ColumnWidthLastZero", [](ExcelFile& f) { return f.SetColumnWidth(1, 0, 10); }, 6, ""),
        call(
            "FontTallest", [](ExcelFile& f) { return f.SetFont("A", 1638, 15); }, 0,
            bytesOf({0x31, 0x00, 0x06, 0x00, 0xF8, 0x7F, 0x0F, 0x00, 0x01}) + "A"),
        call(
            "FontTooTall", [](ExcelFile& f) { return f.SetFont("A", 1639, 0); }, 6, ""),
        call(
            "FontFlagsTooLarge", [](ExcelFile& f) { return f.SetFont("A", 10, 256); }, 6, ""),
        call(
            "FontNameTooLong", [](ExcelFile& f) { return f.SetFont(std::string(256, 'f'), 10, 0); },
            6, ""),
        call(
            "Header", [](ExcelFile& f) { return f.SetHeader("BIFF 2.1 API"); }, 0,
            bytesOf({0x14, 0x00, 0x0D, 0x00, 0x0C}) + "BIFF 2.1 API"),
        call(
            "HeaderTooLong", [](ExcelFile& f) { return f.SetHeader(std::string(256, 'h')); }, 6,
            ""),
        call(
            "Footer", [](ExcelFile& f) { return f.SetFooter(""); }, 0,
            bytesOf({0x15, 0x00, 0x01, 0x00, 0x00})),
        call(
            "FooterTooLong", [](ExcelFile& f) { return f.SetFooter(std::string(300, 'f')); }, 6,
            ""),
        call(
            "FilePassword", [](ExcelFile& f) { return f.SetFilePassword("abc"); }, 0,
            bytesOf({0x2F, 0x00, 0x03, 0x00}) + "abc"),
        call(
            "DefaultRowHeight", [](ExcelFile& f) { return f.SetDefaultRowHeight(12); }, 0,
            bytesOf({0x25, 0x00, 0x02, 0x00, 0xF0, 0x00})),
        call(
            "DefaultRowHeightTooTall", [](ExcelFile& f) { return f.SetDefaultRowHeight(1639); }, 6,
            ""),
        call(
            "RowHeight", [](ExcelFile& f) { return f.SetRowHeight(3, 15); }, 0,
            bytesOf({0x08, 0x00, 0x10, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01,
                     0x2C, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00})),
        call(
            "RowHeightRowZero", [](ExcelFile& f) { return f.SetRowHeight(0, 15); }, 6, ""),
        call(
            "RowHeightTooTall", [](ExcelFile& f) { return f.SetRowHeight(1, -1639); }, 6, "")),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ExcelFileMki, LowByteFirst) {
    EXPECT_EQ(ExcelFile::MKI(0x1234), bytesOf({0x34, 0x12}));
    EXPECT_EQ(ExcelFile::MKI(-2), bytesOf({0xFE, 0xFF}));
}

TEST(ExcelFileNeverCreated, CloseSucceedsAndWritesNothing) {
    ExcelFile file;
    EXPECT_EQ(file.CloseFile(), 0);
    EXPECT_EQ(file.WriteValue(2, 0, 0, 0, 1, 1, std::string("x")), ExcelFile::FileNotOpen);
    EXPECT_THROW(file.WriteDefaultFormats(), support::SinkError);
}

TEST_F(ExcelFileTest, ClosedObjectFailsEveryOperationAndWritesNothing) {
    ASSERT_EQ(m_file.CloseFile(), 0);
    const std::size_t size = m_sink.size();
    EXPECT_EQ(m_file.CloseFile(), ExcelFile::FileNotOpen);
    EXPECT_EQ(text(1, 1, "x"), ExcelFile::FileNotOpen);
    EXPECT_EQ(m_file.WriteValue(7, 0, 0, 0, 1, 1, std::string("x")), ExcelFile::FileNotOpen);
    EXPECT_EQ(m_file.SetFont("Verdana", 10, 0), ExcelFile::FileNotOpen);
    EXPECT_EQ(m_file.SetHeader("h"), ExcelFile::FileNotOpen);
    EXPECT_EQ(m_file.SetFooter("f"), ExcelFile::FileNotOpen);
    EXPECT_EQ(m_file.SetMargin(ExcelFile::TopMargin, 1.0), ExcelFile::FileNotOpen);
    EXPECT_EQ(m_file.SetColumnWidth(1, 1, 1), ExcelFile::FileNotOpen);
    EXPECT_EQ(m_file.SetFilePassword("p"), ExcelFile::FileNotOpen);
    EXPECT_EQ(m_file.SetDefaultRowHeight(10), ExcelFile::FileNotOpen);
    EXPECT_EQ(m_file.SetRowHeight(1, 10), ExcelFile::FileNotOpen);
    EXPECT_EQ(m_file.InsertHorizPageBreak(1), ExcelFile::FileNotOpen);
    m_file.PrintGridLines(true);
    m_file.ProtectSpreadsheet(true);
    EXPECT_THROW(m_file.WriteDefaultFormats(), support::SinkError);
    EXPECT_EQ(m_sink.size(), size);
    EXPECT_NE(m_file.lastError(), "");
}

TEST_F(ExcelFileTest, NewFileClosesTheOpenOneAndForgetsItsPageBreaks) {
    ASSERT_EQ(m_file.InsertHorizPageBreak(4), 0);
    support::MemorySink second;
    ASSERT_EQ(m_file.CreateFile(second), 0);
    EXPECT_EQ(written(), bytesOf({0x1B, 0x00, 0x04, 0x00, 0x01, 0x00, 0x03, 0x00}) + Eof);
    ASSERT_EQ(m_file.CloseFile(), 0);
    EXPECT_EQ(second.size(), EmptyFileSize);
}

TEST(ExcelFileFailingSink, CreationThatCannotWriteLeavesNoOpenFile) {
    support::FailingSink sink(100);
    ExcelFile file;
    EXPECT_EQ(file.CreateFile(sink), 0);
    EXPECT_FALSE(file.isOpen());
    EXPECT_NE(file.lastError().find("disk is full"), std::string::npos);
    EXPECT_EQ(file.SetHeader("x"), ExcelFile::FileNotOpen);
    EXPECT_EQ(file.CloseFile(), ExcelFile::FileNotOpen);
}

TEST(ExcelFileFailingSink, FailedRecordLeavesEarlierBytesAndReportsTheCause) {
    support::FailingSink sink(StartSize + 10);
    ExcelFile file;
    ASSERT_EQ(file.CreateFile(sink), 0);
    EXPECT_EQ(file.WriteValue(2, 0, 0, 0, 1, 1, std::string("long enough")),
              ExcelFile::WriteFailed);
    EXPECT_EQ(sink.size(), StartSize);
    EXPECT_NE(file.lastError().find("disk is full"), std::string::npos);
    EXPECT_EQ(file.SetFooter("ok"), 0);
    EXPECT_EQ(sink.size(), StartSize + 7);
    EXPECT_EQ(file.CloseFile(), ExcelFile::WriteFailed);
    EXPECT_FALSE(file.isOpen());
}

TEST(ExcelFileOnDisk, CreatesAndReplacesTheNamedFile) {
    const TempDir dir;
    const auto path = dir.write("sheet.xls", std::string(5000, 'x'));
    ExcelFile file;
    EXPECT_EQ(file.CreateFile(path.string()), 0);
    ASSERT_TRUE(file.isOpen()) << file.lastError();
    EXPECT_EQ(file.fileName(), path.string());
    ASSERT_EQ(file.CloseFile(), 0);
    EXPECT_EQ(readFile(path).size(), EmptyFileSize);
    EXPECT_EQ(file.SetHeader("late"), ExcelFile::FileNotOpen);
    EXPECT_EQ(readFile(path).size(), EmptyFileSize);
}

TEST(ExcelFileOnDisk, CreationFailureIsReturnedAsZeroButExplained) {
    const TempDir dir;
    std::filesystem::create_directory(dir.path() / "in the way.xls");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {(dir.path() / "in the way.xls").string(), "folder"},
        {(dir.path() / "missing" / "sheet.xls").string(), "no such file"},
    };
    for (const auto& [path, cause] : cases) {
        ExcelFile file;
        EXPECT_EQ(file.CreateFile(path), 0);
        EXPECT_FALSE(file.isOpen());
        EXPECT_NE(file.lastError().find(path), std::string::npos) << file.lastError();
        EXPECT_NE(file.lastError().find(cause), std::string::npos) << file.lastError();
        EXPECT_EQ(file.WriteValue(2, 0, 0, 0, 1, 1, std::string("x")), ExcelFile::FileNotOpen);
        EXPECT_NE(file.CloseFile(), 0);
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "in the way.xls"));
}

} // namespace
} // namespace plumbrae::testing
