// The vCard writer where readers would not notice a fault: the lines of an empty card, the
// encoding of each kind of value, file names. What readers make of the cards is checked by
// zimbra_outputs.py.

#include "tests/support/temp_dir.h"
#include "writers/vcard_writer.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace plumbrae::writers {
namespace {

using core::ContactRecord;

TEST(VCardWriter, WritesTheEmptyCardByteForByte) {
    EXPECT_EQ(vCardText(ContactRecord{}),
              "BEGIN:VCARD\r\nVERSION:2.1\r\nN:;;\r\nFN:\r\nORG:;\r\nTITLE:\r\nTEL;WORK;VOICE:\r\n"
              "TEL;HOME;VOICE:\r\nTEL;CELL;VOICE:\r\nTEL;PAGER;VOICE:\r\nTEL;WORK;FAX:\r\n"
              "TEL;HOME;FAX:\r\nADR;WORK:;;;;;;\r\nLABEL;WORK;ENCODING=QUOTED-PRINTABLE:"
              "BusinessOffice=0D=0A=0D=0A,  =0D=0A\r\nADR;HOME:;;;;;;\r\n"
              "LABEL;HOME;ENCODING=QUOTED-PRINTABLE:=0D=0A,  =0D=0A\r\nURL;HOME:\r\nURL;WORK:\r\n"
              "EMAIL;PREF;INTERNET:\r\nNOTE:\r\nEnd:VCARD\r\n");
}

// Each kind of value on a line of its own, written so that readers get the value back.
TEST(VCardWriter, EncodesEachValueSoReadersGetItBack) {
    using C = ContactRecord;
    // clang-format off
    const std::vector<std::tuple<std::string C::*, std::string, std::string>> lines = {
        {&C::Comments, "x=41, a\\b", "NOTE:x=41, a\\b"},
        {&C::LastName, "M\xC3\xBCller \xE6\x9D\x8E", "N;CHARSET=UTF-8:M\xC3\xBCller \xE6\x9D\x8E;;"},
        {&C::JobTitle, "G\xE9rant \x80", "TITLE;CHARSET=UTF-8:G\xC3\xA9rant \xE2\x82\xAC"},
        {&C::Company, "Smith; Jones", "ORG:Smith\\; Jones;"},
        {&C::PersonalCity, "a;b", "ADR;HOME:;;;a\\;b;;;"},
        {&C::Comments, "e-mail; phone", "NOTE;ENCODING=QUOTED-PRINTABLE:e-mail=3B phone"},
        {&C::Comments, "a=1\nb\r\nd\re", "NOTE;ENCODING=QUOTED-PRINTABLE:a=3D1=0D=0Ab=0D=0Ad=0D=0Ae"},
        {&C::Comments, "Qu\xC3\xA9" "bec\nCafe",
         "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Qu=C3=A9bec=0D=0ACafe"},
        {&C::PersonalStreet, "1 Main\nFlat=2;b",
         "ADR;HOME;ENCODING=QUOTED-PRINTABLE:;;1 Main=0D=0AFlat=3D2\\;b;;;;"},
        {&C::PersonalCity, "Z\xC3\xBCrich;=",
         "LABEL;CHARSET=UTF-8;HOME;ENCODING=QUOTED-PRINTABLE:=0D=0AZ=C3=BCrich=3B=3D,  =0D=0A"},
        {&C::BusinessState, "BE",
         "LABEL;WORK;ENCODING=QUOTED-PRINTABLE:BusinessOffice=0D=0A=0D=0A, BE =0D=0A"}};
    // clang-format on
    for (const auto& [field, value, line] : lines) {
        ContactRecord record;
        record.*field = value;
        const std::string card = vCardText(record);
        const auto start = card.find("\r\n" + line.substr(0, line.find_first_of(";:", 6)));
        EXPECT_EQ(card.substr(start + 2, card.find("\r\n", start + 2) - start - 2), line) << card;
    }
}

TEST(VCardOutput, NamesFilesKeepsClashesApartAndReportsWhatCannotBeWritten) {
    testing::TempDir dir;
    VCardOutput output;
    const auto write = [&](const std::string& fullName, int number) {
        ContactRecord record;
        record.FullName = fullName;
        output.write(core::ContactToWrite{record.trimmed(), record, number});
    };
    const auto card = [&](const char* name) { return testing::readFile(dir.path() / name); };
    output.open(dir.folder());
    for (const auto& [name, number] : std::vector<std::pair<const char*, int>>{
             {"Clash1", 2}, {"Clash", 12}, {"Clash", 12}, {"A:B ", 3}, {" ", 4}}) {
        write(name, number);
    }
    output.close();
    for (const auto* name : {"Clash12 (2).vcf", "Clash12 (3).vcf", "AB3.vcf", "4.vcf"}) {
        EXPECT_TRUE(card(name).starts_with("BEGIN:VCARD")) << name;
    }
    EXPECT_NE(card("Clash12.vcf").find("FN:Clash1\r\n"), std::string::npos);
    // A new run replaces files of earlier runs instead of numbering around them.
    output.open(dir.folder());
    write("Clash", 12);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "Clash12 (4).vcf"));
    EXPECT_NE(card("Clash12.vcf").find("FN:Clash\r\n"), std::string::npos);
    output.open(dir.folder() + "missing/");
    try {
        write("Ann", 1);
        ADD_FAILURE() << "writing into a missing folder must fail";
    } catch (const core::OutputError& error) {
        EXPECT_NE(std::string(error.what()).find("missing/Ann1.vcf: no such file or folder"),
                  std::string::npos)
            << error.what();
    }
}

} // namespace
} // namespace plumbrae::writers
