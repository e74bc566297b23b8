// The contact sheet inside a whole conversion run: what the user sees when files cannot be
// read, values do not fit, the sheet cannot be created or the queue is too long.

#include "core/conversion_run.h"
#include "tests/support/scripted_host.h"
#include "tests/support/temp_dir.h"
#include "tests/writers/excel_records.h"
#include "writers/excel_contact_sheet.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <vector>

namespace plumbrae::testing {
namespace {

using core::OutputKind;
using core::RunReport;
using writers::ExcelContactSheet;

std::string metaFile(const std::string& first, const std::string& last, std::size_t notes = 0) {
    std::string line = "d3:fldd9:firstName" + std::to_string(first.size()) + ":" + first +
                       "8:lastName" + std::to_string(last.size()) + ":" + last;
    if (notes > 0) {
        line += "5:notes" + std::to_string(notes) + ":" + std::string(notes, 'n');
    }
    return "header line\r\n" + line + "e";
}

class ExcelRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_host.option = OutputKind::Excel;
        m_host.folderAnswer = m_out.folder();
    }
    RunReport run() {
        core::ConversionRun conversion(m_host, [this](OutputKind kind) {
            return kind == OutputKind::Excel ? &m_sheet : nullptr;
        });
        return conversion.run();
    }
    /// Row (0-based, as in the file) -> cells written in it.
    [[nodiscard]] std::map<int, std::vector<LabelCell>> sheetRows() const {
        const std::string bytes = readFile(m_out.path() / "ZimbraContacts.xls");
        bool complete = false;
        const auto records = splitRecords(bytes, &complete);
        EXPECT_TRUE(complete);
        EXPECT_EQ(records.back().id, 0x000A) << "the sheet ends with EOF";
        std::map<int, std::vector<LabelCell>> rows;
        for (const auto& record : records) {
            if (record.id == 0x0004) {
                const LabelCell cell = readLabel(record);
                rows[cell.row].push_back(cell);
            }
        }
        return rows;
    }

    TempDir m_in;
    TempDir m_out;
    ScriptedHost m_host;
    ExcelContactSheet m_sheet;
};

TEST_F(ExcelRunTest, UnreadableFileLeavesItsRowEmptyAndIsListed) {
    m_host.queue = {m_in.write("a.meta", metaFile("Ann", "Lee")).string(),
                    (m_in.path() / "missing.meta").string(),
                    m_in.write("c.meta", metaFile("Cy", "Ng")).string()};
    const RunReport report = run();
    EXPECT_EQ(report.outcome, RunReport::Outcome::Completed);
    EXPECT_EQ(report.converted, 2);
    ASSERT_EQ(report.failures.size(), 1U);
    EXPECT_NE(report.finalMessage.text.find("missing.meta"), std::string::npos);
    const auto rows = sheetRows();
    ASSERT_EQ(rows.size(), 3U) << "header, first and third contact";
    EXPECT_EQ(rows.at(1).front().text, "Ann");
    EXPECT_EQ(rows.count(2), 0U);
    EXPECT_EQ(rows.at(3).front().text, "Cy");
}

TEST_F(ExcelRunTest, ClosingMessageNamesTheContactThatLostAColumn) {
    m_host.queue = {m_in.write("a.meta", metaFile("Ann", "Lee", 300)).string(),
                    m_in.write("b.meta", metaFile("Bo", "Ek", 255)).string()};
    const RunReport report = run();
    EXPECT_EQ(report.outcome, RunReport::Outcome::Completed);
    EXPECT_NE(report.finalMessage.text.find("Contact 1 (Ann Lee): Comments"), std::string::npos)
        << report.finalMessage.text;
    EXPECT_EQ(report.finalMessage.text.find("Contact 2"), std::string::npos);
    const auto rows = sheetRows();
    EXPECT_EQ(rows.at(1).size(), 35U);
    EXPECT_EQ(rows.at(2).size(), 36U);
}

TEST_F(ExcelRunTest, SheetThatCannotBeCreatedStopsBeforeAnyFileIsRead) {
    std::filesystem::create_directory(m_out.path() / "ZimbraContacts.xls");
    m_host.queue = {m_in.write("a.meta", metaFile("Ann", "Lee")).string()};
    const RunReport report = run();
    EXPECT_EQ(report.outcome, RunReport::Outcome::Refused);
    EXPECT_EQ(report.converted, 0);
    EXPECT_TRUE(m_host.progress.empty());
    EXPECT_NE(report.finalMessage.text.find("ZimbraContacts.xls"), std::string::npos);
    EXPECT_NE(report.finalMessage.text.find("folder"), std::string::npos);
}

TEST_F(ExcelRunTest, QueueLongerThanTheRowsIsRefusedBeforeTheFolderPrompt) {
    m_host.queue.assign(65536, (m_in.path() / "x.meta").string());
    const RunReport report = run();
    EXPECT_EQ(report.outcome, RunReport::Outcome::Refused);
    EXPECT_NE(report.finalMessage.text.find("65535"), std::string::npos);
    EXPECT_TRUE(m_host.folderTitles.empty());
    EXPECT_FALSE(std::filesystem::exists(m_out.path() / "ZimbraContacts.xls"));
}

TEST_F(ExcelRunTest, StoppedRunStillClosesTheSheet) {
    m_host.queue = {m_in.write("a.meta", metaFile("Ann", "Lee")).string(),
                    m_in.write("b.meta", metaFile("Bo", "Ek")).string()};
    m_host.stopAfter = 1;
    const RunReport report = run();
    EXPECT_EQ(report.outcome, RunReport::Outcome::Interrupted);
    EXPECT_EQ(sheetRows().size(), 2U);
}

} // namespace
} // namespace plumbrae::testing
