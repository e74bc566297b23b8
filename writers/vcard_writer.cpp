#include "writers/vcard_writer.h"

#include "core/path_text.h"
#include "support/file_path.h"
#include "support/text.h"

#include <array>
#include <filesystem>

namespace plumbrae::writers {
namespace {

using core::ContactRecord;

/// One line of the card: its property name, then literal texts and field values in turn.
/// `literals` has one more entry than `fields`: literal, field, literal, ..., literal.
struct LineLayout {
    std::string_view property;
    std::array<std::string_view, 8> literals;
    std::array<std::string ContactRecord::*, 7> fields;
    std::size_t fieldCount;
    bool isLabel;
};

constexpr std::string_view QpLabel = "ENCODING=QUOTED-PRINTABLE";

// clang-format off
const std::array<LineLayout, 18> Layout = {{
    {"N", {"", ";", ";"}, {&ContactRecord::LastName, &ContactRecord::FirstName, &ContactRecord::MiddleName}, 3, false},
    {"FN", {"", ""}, {&ContactRecord::FullName}, 1, false},
    {"ORG", {"", ";", ""}, {&ContactRecord::Company, &ContactRecord::Department}, 2, false},
    {"TITLE", {"", ""}, {&ContactRecord::JobTitle}, 1, false},
    {"TEL;WORK;VOICE", {"", ""}, {&ContactRecord::OfficePhone}, 1, false},
    {"TEL;HOME;VOICE", {"", ""}, {&ContactRecord::HomePhone}, 1, false},
    {"TEL;CELL;VOICE", {"", ""}, {&ContactRecord::CellPhone}, 1, false},
    {"TEL;PAGER;VOICE", {"", ""}, {&ContactRecord::Pager}, 1, false},
    {"TEL;WORK;FAX", {"", ""}, {&ContactRecord::OfficeFax}, 1, false},
    {"TEL;HOME;FAX", {"", ""}, {&ContactRecord::HomeFax}, 1, false},
    {"ADR;WORK", {";", ";", ";", ";", ";", ";", ""},
     {&ContactRecord::Location, &ContactRecord::BusinessStreet, &ContactRecord::BusinessCity,
      &ContactRecord::BusinessState, &ContactRecord::BusinessZip, &ContactRecord::BusinessCountry}, 6, false},
    {"LABEL;WORK;ENCODING=QUOTED-PRINTABLE", {"BusinessOffice=0D=0A", "=0D=0A", ", ", " ", "=0D=0A", ""},
     {&ContactRecord::BusinessStreet, &ContactRecord::BusinessCity, &ContactRecord::BusinessState,
      &ContactRecord::BusinessZip, &ContactRecord::BusinessCountry}, 5, true},
    {"ADR;HOME", {";;", ";", ";", ";", ";", ""},
     {&ContactRecord::PersonalStreet, &ContactRecord::PersonalCity, &ContactRecord::PersonalState,
      &ContactRecord::PersonalZip, &ContactRecord::PersonalCountry}, 5, false},
    {"LABEL;HOME;ENCODING=QUOTED-PRINTABLE", {"", "=0D=0A", ", ", " ", "=0D=0A", ""},
     {&ContactRecord::PersonalStreet, &ContactRecord::PersonalCity, &ContactRecord::PersonalState,
      &ContactRecord::PersonalZip, &ContactRecord::PersonalCountry}, 5, true},
    {"URL;HOME", {"", ""}, {&ContactRecord::WebPage}, 1, false},
    {"URL;WORK", {"", ""}, {&ContactRecord::WebPage}, 1, false},
    {"EMAIL;PREF;INTERNET", {"", ""}, {&ContactRecord::Email}, 1, false},
    {"NOTE", {"", ""}, {&ContactRecord::Comments}, 1, false},
}};
// clang-format on

bool hasLineBreak(std::string_view value) {
    return value.find_first_of("\r\n") != std::string_view::npos;
}

/// Appends a value with ";" escaped, and in quoted-printable lines "=" and line breaks encoded.
void appendValue(std::string& out, std::string_view value, bool quotedPrintable) {
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == ';') {
            out.append("\\;");
        } else if (quotedPrintable && c == '=') {
            out.append("=3D");
        } else if (quotedPrintable && (c == '\r' || c == '\n')) {
            out.append("=0D=0A");
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
                ++i;
            }
        } else {
            out.push_back(c);
        }
    }
}

void appendLine(std::string& out, const LineLayout& line, const ContactRecord& record) {
    bool quotedPrintable = line.isLabel;
    for (std::size_t i = 0; i < line.fieldCount && !quotedPrintable; ++i) {
        quotedPrintable = hasLineBreak(record.*line.fields[i]);
    }
    out.append(line.property);
    if (quotedPrintable && !line.isLabel) {
        out.push_back(';');
        out.append(QpLabel);
    }
    out.push_back(':');
    for (std::size_t i = 0; i < line.fieldCount; ++i) {
        out.append(line.literals[i]);
        appendValue(out, record.*line.fields[i], quotedPrintable);
    }
    out.append(line.literals[line.fieldCount]);
    out.append("\r\n");
}

} // namespace

std::string vCardText(const ContactRecord& record) {
    std::string out = "BEGIN:VCARD\r\nVERSION:2.1\r\n";
    for (const auto& line : Layout) {
        appendLine(out, line, record);
    }
    out.append("End:VCARD\r\n");
    return out;
}

void writeVCard(const ContactRecord& record, support::ByteSink& sink) {
    sink.write(vCardText(record));
}

void Save2vCardContact(const std::string& sFile, const ContactRecord& record,
                       std::int32_t vCardCnt) {
    (void)vCardCnt;
    const auto path = support::pathFromUtf8(sFile);
    support::FileSink sink(path);
    try {
        writeVCard(record, sink);
        sink.close();
    } catch (const support::SinkError&) {
        // Leave no half-written card behind; the caller reports the failure.
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        throw;
    }
}

void VCardOutput::open(const std::string& outputFolder) {
    m_folder = std::string(outputFolder);
    m_usedNames.clear();
}

void VCardOutput::write(const core::ContactToWrite& contact) {
    std::string name = core::vCardFileName(contact.asRead.FullName, contact.contactNumber);
    // Names that differ only in case are one file on Windows (and to most file systems
    // a folder is copied to), so they count as the same name.
    if (!m_usedNames.insert(support::asciiLower(name)).second) {
        const std::string stem = name.substr(0, name.size() - 4);
        for (int copy = 2;; ++copy) {
            std::string candidate = stem + " (" + std::to_string(copy) + ").vcf";
            if (m_usedNames.insert(support::asciiLower(candidate)).second) {
                name = std::move(candidate);
                break;
            }
        }
    }
    try {
        Save2vCardContact(m_folder + name, contact.trimmed, contact.contactNumber);
    } catch (const support::SinkError& error) {
        throw core::OutputError(std::string("The vCard could not be written: ") + error.what());
    }
}

void VCardOutput::close() {
    m_usedNames.clear();
}

} // namespace plumbrae::writers
