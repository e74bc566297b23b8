#include "writers/vcard3_text.h"

#include "support/text.h"
#include "writers/vcard_im_p.h"

#include <algorithm>
#include <array>
#include <initializer_list>

namespace plumbrae::writers {
namespace {

using core::ContactRecord;

constexpr std::size_t MaxLineBytes = 75;

bool hasHighByte(std::string_view value) {
    return std::any_of(value.begin(), value.end(),
                       [](char c) { return static_cast<unsigned char>(c) > 0x7F; });
}

/// How many bytes the unit of the folded text at `pos` takes: an escape ("\n") or one UTF-8
/// character, which a fold never cuts.
std::size_t unitLength(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 1;
    if (lead >= 0xF0) {
        length = 4;
    } else if (lead >= 0xE0) {
        length = 3;
    } else if (lead >= 0xC0 || lead == '\\') {
        length = 2;
    }
    return std::min(length, text.size() - pos);
}

/// Builds one card in `out`, a line at a time; `m_value` is the escaped value being built.
class CardBuilder {
public:
    explicit CardBuilder(std::string& out) : m_out(out) {}

    /// A property of parts separated by ";" (one part for plain text), written even when every
    /// part is empty when `always`.
    void line(std::string_view name, std::initializer_list<std::string_view> parts,
              bool always = false) {
        const bool empty = std::all_of(parts.begin(), parts.end(),
                                       [](std::string_view part) { return part.empty(); });
        if (empty && !always) {
            return;
        }
        m_value.clear();
        bool first = true;
        for (const auto part : parts) {
            if (!first) {
                m_value.push_back(';');
            }
            first = false;
            appendEscapedText(m_value, part);
        }
        appendFoldedLine(m_out, name, m_value);
    }

    /// An address (ADR, post-office box always empty) and its label (LABEL) of one kind.
    void address(std::string_view types, std::string_view office, std::string_view street,
                 std::string_view city, std::string_view state, std::string_view zip,
                 std::string_view country) {
        m_name.assign("ADR;TYPE=").append(types);
        line(m_name, {"", office, street, city, state, zip, country});
        // The label as an envelope shows it: street, then city, state and code, then country.
        std::string cityLine(city);
        if (!state.empty()) {
            cityLine.append(cityLine.empty() ? "" : ", ").append(state);
        }
        if (!zip.empty()) {
            cityLine.append(cityLine.empty() ? "" : " ").append(zip);
        }
        std::string label;
        for (const std::string_view part : {street, std::string_view(cityLine), country}) {
            if (!part.empty()) {
                label.append(label.empty() ? "" : "\n").append(part);
            }
        }
        m_name.assign("LABEL;TYPE=").append(types);
        line(m_name, {label});
    }

    void instantMessaging(std::string_view value) {
        const auto [property, address] = imLine(value);
        // No line for a service without an address ("xmpp://").
        if (!support::trimSpaces(address).empty()) {
            line(property, {address});
        }
    }

private:
    std::string& m_out;
    std::string m_value;
    std::string m_name;
};

} // namespace

void appendEscapedText(std::string& out, std::string_view value) {
    std::string valid;
    if (hasHighByte(value)) {
        valid = support::toValidUtf8(value);
        value = valid;
    }
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        switch (c) {
        case '\\':
        case ',':
        case ';':
            out.push_back('\\');
            out.push_back(c);
            break;
        case '\r':
            if (i + 1 < value.size() && value[i + 1] == '\n') {
                ++i;
            }
            out.append("\\n");
            break;
        case '\n':
            out.append("\\n");
            break;
        default:
            out.push_back(c);
        }
    }
}

void appendFoldedLine(std::string& out, std::string_view nameAndParameters,
                      std::string_view value) {
    std::size_t lineBytes = nameAndParameters.size() + 1;
    out.append(nameAndParameters);
    out.push_back(':');
    if (lineBytes + value.size() <= MaxLineBytes) {
        out.append(value);
        out.append("\r\n");
        return;
    }
    std::size_t pos = 0;
    while (pos < value.size()) {
        const std::size_t length = unitLength(value, pos);
        if (lineBytes + length > MaxLineBytes) {
            out.append("\r\n ");
            lineBytes = 1;
        }
        out.append(value.substr(pos, length));
        lineBytes += length;
        pos += length;
    }
    out.append("\r\n");
}

void appendVCard3Group(std::string& out, const core::ContactGroup& group, std::string_view uid) {
    out.append("BEGIN:VCARD\r\nVERSION:3.0\r\n");
    CardBuilder card(out);
    card.line("N", {group.name, {}, {}, {}, {}}, true);
    card.line("FN", {group.name}, true);
    out.append("X-EVOLUTION-LIST:TRUE\r\n");
    std::string property;
    for (const auto& member : group.members) {
        property = "EMAIL;TYPE=INTERNET";
        if (!member.name.empty()) {
            // A parameter holds no quote and no line break in any reader; ";:," need quotes.
            std::string name = support::toValidUtf8(member.name);
            std::replace(name.begin(), name.end(), '"', '\'');
            std::replace(name.begin(), name.end(), '\r', ' ');
            std::replace(name.begin(), name.end(), '\n', ' ');
            const bool quoted = name.find_first_of(";:,") != std::string::npos;
            property.append(";X-EVOLUTION-DEST-NAME=")
                .append(quoted ? "\"" : "")
                .append(name)
                .append(quoted ? "\"" : "");
        }
        card.line(property, {member.address}, true);
    }
    card.line("UID", {uid}, true);
    out.append("END:VCARD\r\n");
}

void appendVCard3(std::string& out, const ContactRecord& r, std::string_view uid) {
    out.append("BEGIN:VCARD\r\nVERSION:3.0\r\n");
    CardBuilder card(out);
    card.line("N", {r.LastName, r.FirstName, r.MiddleName, r.Title, r.Suffix}, true);
    card.line("FN", {r.FullName}, true);
    card.line("NICKNAME", {r.Nickname});
    if (!r.Department.empty()) {
        card.line("ORG", {r.Company, r.Department});
    } else {
        card.line("ORG", {r.Company});
    }
    card.line("TITLE", {r.JobTitle});
    // clang-format off
    const std::array<std::pair<std::string_view, const std::string*>, 12> phones = {{
        {"TEL;TYPE=WORK,VOICE", &r.OfficePhone}, {"TEL;TYPE=WORK,VOICE", &r.OfficePhone2},
        {"TEL;TYPE=HOME,VOICE", &r.HomePhone},   {"TEL;TYPE=HOME,VOICE", &r.HomePhone2},
        {"TEL;TYPE=CELL,VOICE", &r.CellPhone},   {"TEL;TYPE=CELL,VOICE", &r.CellPhone2},
        {"TEL;TYPE=PAGER,VOICE", &r.Pager},      {"TEL;TYPE=WORK,FAX", &r.OfficeFax},
        {"TEL;TYPE=HOME,FAX", &r.HomeFax},       {"TEL;TYPE=CAR,VOICE", &r.CarPhone},
        {"TEL;TYPE=WORK", &r.CompanyPhone},      {"TEL;TYPE=VOICE", &r.OtherPhone},
    }};
    // clang-format on
    for (const auto& [property, number] : phones) {
        card.line(property, {*number});
    }
    card.address("WORK", r.Location, r.BusinessStreet, r.BusinessCity, r.BusinessState,
                 r.BusinessZip, r.BusinessCountry);
    card.address("HOME", {}, r.PersonalStreet, r.PersonalCity, r.PersonalState, r.PersonalZip,
                 r.PersonalCountry);
    card.address("POSTAL", {}, r.OtherStreet, r.OtherCity, r.OtherState, r.OtherZip,
                 r.OtherCountry);
    card.line("URL;TYPE=HOME", {r.WebPage});
    card.line("URL;TYPE=WORK", {r.WorkWebPage.empty() ? r.WebPage : r.WorkWebPage});
    card.line("EMAIL;TYPE=INTERNET,PREF", {r.Email});
    for (const auto* email :
         {&r.Email2, &r.Email3, &r.OtherEmail1, &r.OtherEmail2, &r.OtherEmail3}) {
        card.line("EMAIL;TYPE=INTERNET", {*email});
    }
    for (const auto* im : {&r.IMAddress, &r.IMAddress2, &r.IMAddress3}) {
        card.instantMessaging(*im);
    }
    card.line("NOTE", {r.Comments});
    // A date in any year, or a birthday without one ("--05-01"), in the ISO form readers take.
    if (core::calendarDate(r.Birthday) || core::isYearlessDate(r.Birthday)) {
        card.line("BDAY", {r.Birthday});
    }
    card.line("X-ANNIVERSARY", {r.Anniversary});
    if (core::calendarDate(r.Anniversary)) {
        card.line("X-EVOLUTION-ANNIVERSARY", {r.Anniversary});
    }
    card.line("UID", {uid}, true);
    out.append("END:VCARD\r\n");
}

} // namespace plumbrae::writers
