#include "writers/excel_contact_sheet.h"

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

// The closing message lists at most this many left-out values, then how many more there were.
constexpr std::size_t MaxListedOmissions = 20;

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

std::string cellValue(const core::ContactRecord& record, std::int32_t column) {
    if (column == 1) {
        return support::trimSpaces(record.FirstName).empty() ? record.FullName : record.FirstName;
    }
    if (column == 14) {
        return record.BusinessAddress.empty()
                   ? record.BusinessStreet
                   : ExcelContactSheet::businessAddressCell(record.BusinessAddress);
    }
    const Field field = ColumnFields[static_cast<std::size_t>(column - 1)];
    return field == nullptr ? std::string() : record.*field;
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
    const std::string path = outputFolder + std::string(FileName);
    m_file.CreateFile(path);
    if (!m_file.isOpen()) {
        throw core::OutputError(m_file.lastError());
    }
    try {
        setUp(path);
    } catch (const core::OutputError&) {
        m_file.CloseFile();
        std::error_code ignored;
        std::filesystem::remove(support::pathFromUtf8(path), ignored);
        throw;
    }
}

void ExcelContactSheet::openOn(support::ByteSink& sink, const std::string& name) {
    m_file.CreateFile(sink);
    if (!m_file.isOpen()) {
        throw core::OutputError(m_file.lastError());
    }
    try {
        setUp(name);
    } catch (const core::OutputError&) {
        m_file.CloseFile();
        throw;
    }
}

void ExcelContactSheet::setUp(const std::string& name) {
    m_name = name;
    m_omitted.clear();
    m_omittedCount = 0;
    check(m_file.SetFont("Verdana", FontPoints, 0));
    check(m_file.SetFont("Verdana", FontPoints, ExcelFile::FontBold));
    check(m_file.SetFont("Verdana", FontPoints, ExcelFile::FontBold | ExcelFile::FontUnderlined));
    check(m_file.SetFont("Courier", CourierPoints, ExcelFile::FontBold | ExcelFile::FontItalic));
    check(m_file.SetHeader(std::string(PageHeader)));
    std::int32_t column = 1;
    for (const auto title : columnTitles()) {
        check(m_file.WriteValue(ExcelFile::TextCell, HeaderFont, AlignLeft, NotLockedOrHidden, 1,
                                column++, std::string(title), GeneralFormat));
    }
}

void ExcelContactSheet::write(const core::ContactToWrite& contact) {
    Save2ExcelContact(contact.trimmed, contact.contactNumber);
}

void ExcelContactSheet::Save2ExcelContact(const core::ContactRecord& record, std::int32_t xlsCnt) {
    if (xlsCnt < 1 || xlsCnt > MaxContacts) {
        throw core::OutputError("contact " + support::decimal(xlsCnt) + " has no row in " + m_name +
                                ": a worksheet holds at most " + support::decimal(MaxContacts) +
                                " contacts");
    }
    const std::int32_t row = xlsCnt + 1;
    for (const std::int32_t column : WriteOrder) {
        const std::int16_t result =
            m_file.WriteValue(ExcelFile::TextCell, ContactFont, AlignLeft, NotLockedOrHidden, row,
                              column, cellValue(record, column), GeneralFormat);
        if (result == ExcelFile::ValueDoesNotFit) {
            // The cell is left out; the closing message says which contact lost what.
            if (m_omitted.size() < MaxListedOmissions) {
                const auto name = support::trimSpaces(record.FullName);
                m_omitted.push_back(
                    "Contact " + support::decimal(xlsCnt) +
                    (name.empty() ? std::string() : " (" + std::string(name) + ")") + ": " +
                    std::string(columnTitles()[static_cast<std::size_t>(column - 1)]));
            }
            ++m_omittedCount;
            continue;
        }
        check(result);
    }
}

void ExcelContactSheet::close() {
    check(m_file.CloseFile());
}

void ExcelContactSheet::abandon() noexcept {
    if (m_file.isOpen()) {
        m_file.CloseFile();
    }
}

std::vector<std::string> ExcelContactSheet::notes() const {
    if (m_omittedCount == 0) {
        return {};
    }
    std::vector<std::string> lines;
    lines.reserve(m_omitted.size() + 2);
    lines.emplace_back("Values longer than 255 characters do not fit a worksheet cell and were "
                       "left out of " +
                       m_name + ":");
    lines.insert(lines.end(), m_omitted.begin(), m_omitted.end());
    if (m_omittedCount > m_omitted.size()) {
        lines.push_back(
            "and " +
            support::decimal(static_cast<std::int64_t>(m_omittedCount - m_omitted.size())) +
            " more");
    }
    return lines;
}

} // namespace plumbrae::writers
