#include "support/byte_sink.h"
#include "tests/support/print_case.h"
#include "tests/support/temp_dir.h"
#include "writers/vcard_writer.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace plumbrae::writers {
namespace {

using plumbrae::testing::PrintTo;

using core::ContactRecord;

const std::string EmptyCard = "BEGIN:VCARD\r\n"
                              "VERSION:2.1\r\n"
                              "N:;;\r\n"
                              "FN:\r\n"
                              "ORG:;\r\n"
                              "TITLE:\r\n"
                              "TEL;WORK;VOICE:\r\n"
                              "TEL;HOME;VOICE:\r\n"
                              "TEL;CELL;VOICE:\r\n"
                              "TEL;PAGER;VOICE:\r\n"
                              "TEL;WORK;FAX:\r\n"
                              "TEL;HOME;FAX:\r\n"
                              "ADR;WORK:;;;;;;\r\n"
                              "LABEL;WORK;ENCODING=QUOTED-PRINTABLE:BusinessOffice=0D=0A=0D=0A,  "
                              "=0D=0A\r\n"
                              "ADR;HOME:;;;;;;\r\n"
                              "LABEL;HOME;ENCODING=QUOTED-PRINTABLE:=0D=0A,  =0D=0A\r\n"
                              "URL;HOME:\r\n"
                              "URL;WORK:\r\n"
                              "EMAIL;PREF;INTERNET:\r\n"
                              "NOTE:\r\n"
                              "End:VCARD\r\n";

std::string lineOf(const std::string& card, std::string_view prefix) {
    const auto start = card.find(std::string("\r\n") + std::string(prefix));
    if (start == std::string::npos) {
        return "(missing)";
    }
    return card.substr(start + 2, card.find("\r\n", start + 2) - start - 2);
}

TEST(VCardWriter, WritesTheEmptyCardByteForByte) {
    support::MemorySink sink;
    writeVCard(ContactRecord{}, sink);
    EXPECT_EQ(sink.bytes(), EmptyCard);
}

TEST(VCardWriter, WritesTheFieldsInTheirPlaces) {
    ContactRecord record;
    record.FirstName = "Ann";
    record.LastName = "Lee";
    record.FullName = "Ann Lee";
    record.Company = "Acme";
    record.CellPhone = "555 0100";
    const auto card = vCardText(record);
    std::string expected = EmptyCard;
    expected.replace(expected.find("N:;;"), 4, "N:Lee;Ann;");
    expected.replace(expected.find("FN:"), 3, "FN:Ann Lee");
    expected.replace(expected.find("ORG:;"), 5, "ORG:Acme;");
    expected.replace(expected.find("TEL;CELL;VOICE:"), 15, "TEL;CELL;VOICE:555 0100");
    EXPECT_EQ(card, expected);

    record = ContactRecord{};
    record.PersonalStreet = "Main St 1";
    record.PersonalCity = "Bern";
    record.PersonalState = "BE";
    record.PersonalZip = "3000";
    record.PersonalCountry = "CH";
    record.WebPage = "example.com";
    const auto home = vCardText(record);
    EXPECT_EQ(lineOf(home, "ADR;HOME"), "ADR;HOME:;;Main St 1;Bern;BE;3000;CH");
    EXPECT_EQ(lineOf(home, "LABEL;HOME"),
              "LABEL;HOME;ENCODING=QUOTED-PRINTABLE:Main St 1=0D=0ABern, BE 3000=0D=0ACH");
    EXPECT_EQ(lineOf(home, "URL;HOME"), "URL;HOME:example.com");
    EXPECT_EQ(lineOf(home, "URL;WORK"), "URL;WORK:example.com");
}

TEST(VCardOutput, NamesFilesAndKeepsClashesApart) {
    testing::TempDir dir;
    VCardOutput output;
    output.open(dir.folder());
    const auto write = [&](const std::string& fullName, int number) {
        ContactRecord record;
        record.FullName = fullName;
        output.write(core::ContactToWrite{record.trimmed(), record, number});
    };
    write("Clash1", 2);
    write("Clash", 12);
    write("Clash", 12);
    write("A:B ", 3);
    write(" ", 4);
    output.close();
    for (const auto* name :
         {"Clash12.vcf", "Clash12 (2).vcf", "Clash12 (3).vcf", "AB3.vcf", "4.vcf"}) {
        EXPECT_TRUE(std::filesystem::exists(dir.path() / name)) << name;
    }
    EXPECT_EQ(testing::readFile(dir.path() / "Clash12.vcf").find("FN:Clash1\r\n") !=
                  std::string::npos,
              true);

    // A new run replaces files of earlier runs instead of numbering around them.
    output.open(dir.folder());
    write("Clash", 12);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "Clash12 (4).vcf"));
    EXPECT_NE(testing::readFile(dir.path() / "Clash12.vcf").find("FN:Clash\r\n"),
              std::string::npos);
}

TEST(VCardOutput, ReportsAFolderThatCannotBeWritten) {
    testing::TempDir dir;
    VCardOutput output;
    output.open(dir.folder() + "missing/");
    ContactRecord record;
    record.FullName = "Ann";
    try {
        output.write(core::ContactToWrite{record, record, 1});
        FAIL() << "writing into a missing folder must fail";
    } catch (const core::OutputError& error) {
        EXPECT_NE(std::string(error.what()).find("missing/Ann1.vcf"), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("no such file or folder"), std::string::npos);
    }
}

TEST(VCardWriter, PassesSinkFailuresOn) {
    support::FailingSink sink(10);
    EXPECT_THROW(writeVCard(ContactRecord{}, sink), support::SinkError);
}

} // namespace
} // namespace plumbrae::writers
