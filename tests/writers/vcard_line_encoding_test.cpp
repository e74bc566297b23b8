// How each vCard line carries its values: character set, quoted-printable and ";".

#include "writers/vcard_writer.h"

#include <gtest/gtest.h>

namespace plumbrae::writers {
namespace {

using core::ContactRecord;

struct LineCase {
    const char* name;
    std::string ContactRecord::*field;
    std::string value;
    std::string_view linePrefix;
    std::string expectedLine;
};

std::string lineOf(const std::string& card, std::string_view prefix) {
    const auto start = card.find(std::string("\r\n") + std::string(prefix));
    if (start == std::string::npos) {
        return "(missing)";
    }
    return card.substr(start + 2, card.find("\r\n", start + 2) - start - 2);
}

class VCardLineEncoding : public ::testing::TestWithParam<LineCase> {};

TEST_P(VCardLineEncoding, WritesTheLineSoReadersGetTheValueBack) {
    ContactRecord record;
    record.*GetParam().field = GetParam().value;
    EXPECT_EQ(lineOf(vCardText(record), GetParam().linePrefix), GetParam().expectedLine);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VCardLineEncoding,
    ::testing::Values(
        LineCase{"PlainAsciiUnchanged", &ContactRecord::Comments, "x=41, a\\b", "NOTE",
                 "NOTE:x=41, a\\b"},
        LineCase{"Utf8NamesItsCharset", &ContactRecord::LastName, "M\xC3\xBCller \xE6\x9D\x8E", "N",
                 "N;CHARSET=UTF-8:M\xC3\xBCller \xE6\x9D\x8E;;"},
        LineCase{"StrayByteBecomesUtf8", &ContactRecord::JobTitle, "G\xE9rant \x80", "TITLE",
                 "TITLE;CHARSET=UTF-8:G\xC3\xA9rant \xE2\x82\xAC"},
        LineCase{"SemicolonEscapedInCompound", &ContactRecord::Company, "Smith; Jones", "ORG",
                 "ORG:Smith\\; Jones;"},
        LineCase{"SemicolonEscapedInAddressPart", &ContactRecord::PersonalCity, "a;b", "ADR;HOME",
                 "ADR;HOME:;;;a\\;b;;;"},
        LineCase{"SemicolonElsewhereIsQuotedPrintable", &ContactRecord::Comments,
                 "Prefers e-mail; phone", "NOTE",
                 "NOTE;ENCODING=QUOTED-PRINTABLE:Prefers e-mail=3B phone"},
        LineCase{"LineBreaksAndEqualsInQuotedPrintable", &ContactRecord::Comments, "a=1\nb\r\nd\re",
                 "NOTE", "NOTE;ENCODING=QUOTED-PRINTABLE:a=3D1=0D=0Ab=0D=0Ad=0D=0Ae"},
        LineCase{"QuotedPrintableEncodesHighBytes", &ContactRecord::Comments,
                 "Qu\xC3\xA9"
                 "bec\nCafe",
                 "NOTE", "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Qu=C3=A9bec=0D=0ACafe"},
        LineCase{"CompoundWithLineBreakKeepsItsEscape", &ContactRecord::PersonalStreet,
                 "1 Main\nFlat=2;b", "ADR;HOME",
                 "ADR;HOME;ENCODING=QUOTED-PRINTABLE:;;1 Main=0D=0AFlat=3D2\\;b;;;;"},
        LineCase{"LabelEncodesItsValues", &ContactRecord::PersonalCity,
                 "Z\xC3\xBCrich;=", "LABEL;CHARSET=UTF-8;HOME",
                 "LABEL;CHARSET=UTF-8;HOME;ENCODING=QUOTED-PRINTABLE:=0D=0AZ=C3=BCrich=3B=3D,  "
                 "=0D=0A"}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace plumbrae::writers
