#pragma once

#include "core/contact_output.h"
#include "core/contact_record.h"
#include "support/byte_sink.h"
#include "support/file_system.h"
#include "writers/csv_file.h"
#include "writers/excel_file.h"
#include "writers/group_sheet.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plumbrae::writers {

/// The Excel saving option: one worksheet `ZimbraContacts.xls` per run, a bold header row of 36
/// column titles, then one row per contact in queue order (a queued file that gave no contact
/// has no row), every cell a left-aligned text. Beside it `ZimbraContacts.csv` holds the same
/// titles and rows, every value whole and exactly as read (a worksheet cell holds at most 255
/// characters of one code page). The program keeps one sheet object, and with it one `ExcelFile`,
/// for its whole life; every run starts new files on it.
/// Contact groups have no row there (a group has no person's fields): they go to
/// `ZimbraGroups.csv` beside them (GroupSheet).
///
/// The worksheet's code page is chosen for the whole sheet (the Windows page that keeps the most
/// cells whole), so its rows are kept in memory and written when the run ends; the CSV is
/// written row by row as contacts come.
class ExcelContactSheet : public core::ContactOutput {
public:
    static constexpr std::string_view FileName = "ZimbraContacts.xls";
    static constexpr std::string_view CsvFileName = "ZimbraContacts.csv";
    static constexpr std::string_view PageHeader = "BIFF 2.1 API";
    static constexpr std::size_t ColumnCount = 36;
    /// BIFF2 rows are 16-bit: the header row plus this many contact rows.
    static constexpr std::int32_t MaxContacts = 65535;

    /// Header text of each column, column 1 first.
    static const std::array<std::string_view, ColumnCount>& columnTitles();

    ExcelContactSheet() = default;

    [[nodiscard]] std::string checkQueueSize(std::int32_t rowCount) const override;
    /// Creates `outputFolder` + "ZimbraContacts.xls" and "ZimbraContacts.csv"; the CSV gets its
    /// header row at once. "ZimbraGroups.csv" is begun by the run's first group. Throws
    /// core::OutputError naming the file and the cause; no half-made file stays behind.
    void open(const std::string& outputFolder) override;
    void write(const core::ContactToWrite& contact) override;
    /// Writes the group's rows into the groups file. Throws core::OutputError.
    bool writeGroup(const core::GroupToWrite& group) override;
    /// Writes the worksheet (code page, fonts, page header, header row, the rows) and ends every
    /// file. Throws core::OutputError when that fails.
    void close() override;
    /// Ends every file as far as the disk allows; the rows written so far stay readable.
    void abandon() noexcept override;
    /// False: neither file has a place for a contact's UID.
    [[nodiscard]] bool usesUid() const override { return false; }
    /// False: a value the worksheet could not hold whole is whole in the CSV, so no value is
    /// lost, though the notes name it.
    [[nodiscard]] bool valuesLost() const override { return false; }
    /// Names the worksheet, the CSV, the groups file and their folder; then the worksheet's code
    /// page and how many cells read "?" there.
    [[nodiscard]] std::vector<std::string> writtenFiles() const override;
    /// Lines naming the contacts that lost a column because its value was too long for a cell,
    /// and counting the cells whose characters the worksheet's code page lacks.
    [[nodiscard]] std::vector<core::MessageList> notes() const override;

    /// The same on sinks the caller owns (tests, benchmarks): the worksheet on `sheet`, the CSV
    /// on `csv` and the groups on `groups` when given; `name` is the worksheet's name in
    /// messages.
    void openOn(support::ByteSink& sheet, const std::string& name, support::ByteSink* csv = nullptr,
                support::ByteSink* groups = nullptr);

    /// Takes the 36 cells of the contact of queued file `xlsCnt` as the sheet's next row
    /// (written in the column order 1-8, 14-18, 9-13, 19-36 when the worksheet is written); the
    /// CSV gets the row at once. A value that does not fit a cell is left out of the worksheet
    /// and noted under the contact's number. Throws core::OutputError when the CSV cannot be
    /// written.
    void Save2ExcelContact(const core::ContactRecord& record, std::int32_t xlsCnt);

    /// The code page the worksheet was written in (after `close`).
    [[nodiscard]] std::uint16_t codePage() const { return m_file.codePage(); }

    /// `BusinessAddress` as column 14 shows it (when empty, the column shows `BusinessStreet`):
    /// each backslash-"n" pair becomes ", ", then every other backslash goes.
    static std::string businessAddressCell(std::string_view address);

    /// The worksheet writer this sheet drives.
    [[nodiscard]] const ExcelFile& file() const { return m_file; }

private:
    void start(support::ByteSink& sheet, const std::string& name, support::ByteSink* csv);
    void writeCsvRow(std::span<const std::string_view> cells);
    /// Writes the whole worksheet from the kept rows and closes it.
    void writeWorksheet();
    void writeRow(std::size_t index);
    void check(std::int16_t result) const;
    /// Gives up the worksheet after a failure: closed, and removed when it is a file of ours.
    void dropWorksheet() noexcept;

    ExcelFile m_file;
    std::string m_name;
    /// The files `open` created; empty when writing on a caller's sinks.
    std::string m_sheetPath;
    std::string m_csvPath;
    std::unique_ptr<support::ByteSink> m_ownedSheetSink;
    std::unique_ptr<support::ByteSink> m_ownedCsvSink;
    /// Held while a run's files are open in their folder.
    std::unique_ptr<support::OutputFolderLock> m_lock;
    support::ByteSink* m_sheetSink = nullptr;
    support::ByteSink* m_csvSink = nullptr;
    std::optional<CsvFile> m_csv;
    GroupSheet m_groups;
    /// The CSV's size after its last whole row.
    std::size_t m_csvCompleteSize = 0;
    /// Kept rows: the contact numbers, the name of each contact (for messages), and every
    /// cell's text; names and cells each one after the other in one string (36 cells per row),
    /// with where each one ends.
    std::vector<std::int32_t> m_rowNumbers;
    std::string m_rowNameText;
    std::vector<std::size_t> m_rowNameEnds;
    std::string m_cellText;
    std::vector<std::size_t> m_cellEnds;
    /// One entry per value left out, every one: the closing message's details list them all.
    std::vector<std::string> m_omitted;
};

} // namespace plumbrae::writers
