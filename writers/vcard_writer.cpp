#include "writers/vcard_writer.h"

#include "core/contact_uid.h"
#include "core/path_text.h"
#include "support/atomic_file_sink.h"
#include "support/file_path.h"
#include "support/text.h"
#include "writers/vcard3_text.h"
#include "writers/vcard_im_p.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <span>
#include <utility>

namespace plumbrae::writers {
namespace {

using core::ContactRecord;

/// One line of the card: its property name, then literal texts and field values in turn.
/// `literals` has one more entry than `fields`: literal, field, literal, ..., literal. A line
/// with a `when` test is written only for a contact that passes it; the others always are.
struct LineLayout {
    std::string_view property;
    std::array<std::string_view, 8> literals;
    std::array<std::string ContactRecord::*, 7> fields;
    std::size_t fieldCount;
    bool isLabel;
    bool (*when)(const ContactRecord&) = nullptr;
};

constexpr std::string_view QpLabel = "ENCODING=QUOTED-PRINTABLE";

template <std::string ContactRecord::*Field> bool has(const ContactRecord& record) {
    return !(record.*Field).empty();
}
bool hasPrefixOrSuffix(const ContactRecord& record) {
    return !record.Title.empty() || !record.Suffix.empty();
}
bool hasNoPrefixOrSuffix(const ContactRecord& record) {
    return !hasPrefixOrSuffix(record);
}
bool hasOtherAddress(const ContactRecord& record) {
    return !record.OtherStreet.empty() || !record.OtherCity.empty() || !record.OtherState.empty() ||
           !record.OtherZip.empty() || !record.OtherCountry.empty();
}
bool hasNoWorkWebPage(const ContactRecord& record) {
    return record.WorkWebPage.empty();
}
// A date with its year, in any year, or a birthday without one ("--05-01"), which readers take
// in the ISO form the contact file writes.
bool hasBirthday(const ContactRecord& record) {
    return core::calendarDate(record.Birthday) || core::isYearlessDate(record.Birthday);
}
bool hasFullAnniversary(const ContactRecord& record) {
    return core::calendarDate(record.Anniversary).has_value();
}

// The lines every card has keep their order; a value that has no line of its own yet is written
// only when present, right after the line of its kind.
// clang-format off
const std::array<LineLayout, 40> Layout = {{
    {"N", {"", ";", ";"}, {&ContactRecord::LastName, &ContactRecord::FirstName, &ContactRecord::MiddleName}, 3, false, hasNoPrefixOrSuffix},
    {"N", {"", ";", ";", ";", ";", ""},
     {&ContactRecord::LastName, &ContactRecord::FirstName, &ContactRecord::MiddleName, &ContactRecord::Title, &ContactRecord::Suffix}, 5, false, hasPrefixOrSuffix},
    {"FN", {"", ""}, {&ContactRecord::FullName}, 1, false},
    {"NICKNAME", {"", ""}, {&ContactRecord::Nickname}, 1, false, has<&ContactRecord::Nickname>},
    {"ORG", {"", ";", ""}, {&ContactRecord::Company, &ContactRecord::Department}, 2, false},
    {"TITLE", {"", ""}, {&ContactRecord::JobTitle}, 1, false},
    {"TEL;WORK;VOICE", {"", ""}, {&ContactRecord::OfficePhone}, 1, false},
    {"TEL;WORK;VOICE", {"", ""}, {&ContactRecord::OfficePhone2}, 1, false, has<&ContactRecord::OfficePhone2>},
    {"TEL;HOME;VOICE", {"", ""}, {&ContactRecord::HomePhone}, 1, false},
    {"TEL;HOME;VOICE", {"", ""}, {&ContactRecord::HomePhone2}, 1, false, has<&ContactRecord::HomePhone2>},
    {"TEL;CELL;VOICE", {"", ""}, {&ContactRecord::CellPhone}, 1, false},
    {"TEL;CELL;VOICE", {"", ""}, {&ContactRecord::CellPhone2}, 1, false, has<&ContactRecord::CellPhone2>},
    {"TEL;PAGER;VOICE", {"", ""}, {&ContactRecord::Pager}, 1, false},
    {"TEL;WORK;FAX", {"", ""}, {&ContactRecord::OfficeFax}, 1, false},
    {"TEL;HOME;FAX", {"", ""}, {&ContactRecord::HomeFax}, 1, false},
    {"TEL;CAR;VOICE", {"", ""}, {&ContactRecord::CarPhone}, 1, false, has<&ContactRecord::CarPhone>},
    {"TEL;WORK", {"", ""}, {&ContactRecord::CompanyPhone}, 1, false, has<&ContactRecord::CompanyPhone>},
    {"TEL;VOICE", {"", ""}, {&ContactRecord::OtherPhone}, 1, false, has<&ContactRecord::OtherPhone>},
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
    {"ADR;POSTAL", {";;", ";", ";", ";", ";", ""},
     {&ContactRecord::OtherStreet, &ContactRecord::OtherCity, &ContactRecord::OtherState,
      &ContactRecord::OtherZip, &ContactRecord::OtherCountry}, 5, false, hasOtherAddress},
    {"LABEL;POSTAL;ENCODING=QUOTED-PRINTABLE", {"", "=0D=0A", ", ", " ", "=0D=0A", ""},
     {&ContactRecord::OtherStreet, &ContactRecord::OtherCity, &ContactRecord::OtherState,
      &ContactRecord::OtherZip, &ContactRecord::OtherCountry}, 5, true, hasOtherAddress},
    {"URL;HOME", {"", ""}, {&ContactRecord::WebPage}, 1, false},
    {"URL;WORK", {"", ""}, {&ContactRecord::WebPage}, 1, false, hasNoWorkWebPage},
    {"URL;WORK", {"", ""}, {&ContactRecord::WorkWebPage}, 1, false, has<&ContactRecord::WorkWebPage>},
    {"EMAIL;PREF;INTERNET", {"", ""}, {&ContactRecord::Email}, 1, false},
    {"EMAIL;INTERNET", {"", ""}, {&ContactRecord::Email2}, 1, false, has<&ContactRecord::Email2>},
    {"EMAIL;INTERNET", {"", ""}, {&ContactRecord::Email3}, 1, false, has<&ContactRecord::Email3>},
    {"EMAIL;INTERNET", {"", ""}, {&ContactRecord::OtherEmail1}, 1, false, has<&ContactRecord::OtherEmail1>},
    {"EMAIL;INTERNET", {"", ""}, {&ContactRecord::OtherEmail2}, 1, false, has<&ContactRecord::OtherEmail2>},
    {"EMAIL;INTERNET", {"", ""}, {&ContactRecord::OtherEmail3}, 1, false, has<&ContactRecord::OtherEmail3>},
    {"", {}, {&ContactRecord::IMAddress}, 1, false, has<&ContactRecord::IMAddress>},
    {"", {}, {&ContactRecord::IMAddress2}, 1, false, has<&ContactRecord::IMAddress2>},
    {"", {}, {&ContactRecord::IMAddress3}, 1, false, has<&ContactRecord::IMAddress3>},
    {"NOTE", {"", ""}, {&ContactRecord::Comments}, 1, false},
    {"BDAY", {"", ""}, {&ContactRecord::Birthday}, 1, false, hasBirthday},
    {"X-ANNIVERSARY", {"", ""}, {&ContactRecord::Anniversary}, 1, false, has<&ContactRecord::Anniversary>},
    {"X-EVOLUTION-ANNIVERSARY", {"", ""}, {&ContactRecord::Anniversary}, 1, false, hasFullAnniversary},
}};
// clang-format on

bool hasLineBreak(std::string_view value) {
    return value.find_first_of("\r\n") != std::string_view::npos;
}

bool hasHighByte(std::string_view value) {
    return std::any_of(value.begin(), value.end(),
                       [](char c) { return static_cast<unsigned char>(c) > 0x7F; });
}

/// N, ADR and ORG are made of parts separated by ";": a ";" inside a part is escaped.
bool isCompound(std::string_view property) {
    const std::string_view name = property.substr(0, property.find(';'));
    return name == "N" || name == "ADR" || name == "ORG";
}

void appendHex(std::string& out, unsigned char byte) {
    constexpr std::string_view Digits = "0123456789ABCDEF";
    out.push_back('=');
    out.push_back(Digits[byte >> 4U]);
    out.push_back(Digits[byte & 0x0FU]);
}

/// Appends one value. In compound properties ";" is written "\;". In quoted-printable lines
/// every byte above 127, "=", ";" outside compound properties, and each line break (CR LF, CR
/// or LF alike) are written "=XX", so the line is valid quoted-printable.
void appendValue(std::string& out, std::string_view value, bool compound, bool quotedPrintable) {
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        const auto byte = static_cast<unsigned char>(c);
        if (c == ';' && compound) {
            out.append("\\;");
        } else if (quotedPrintable && (c == '\r' || c == '\n')) {
            out.append("=0D=0A");
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
                ++i;
            }
        } else if (quotedPrintable && (c == '=' || c == ';' || byte > 0x7F)) {
            appendHex(out, byte);
        } else {
            out.push_back(c);
        }
    }
}

/// One property line: the name (with its fixed parameters), then `literals` and `values` in
/// turn (one more literal than values). The encoding is decided per line from its values:
/// ";CHARSET=UTF-8" right after the name when a value holds a byte above 127, quoted-printable
/// when a value holds a line break, or a ";" outside N, ADR and ORG. Values that are not valid
/// UTF-8 are first turned into it, each stray byte read as the Windows-1252 character it names.
void appendEncodedLine(std::string& out, std::string_view property,
                       std::span<const std::string_view> literals,
                       std::span<const std::string_view> values, bool isLabel) {
    std::array<std::string_view, 8> encoded{};
    std::array<std::string, 8> converted;
    const bool compound = isCompound(property);
    bool quotedPrintable = isLabel;
    bool highBytes = false;
    for (std::size_t i = 0; i < values.size(); ++i) {
        encoded[i] = values[i];
        if (hasHighByte(values[i])) {
            converted[i] = support::toValidUtf8(values[i]);
            encoded[i] = converted[i];
            highBytes = true;
        }
        quotedPrintable = quotedPrintable || hasLineBreak(values[i]) ||
                          (!compound && values[i].find(';') != std::string_view::npos);
    }
    const std::size_t nameEnd = std::min(property.find(';'), property.size());
    out.append(property.substr(0, nameEnd));
    if (highBytes) {
        out.append(";CHARSET=UTF-8");
    }
    out.append(property.substr(nameEnd));
    if (quotedPrintable && !isLabel) {
        out.push_back(';');
        out.append(QpLabel);
    }
    out.push_back(':');
    for (std::size_t i = 0; i < values.size(); ++i) {
        out.append(literals[i]);
        appendValue(out, encoded[i], compound, quotedPrintable);
    }
    out.append(literals[values.size()]);
    out.append("\r\n");
}

void appendLine(std::string& out, const LineLayout& line, const ContactRecord& record) {
    if (line.when != nullptr && !line.when(record)) {
        return;
    }
    if (line.property.empty()) { // an instant-messaging address
        const auto [property, address] = imLine(record.*line.fields[0]);
        if (support::trimSpaces(address).empty()) { // "xmpp://": a service but no address
            return;
        }
        constexpr std::array<std::string_view, 2> Around = {"", ""};
        appendEncodedLine(out, property, Around, std::span(&address, 1), false);
        return;
    }
    std::array<std::string_view, 7> values{};
    for (std::size_t i = 0; i < line.fieldCount; ++i) {
        values[i] = record.*line.fields[i];
    }
    appendEncodedLine(out, line.property, line.literals, std::span(values.data(), line.fieldCount),
                      line.isLabel);
}

/// A member's name as the value of a parameter: in double quotes when it holds a character that
/// would end or split an unquoted one.
std::string parameterValue(std::string_view name) {
    std::string value;
    value.reserve(name.size() + 2);
    for (const char c : name) {
        value.push_back(c == '"' ? '\'' : c == '\r' || c == '\n' ? ' ' : c);
    }
    if (value.find_first_of(";:,=") != std::string::npos) {
        value = '"' + value + '"';
    }
    return value;
}

} // namespace

ImLine imLine(std::string_view value) {
    struct Service {
        std::string_view scheme;
        std::string_view property;
    };
    static constexpr std::array<Service, 10> Services = {{
        {"xmpp", "X-JABBER"},
        {"jabber", "X-JABBER"},
        {"gtalk", "X-JABBER"},
        {"aim", "X-AIM"},
        {"aol", "X-AIM"},
        {"yahoo", "X-YAHOO"},
        {"msn", "X-MSN"},
        {"icq", "X-ICQ"},
        {"skype", "X-SKYPE"},
        {"gadugadu", "X-GADUGADU"},
    }};
    const auto separator = value.find("://");
    if (separator != std::string_view::npos) {
        const std::string scheme = support::asciiLower(value.substr(0, separator));
        for (const auto& service : Services) {
            if (service.scheme == scheme) {
                return {service.property, value.substr(separator + 3)};
            }
        }
    }
    return {"X-IM", value};
}

std::string vCardGroupText(const core::ContactGroup& group) {
    constexpr std::array<std::string_view, 2> Around = {"", ""};
    const std::string_view name = group.name;
    std::string out = "BEGIN:VCARD\r\nVERSION:2.1\r\n";
    appendEncodedLine(out, "N", Around, std::span(&name, 1), false);
    appendEncodedLine(out, "FN", Around, std::span(&name, 1), false);
    out.append("X-EVOLUTION-LIST:TRUE\r\n");
    std::string property;
    for (const auto& member : group.members) {
        property = "EMAIL;INTERNET";
        if (!member.name.empty()) {
            property.append(";X-EVOLUTION-DEST-NAME=").append(parameterValue(member.name));
        }
        const std::string_view address = member.address;
        appendEncodedLine(out, property, Around, std::span(&address, 1), false);
    }
    out.append("End:VCARD\r\n");
    return out;
}

void appendVCardText(std::string& out, const ContactRecord& record) {
    out.append("BEGIN:VCARD\r\nVERSION:2.1\r\n");
    for (const auto& line : Layout) {
        appendLine(out, line, record);
    }
    out.append("End:VCARD\r\n");
}

std::string vCardText(const ContactRecord& record) {
    std::string out;
    appendVCardText(out, record);
    return out;
}

void writeVCard(const ContactRecord& record, support::ByteSink& sink) {
    sink.write(vCardText(record));
}

void Save2vCardContact(const std::string& sFile, const ContactRecord& record,
                       std::int32_t vCardCnt) {
    (void)vCardCnt;
    // Written aside and renamed into place: a card of that name is replaced whole or not at
    // all, also when another run writes the same name at the same time.
    support::AtomicFileSink sink(support::pathFromUtf8(sFile));
    writeVCard(record, sink);
    sink.close();
}

VCardOutput::VCardOutput() = default;

VCardOutput::~VCardOutput() = default;

void VCardOutput::start(const std::string& outputFolder) {
    m_wroteGroups = false;
    m_writer.reset();
    m_writeFailed = false;
    m_writer = std::make_unique<support::WorkerRing<PendingCard>>(
        [this](PendingCard& card) { writePending(card); });
    m_folder = outputFolder;
    m_cards = std::make_unique<support::WholeFileFolder>(support::pathFromUtf8(m_folder));
    m_usedNames.clear();
    m_usedUids.clear();
}

void VCardOutput::open(const std::string& outputFolder) {
    start(outputFolder);
    m_lock = std::make_unique<support::OutputFolderLock>(m_folder,
                                                         support::AtomicFileSink::isAbandonedPart);
    try {
        m_ownedOneFile = std::make_unique<support::AtomicFileSink>(
            support::pathFromUtf8(m_folder + std::string(OneFileName)), true);
    } catch (const support::SinkError& error) {
        m_lock.reset();
        throw core::OutputError(std::string("The vCard file could not be written: ") +
                                error.what());
    }
    m_oneFile = m_ownedOneFile.get();
}

void VCardOutput::openOn(const std::string& outputFolder, support::ByteSink& oneFile) {
    start(outputFolder);
    m_ownedOneFile.reset();
    m_oneFile = &oneFile;
}

std::string_view VCardOutput::uniqueUid(std::string_view uid) {
    m_uid.assign(uid);
    for (int copy = 2; !m_usedUids.insert(m_uid).second; ++copy) {
        m_uid = core::repeatedUid(uid, copy);
    }
    return m_uid;
}

std::string VCardOutput::unusedFileName(std::string_view fullName, std::int32_t number) {
    std::string name = core::vCardFileName(fullName, number);
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
    return name;
}

VCardOutput::PendingCard& VCardOutput::cardToFill() {
    while (!m_writer->hasRoom()) {
        takeBack();
    }
    auto& card = m_writer->slotToFill();
    card.card.clear();
    card.oneFileCard.clear();
    return card;
}

void VCardOutput::takeBack() {
    auto& card = m_writer->next();
    const std::exception_ptr error = std::exchange(card.error, nullptr);
    m_writer->release();
    if (error) {
        std::rethrow_exception(error);
    }
}

void VCardOutput::write(const core::ContactToWrite& contact) {
    auto& card = cardToFill();
    appendVCardText(card.card, contact.trimmed);
    card.fileName = unusedFileName(contact.asRead.FullName, contact.contactNumber);
    if (m_oneFile != nullptr) {
        appendVCard3(card.oneFileCard, contact.trimmed, uniqueUid(contact.uid));
    }
    m_writer->submit();
}

bool VCardOutput::writeGroup(const core::GroupToWrite& group) {
    auto& card = cardToFill();
    card.card = vCardGroupText(group.group);
    card.fileName = unusedFileName(group.group.name, group.contactNumber);
    m_wroteGroups = true;
    if (m_oneFile != nullptr) {
        appendVCard3Group(card.oneFileCard, group.group, uniqueUid(group.uid));
    }
    m_writer->submit();
    return true;
}

void VCardOutput::writePending(PendingCard& card) {
    if (m_writeFailed) {
        return;
    }
    try {
        try {
            m_cards->write(card.fileName, card.card);
        } catch (const support::SinkError& error) {
            throw core::OutputError(std::string("The vCard could not be written: ") + error.what());
        }
        if (!card.oneFileCard.empty()) {
            try {
                // One write per card: a failure drops the file being written, never half a card.
                m_oneFile->write(card.oneFileCard);
            } catch (const support::SinkError& error) {
                throw core::OutputError(std::string("The vCard file could not be written: ") +
                                        error.what());
            }
        }
    } catch (...) {
        m_writeFailed = true;
        card.error = std::current_exception();
    }
}

void VCardOutput::close() {
    if (m_writer) {
        // Every card handed over is written (or the first failure is thrown; abandon() then
        // takes the rest back unwritten).
        while (m_writer->hasPending()) {
            takeBack();
        }
        m_writer.reset();
    }
    m_usedNames.clear();
    m_usedUids.clear();
    m_cards.reset();
    auto* oneFile = std::exchange(m_oneFile, nullptr);
    try {
        if (oneFile != nullptr) {
            oneFile->close();
        }
    } catch (const support::SinkError& error) {
        m_ownedOneFile.reset();
        m_lock.reset();
        throw core::OutputError(std::string("The vCard file could not be written: ") +
                                error.what());
    }
    m_ownedOneFile.reset();
    m_lock.reset();
}

void VCardOutput::abandon() noexcept {
    // Every card is whole already: the one being written when the run stopped was never put in
    // place. The one file holds whole cards only, so it is put in place with those written.
    try {
        close();
    } catch (const core::OutputError&) {
        // Not put in place: the file of that name keeps what it held.
    }
}

std::vector<std::string> VCardOutput::writtenFiles() const {
    return {std::string(m_wroteGroups ? "Each contact and each contact group (as a contact list)"
                                      : "Each contact") +
                " has its own vCard file (.vcf) in the folder " + core::folderForDisplay(m_folder) +
                ".",
            "All contacts are also in " + std::string(OneFileName) +
                ", for importing in one step."};
}

} // namespace plumbrae::writers
