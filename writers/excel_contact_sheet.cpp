#include "writers/excel_contact_sheet.h"

#include "core/path_text.h"
#include "support/atomic_file_sink.h"
#include "support/code_page.h"
#include "support/file_path.h"
#include "support/text.h"

#include <filesystem>
#include <system_error>

namespace plumbrae::writers {

namespace {

// Cell attributes: header cells in the second font (bold), contact cells in the first (plain);
// every cell left-aligned, neither locked nor hidden, format 0 ("General").
constexpr std::int32_t HeaderFont = 64;
constexpr std::int32_t ContactFont = 0;
constexpr std::int32_t AlignLeft = 1;
constexpr std::int32_t NotLockedOrHidden = 0;
constexpr std::int32_t GeneralFormat = 0;

constexpr std::int16_t FontPoints = 10;
constexpr std::int16_t CourierPoints = 14;

// Columns in the order a contact row writes them.
constexpr std::array<std::int32_t, ExcelContactSheet::ColumnCount> WriteOrder = {
    1,  2,  3,  4,  5,  6,  7,  8,  14, 15, 16, 17, 18, 9,  10, 11, 12, 13,
    19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36};

using Field = std::string core::ContactRecord::*;

// The record field each column shows; nullptr for the two columns that are worked out (1 and 14).
constexpr std::array<Field, ExcelContactSheet::ColumnCount> ColumnFields = {
    nullptr,                               // 1: FirstName, or FullName
    &core::ContactRecord::MiddleName,      // 2
    &core::ContactRecord::LastName,        // 3
    &core::ContactRecord::Email,           // 4
    &core::ContactRecord::Suffix,          // 5
    &core::ContactRecord::Title,           // 6
    &core::ContactRecord::Company,         // 7
    &core::ContactRecord::JobTitle,        // 8
    &core::ContactRecord::Location,        // 9
    &core::ContactRecord::WebPage,         // 10
    &core::ContactRecord::Department,      // 11
    &core::ContactRecord::Manager,         // 12
    &core::ContactRecord::Assistant,       // 13
    nullptr,                               // 14: BusinessAddress, rewritten
    &core::ContactRecord::BusinessCity,    // 15
    &core::ContactRecord::BusinessZip,     // 16
    &core::ContactRecord::BusinessState,   // 17
    &core::ContactRecord::BusinessCountry, // 18
    &core::ContactRecord::OfficePhone,     // 19
    &core::ContactRecord::OfficeFax,       // 20
    &core::ContactRecord::CellPhone,       // 21
    &core::ContactRecord::Pager,           // 22
    &core::ContactRecord::OtherEmail1,     // 23
    &core::ContactRecord::OtherEmail2,     // 24
    &core::ContactRecord::OtherEmail3,     // 25
    &core::ContactRecord::PersonalStreet,  // 26
    &core::ContactRecord::PersonalCity,    // 27
    &core::ContactRecord::PersonalZip,     // 28
    &core::ContactRecord::PersonalState,   // 29
    &core::ContactRecord::PersonalCountry, // 30
    &core::ContactRecord::HomePhone,       // 31
    &core::ContactRecord::HomeFax,         // 32
    &core::ContactRecord::Pager,           // 33: the pager number again
    &core::ContactRecord::Birthday,        // 34, as the contact file writes it
    &core::ContactRecord::Anniversary,     // 35
    &core::ContactRecord::Comments,        // 36
};

/// The text of a column; column 14's rewritten address is made in `scratch`.
std::string_view cellValue(const core::ContactRecord& record, std::int32_t column,
                           std::string& scratch) {
    if (column == 1) {
        return support::trimSpaces(record.FirstName).empty() ? record.FullName : record.FirstName;
    }
    if (column == 14) {
        if (record.BusinessAddress.empty()) {
            return record.BusinessStreet;
        }
        scratch = ExcelContactSheet::businessAddressCell(record.BusinessAddress);
        return scratch;
    }
    const Field field = ColumnFields[static_cast<std::size_t>(column - 1)];
    return field == nullptr ? std::string_view() : std::string_view(record.*field);
}

} // namespace

const std::array<std::string_view, ExcelContactSheet::ColumnCount>&
ExcelContactSheet::columnTitles() {
    static const std::array<std::string_view, ColumnCount> titles = {
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
    return titles;
}

std::string ExcelContactSheet::businessAddressCell(std::string_view address) {
    std::string joined;
    joined.reserve(address.size());
    for (std::size_t at = 0; at < address.size(); ++at) {
        if (address[at] == '\\' && at + 1 < address.size() && address[at + 1] == 'n') {
            joined += ", ";
            ++at;
        } else {
            joined += address[at];
        }
    }
    std::erase(joined, '\\');
    return joined;
}

std::string ExcelContactSheet::checkQueueSize(std::int32_t rowCount) const {
    if (rowCount > MaxContacts) {
        return "A worksheet holds at most " + support::decimal(MaxContacts) +
               " contacts, one per row; the queue holds " + support::decimal(rowCount) +
               " files. Convert them in parts of at most " + support::decimal(MaxContacts) +
               " files.";
    }
    return {};
}

void ExcelContactSheet::check(std::int16_t result) const {
    if (result != ExcelFile::NoError) {
        throw core::OutputError(m_file.lastError());
    }
}

void ExcelContactSheet::open(const std::string& outputFolder) {
    m_ownedSheetSink.reset();
    m_ownedCsvSink.reset();
    m_sheetPath = outputFolder + std::string(FileName);
    m_csvPath = outputFolder + std::string(CsvFileName);
    // Both files are written aside and renamed into place whole when the run ends: until then
    // files of those names keep what they held, and a failure or a kill leaves them so.
    m_lock = std::make_unique<support::OutputFolderLock>(outputFolder,
                                                         support::AtomicFileSink::isAbandonedPart);
    try {
        m_ownedSheetSink =
            std::make_unique<support::AtomicFileSink>(support::pathFromUtf8(m_sheetPath), true);
        m_ownedCsvSink =
            std::make_unique<support::AtomicFileSink>(support::pathFromUtf8(m_csvPath), true);
        start(*m_ownedSheetSink, m_sheetPath, m_ownedCsvSink.get());
        m_groups.startIn(outputFolder);
    } catch (const support::SinkError& error) {
        m_sheetSink = nullptr;
        m_csvSink = nullptr;
        m_csv.reset();
        m_ownedSheetSink.reset();
        m_ownedCsvSink.reset();
        m_lock.reset();
        throw core::OutputError(error.what());
    }
}

void ExcelContactSheet::openOn(support::ByteSink& sheet, const std::string& name,
                               support::ByteSink* csv, support::ByteSink* groups) {
    m_ownedSheetSink.reset();
    m_ownedCsvSink.reset();
    m_sheetPath.clear();
    m_csvPath.clear();
    m_groups.startOn(groups);
    try {
        start(sheet, name, csv);
    } catch (const support::SinkError& error) {
        throw core::OutputError(error.what());
    }
}

void ExcelContactSheet::start(support::ByteSink& sheet, const std::string& name,
                              support::ByteSink* csv) {
    m_name = name;
    m_sheetSink = &sheet;
    m_csvSink = csv;
    m_omitted.clear();
    m_rowNumbers.clear();
    m_rowNameText.clear();
    m_rowNameEnds.clear();
    m_cellText.clear();
    m_cellEnds.clear();
    m_csv.reset();
    if (m_csvSink != nullptr) {
        m_csv.emplace(*m_csvSink);
        const auto& titles = columnTitles();
        const std::vector<std::string> header(titles.begin(), titles.end());
        m_csv->writeRow(header);
        m_csvCompleteSize = m_csvSink->size();
    }
}

void ExcelContactSheet::write(const core::ContactToWrite& contact) {
    Save2ExcelContact(contact.trimmed, contact.contactNumber);
}

bool ExcelContactSheet::writeGroup(const core::GroupToWrite& group) {
    m_groups.write(group.group);
    return true;
}

void ExcelContactSheet::writeCsvRow(std::span<const std::string_view> cells) {
    if (!m_csv) {
        return;
    }
    try {
        m_csv->writeRow(cells);
        m_csvCompleteSize = m_csvSink->size();
    } catch (const support::SinkError& error) {
        throw core::OutputError(error.what());
    }
}

void ExcelContactSheet::Save2ExcelContact(const core::ContactRecord& record, std::int32_t xlsCnt) {
    if (xlsCnt < 1 || xlsCnt > MaxContacts) {
        throw core::OutputError("contact " + support::decimal(xlsCnt) + " has no row in " + m_name +
                                ": a worksheet holds at most " + support::decimal(MaxContacts) +
                                " contacts");
    }
    std::string address;
    std::array<std::string_view, ColumnCount> cells;
    for (std::size_t column = 0; column < ColumnCount; ++column) {
        cells[column] = cellValue(record, static_cast<std::int32_t>(column + 1), address);
    }
    writeCsvRow(cells);
    m_rowNumbers.push_back(xlsCnt);
    m_rowNameText.append(support::trimSpaces(record.FullName));
    m_rowNameEnds.push_back(m_rowNameText.size());
    for (const auto cell : cells) {
        m_cellText.append(cell);
        m_cellEnds.push_back(m_cellText.size());
    }
}

void ExcelContactSheet::writeRow(std::size_t index) {
    // Rows follow one another below the header, whatever files gave no contact between them.
    const std::int32_t xlsCnt = m_rowNumbers[index];
    const auto row = static_cast<std::int32_t>(index) + 2;
    const std::size_t first = index * ColumnCount;
    const std::string_view cellText = m_cellText;
    for (const std::int32_t column : WriteOrder) {
        const std::size_t cell = first + static_cast<std::size_t>(column - 1);
        const std::size_t begin = cell == 0 ? 0 : m_cellEnds[cell - 1];
        const std::int16_t result =
            m_file.WriteText(ContactFont, AlignLeft, NotLockedOrHidden, row, column,
                             cellText.substr(begin, m_cellEnds[cell] - begin), GeneralFormat);
        if (result == ExcelFile::ValueDoesNotFit) {
            // The cell is left out; the closing message says which contact lost what.
            const std::size_t nameBegin = index == 0 ? 0 : m_rowNameEnds[index - 1];
            const std::string name =
                m_rowNameText.substr(nameBegin, m_rowNameEnds[index] - nameBegin);
            m_omitted.push_back("Contact " + support::decimal(xlsCnt) +
                                (name.empty() ? std::string() : " (" + name + ")") + ": " +
                                std::string(columnTitles()[static_cast<std::size_t>(column - 1)]));
            continue;
        }
        check(result);
    }
}

void ExcelContactSheet::writeWorksheet() {
    // The titles are ASCII, whole in every page: the contacts' cells choose.
    support::CodePageChooser chooser;
    std::size_t begin = 0;
    for (const std::size_t end : m_cellEnds) {
        chooser.addCell(std::string_view(m_cellText).substr(begin, end - begin));
        begin = end;
    }
    m_file.setCodePage(chooser.best());
    m_file.CreateFile(*m_sheetSink);
    if (!m_file.isOpen()) {
        throw core::OutputError(m_file.lastError());
    }
    m_omitted.clear();
    check(m_file.SetFont("Verdana", FontPoints, 0));
    check(m_file.SetFont("Verdana", FontPoints, ExcelFile::FontBold));
    check(m_file.SetFont("Verdana", FontPoints, ExcelFile::FontBold | ExcelFile::FontUnderlined));
    check(m_file.SetFont("Courier", CourierPoints, ExcelFile::FontBold | ExcelFile::FontItalic));
    check(m_file.WriteDefaultXf());
    check(m_file.SetHeader(std::string(PageHeader)));
    std::int32_t column = 1;
    for (const auto title : columnTitles()) {
        check(m_file.WriteValue(ExcelFile::TextCell, HeaderFont, AlignLeft, NotLockedOrHidden, 1,
                                column++, std::string(title), GeneralFormat));
    }
    for (std::size_t index = 0; index < m_rowNumbers.size(); ++index) {
        writeRow(index);
    }
    check(m_file.CloseFile());
    m_sheetSink = nullptr;
}

void ExcelContactSheet::close() {
    if (m_sheetSink == nullptr) {
        throw core::OutputError("the worksheet " + m_name + " is not open");
    }
    std::optional<core::OutputError> failure;
    try {
        writeWorksheet();
    } catch (const core::OutputError& error) {
        failure = error;
        dropWorksheet();
    }
    try {
        if (m_csvSink != nullptr) {
            m_csvSink->close();
        }
    } catch (const support::SinkError& error) {
        if (!failure) {
            failure.emplace(error.what());
        }
    }
    try {
        m_groups.finish();
    } catch (const core::OutputError& error) {
        if (!failure) {
            failure = error;
        }
    }
    m_csvSink = nullptr;
    m_csv.reset();
    m_ownedSheetSink.reset();
    m_ownedCsvSink.reset();
    m_lock.reset();
    if (failure) {
        throw *failure;
    }
}

void ExcelContactSheet::abandon() noexcept {
    // Whatever was taken in so far goes out as a complete worksheet and CSV, as far as the
    // disk allows: a worksheet that cannot be finished is removed, and the CSV is cut back to
    // its last whole row.
    if (m_sheetSink != nullptr) {
        try {
            writeWorksheet();
        } catch (const std::exception&) {
            dropWorksheet();
        }
    }
    if (m_csvSink != nullptr) {
        try {
            m_csvSink->close();
            // In place now: cut back to its last whole row.
            if (!m_csvPath.empty()) {
                std::error_code ignored;
                std::filesystem::resize_file(support::pathFromUtf8(m_csvPath), m_csvCompleteSize,
                                             ignored);
            }
        } catch (const support::SinkError&) {
            // Not put in place: the CSV of that name keeps what it held.
        }
    }
    m_groups.abandon();
    m_csvSink = nullptr;
    m_csv.reset();
    m_ownedSheetSink.reset();
    m_ownedCsvSink.reset();
    m_lock.reset();
}

void ExcelContactSheet::dropWorksheet() noexcept {
    // Never put in place: the worksheet of that name keeps what it held.
    m_file.DiscardFile();
    m_sheetSink = nullptr;
    m_ownedSheetSink.reset();
}

std::vector<std::string> ExcelContactSheet::writtenFiles() const {
    const std::string folder = core::GetParentPath(m_name);
    const std::string groups = m_groups.writtenFile();
    const std::size_t damaged = m_file.substitutedCells();
    return {
        "The contacts are in " + std::string(FileName) + " and, every value exactly as read, in " +
            std::string(CsvFileName) +
            (groups.empty() ? std::string() : "; the contact groups in " + groups) +
            (folder.empty() ? std::string() : ", in the folder " + core::folderForDisplay(folder)) +
            ".",
        "The worksheet is in code page " + support::codePageName(m_file.codePage()) + "; " +
            (damaged == 0 ? std::string("no cell reads \"?\".")
                          : support::decimal(static_cast<std::int64_t>(damaged)) +
                                (damaged == 1 ? " cell reads" : " cells read") + " \"?\"."),
    };
}

std::vector<core::MessageList> ExcelContactSheet::notes() const {
    std::vector<core::MessageList> lists;
    const std::string csv = std::string(CsvFileName);
    if (!m_omitted.empty()) {
        lists.push_back({"Values longer than 255 characters do not fit a worksheet cell and were "
                         "left out of " +
                             m_name + "; " + csv + " holds them whole:",
                         m_omitted});
    }
    if (m_file.substitutedCells() > 0) {
        lists.push_back({support::decimal(static_cast<std::int64_t>(m_file.substitutedCells())) +
                             " cell(s) hold characters that the worksheet's code page (" +
                             support::codePageName(m_file.codePage()) +
                             ") cannot show; they read \"?\" there. " + csv +
                             " holds every value exactly.",
                         {}});
    }
    return lists;
}

} // namespace plumbrae::writers
