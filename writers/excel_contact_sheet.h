#pragma once

#include "core/contact_output.h"
#include "core/contact_record.h"
#include "support/byte_sink.h"
#include "writers/excel_file.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plumbrae::writers {

/// The Excel saving option: one worksheet `ZimbraContacts.xls` per run, a bold header row of 36
/// column titles, then the contact of queued file number n in row n + 1, every cell a
/// left-aligned text. The program keeps one sheet object, and with it one `ExcelFile`, for its
/// whole life; every run starts a new file on it.
class ExcelContactSheet : public core::ContactOutput {
public:
    static constexpr std::string_view FileName = "ZimbraContacts.xls";
    static constexpr std::string_view PageHeader = "BIFF 2.1 API";
    static constexpr std::size_t ColumnCount = 36;
    /// BIFF2 rows are 16-bit: the header row plus this many contact rows.
    static constexpr std::int32_t MaxContacts = 65535;

    /// Header text of each column, column 1 first.
    static const std::array<std::string_view, ColumnCount>& columnTitles();

    ExcelContactSheet() = default;

    [[nodiscard]] std::string checkQueueSize(std::int32_t rowCount) const override;
    /// Creates `outputFolder` + "ZimbraContacts.xls" with its fonts, page header and header row.
    /// Throws core::OutputError naming the file and the cause; no half-made file stays behind.
    void open(const std::string& outputFolder) override;
    void write(const core::ContactToWrite& contact) override;
    /// Ends the worksheet with its EOF record. Throws core::OutputError when that fails.
    void close() override;
    /// Ends the worksheet as far as the disk allows; the rows written so far stay readable.
    void abandon() noexcept override;
    /// Lines naming the contacts that lost a column because its value was too long for a cell.
    [[nodiscard]] std::vector<std::string> notes() const override;

    /// The same set-up on a sink the caller owns (tests, benchmarks); `name` is used in
    /// messages.
    void openOn(support::ByteSink& sink, const std::string& name);

    /// Writes the 36 cells of one contact row at row `xlsCnt` + 1, in the column order 1-8,
    /// 14-18, 9-13, 19-36. A value longer than 255 characters is left out of the row and noted.
    /// Throws core::OutputError when the worksheet cannot be written.
    void Save2ExcelContact(const core::ContactRecord& record, std::int32_t xlsCnt);

    /// `BusinessAddress` as column 14 shows it (when empty, the column shows `BusinessStreet`):
    /// each backslash-"n" pair becomes ", ", then every other backslash goes.
    static std::string businessAddressCell(std::string_view address);

    /// The worksheet writer this sheet drives.
    [[nodiscard]] const ExcelFile& file() const { return m_file; }

private:
    void setUp(const std::string& name);
    void check(std::int16_t result) const;

    ExcelFile m_file;
    std::string m_name;
    /// One entry per value left out; `m_omittedCount` counts those not kept.
    std::vector<std::string> m_omitted;
    std::size_t m_omittedCount = 0;
};

} // namespace plumbrae::writers
