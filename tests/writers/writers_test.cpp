// The worksheet and vCard writers where outside readers would not notice a fault: the bytes of
// records the contact sheet does not use, values refused, code pages, the closing notes,
// failures; the lines of an empty card, the encoding of each kind of value, file names. What
// readers make of both is checked by zimbra_outputs.py.

#include "core/contact_uid.h"
#include "support/byte_sink.h"
#include "tests/support/temp_dir.h"
#include "tests/writers/excel_records.h"
#include "writers/csv_file.h"
#include "writers/excel_contact_sheet.h"
#include "writers/vcard_writer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

namespace plumbrae::testing {
namespace {

using core::ContactRecord;
using writers::CellValue;
using writers::ExcelContactSheet;
using writers::ExcelFile;

/// The records as "|id: bytes" in hexadecimal, letters as they are, from the 17th byte on only
/// their count.
std::string records(std::string_view bytes) {
    std::string out;
    std::array<char, 8> digits{};
    bool complete = false;
    for (const auto& record : splitRecords(bytes, complete)) {
        out += (std::snprintf(digits.data(), digits.size(), "|%02X:", record.id), digits.data());
        for (const char byte : record.body.substr(0, 16)) {
            const auto c = static_cast<unsigned char>(byte);
            std::snprintf(digits.data(), digits.size(), std::isalpha(c) != 0 ? "%c" : " %02X", c);
            out += digits.data();
        }
        out += record.body.size() > 16 ? "+" + std::to_string(record.body.size() - 16) : "";
    }
    return out;
}

// Every record the writer can make, with the values at its limits and just beyond (refused
// whole, with nothing written), and a closed file refusing every call.
TEST(ExcelFile, WritesEachRecordOrRefusesItWhole) {
    support::MemorySink sink;
    ExcelFile f;
    ASSERT_EQ(f.CreateFile(sink), 0);
    const auto w = [&f](std::int32_t type, const CellValue& value) {
        return f.WriteValue(type, 0, 0, 0, 1, 1, value);
    };
    // clang-format off
    const std::vector<int> results = {
        w(0, std::int64_t{-2}), w(0, 2.5), w(0, 3.5), w(0, -2.5), w(0, std::string(" 300 ")),
        w(0, 32767.4), w(0, std::int64_t{32768}), w(0, -32768.6), w(0, std::string("12 Main")),
        w(0, std::string()), w(1, 1.25), w(1, std::int64_t{7}), w(1, std::string("-3.5e2")),
        w(1, std::string("1e999")), w(1, std::string("inf")),
        w(1, std::numeric_limits<double>::infinity()), w(2, 1.5), w(2, std::int64_t{-42}),
        w(2, std::string(255, 'a')), w(2, std::string(256, 'b')), w(3, std::string("x")),
        w(-1, 1.0), w(1000, std::int64_t{1}),
        f.WriteValue(2, 64, 1, 0, 1, 1, "First Name"), f.WriteValue(2, 192, 255, 255, 65536, 256, ""),
        f.WriteValue(2, 192, 0, 0, 1, 1, "", 63), f.WriteValue(2, 192, 0, 0, 1, 1, "", 64),
        f.WriteValue(2, 0, 0, 256, 1, 1, ""), f.WriteValue(2, 0, -1, 0, 1, 1, ""),
        f.WriteValue(2, 0, 0, 0, 0, 1, ""), f.WriteValue(2, 0, 0, 0, 65537, 1, ""),
        f.WriteValue(9, 0, 0, 0, 1, 0, ""), f.WriteValue(5, 0, 0, 999, 1, 1, "x"),
        f.WriteValue(0, 0, 0, 999, 1, 1, "abc"),
        f.SetMargin(ExcelFile::LeftMargin, 0.75), f.SetMargin(40000, 1.0),
        f.SetColumnWidth(1, 3, 10), f.SetColumnWidth(2, 2, 127), f.SetColumnWidth(1, 1, 128),
        f.SetColumnWidth(0, 1, 10), f.SetColumnWidth(1, 0, 10),
        f.SetFont("Courier", 14, 3), f.SetFont("A", 1638, 15), f.SetFont("A", 1639, 0),
        f.SetFont("A", 10, 256), f.SetFont(std::string(256, 'f'), 10, 0),
        f.SetHeader("BIFF"), f.SetHeader(std::string(256, 'h')), f.SetFooter(""),
        f.SetFooter(std::string(300, 'f')), f.SetFilePassword("abc"),
        f.SetDefaultRowHeight(12), f.SetDefaultRowHeight(1639),
        f.SetRowHeight(3, 15), f.SetRowHeight(0, 15), f.SetRowHeight(1, -1639),
        (f.PrintGridLines(true), 0), (f.PrintGridLines(false), 0),
        (f.ProtectSpreadsheet(true), 0), (f.ProtectSpreadsheet(false), 0),
        f.InsertHorizPageBreak(10), f.InsertHorizPageBreak(3), f.InsertHorizPageBreak(65536),
        f.InsertHorizPageBreak(3), f.InsertHorizPageBreak(0), f.InsertHorizPageBreak(65537),
        f.CloseFile(), f.CloseFile(), w(2, std::string("x")), f.SetFont("A", 10, 0),
        f.SetHeader("h"), f.SetFooter("f"), f.SetMargin(ExcelFile::TopMargin, 1.0),
        f.SetColumnWidth(1, 1, 1), f.SetFilePassword("p"), f.SetDefaultRowHeight(10),
        f.SetRowHeight(1, 10), f.InsertHorizPageBreak(1)};
    // clang-format on
    EXPECT_EQ(results, (std::vector<int>{0, 0,  0, 0,  0,  0,  6,  6,  13, 13, 0,  0,  0,  6, 13, 6,
                                         0, 0,  0, 6,  0,  0,  0,  0,  0,  0,  6,  6,  6,  6, 6,  6,
                                         0, 13, 0, 6,  0,  0,  6,  6,  6,  0,  0,  6,  6,  6, 0,  6,
                                         0, 6,  0, 0,  6,  0,  6,  6,  0,  0,  0,  0,  0,  0, 0,  0,
                                         6, 6,  0, 52, 52, 52, 52, 52, 52, 52, 52, 52, 52, 52}));
    // The records after BOF, CODEPAGE and the formats.
    EXPECT_EQ(records(sink.bytes().substr(396)),
              "|02: 00 00 00 00 00 00 00 FE FF|02: 00 00 00 00 00 00 00 02 00"
              "|02: 00 00 00 00 00 00 00 04 00|02: 00 00 00 00 00 00 00 FE FF"
              "|02: 00 00 00 00 00 00 00 2C 01|02: 00 00 00 00 00 00 00 FF 7F"
              "|03: 00 00 00 00 00 00 00 00 00 00 00 00 00 F4 3F"
              "|03: 00 00 00 00 00 00 00 00 00 00 00 00 00 1C 40"
              "|03: 00 00 00 00 00 00 00 00 00 00 00 00 E0u C0|04: 00 00 00 00 00 00 00 03 31 2E 35"
              "|04: 00 00 00 00 00 00 00 03 2D 34 32|04: 00 00 00 00 00 00 00 FFaaaaaaaa+247"
              "|04: 00 00 00 00 00 40 01 0AFirst 20Na+2|04: FF FF FF 00 FF C0 FF 00"
              "|04: 00 00 00 00 00 FF 00 00|26: 00 00 00 00 00 00 E8 3F|24: 00 02 00 0A"
              "|24: 01 01 00 7F|31: 18 01 03 00 07Courier|31: F8 7F 0F 00 01A|14: 04BIFF|15: 00"
              "|2F:abc|25: F0 00|08: 02 00 00 00 00 01 2C 01 00 00 00 00 00 00 00 00|2B: 01 00"
              "|2B: 00 00|12: 01 00|12: 00 00|1B: 04 00 02 00 02 00 09 00 FF FF|0A:");
    EXPECT_THROW(f.WriteDefaultFormats(), support::SinkError);
}

// The sheet takes the code page that keeps the most cells whole, 1252 first on a tie, then the
// other single-byte pages; a page holds only characters it has one code of its own for, which
// reads back as the same character, so no cell changes silently. The cells the page lacks a
// character of are counted in the notes.
TEST(ExcelSheet, TakesThePageKeepingMostCellsWhole) {
    std::string cjkNote;
    for (int i = 0; i < 60; ++i) {
        cjkNote += "\xE8\xAF\xB4\xE6\x98\x8E"; // 说明: in Chinese pages only
    }
    const std::vector<std::tuple<std::vector<std::string>, std::uint16_t, std::size_t, std::string>>
        cases = {
            {{"Ann", "Lee"}, 1252, 0, "Ann"},
            // Western names and a few long notes in Chinese.
            {{"G\xC3\xA9rant", "\xC3\x85sa",
              "Z\xC3\xB6"
              "e",
              cjkNote, cjkNote},
             1252,
             2,
             "G\xE9rant"},
            {{"\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD", "\xD0\xAE\xD0\xBB\xD0\xB8\xD1\x8F"},
             1251,
             0,
             "\xC8\xE2\xE0\xED"},
            {{"\xE5\xB1\xB1\xE7\x94\xB0", "\xE3\x81\x82"}, 932, 0, "\x8E\x52\x93\x63"},
            // 1252 and 1250 keep three cells each: the tie goes to 1252.
            {{"G\xC3\xA9rant", "\xC3\x85sa", "\xC3\x87\x65lik", "\xC5\x81ukasz"},
             1252,
             1,
             "?ukasz"},
            // Vietnamese letters with two marks are no single code of 1258: no page keeps a cell.
            {{"Nguy\xE1\xBB\x85n", "Tr\xE1\xBA\xA7n"}, 1252, 2, "Nguy?n"},
            // 932's yen sign would read back as a backslash, 936's euro sign is missing in
            // common readers: both read "?".
            {{"\xE5\xB1\xB1\xE7\x94\xB0", "\xE6\x9D\xB1",
              "Price \xC2\xA5"
              "500"},
             932,
             1,
             "Price ?500"},
            {{"\xE6\x9D\x8E\xE5\x8D\x8E", "\xE4\xBB\xB7 \xE2\x82\xAC"
                                          "5"},
             936,
             1,
             "\xBC\xDB ?5"}};
    for (const auto& [names, codePage, substituted, bytes] : cases) {
        support::MemorySink sink;
        ExcelContactSheet sheet;
        sheet.openOn(sink, "sheet.xls");
        for (std::int32_t i = 0; i < static_cast<std::int32_t>(names.size()); ++i) {
            ContactRecord record;
            record.FirstName = names[static_cast<std::size_t>(i)];
            sheet.Save2ExcelContact(record, i + 1);
        }
        sheet.close();
        EXPECT_EQ(sheet.codePage(), codePage) << names[0];
        EXPECT_EQ(support::readLe16(sink.bytes(), 12), codePage); // the CODEPAGE record
        EXPECT_NE(sink.bytes().find(bytes), std::string::npos) << names[0];
        EXPECT_EQ(sheet.file().substitutedCells(), substituted) << names[0];
        const auto notes = sheet.notes();
        ASSERT_EQ(notes.size(), substituted == 0 ? 0U : 1U);
        EXPECT_NE(sheet.writtenFiles().at(1).find(substituted == 0
                                                      ? std::string("no cell reads \"?\"")
                                                      : std::to_string(substituted) + " cell"),
                  std::string::npos);
    }
}

TEST(ExcelSheet, BusinessAddressJoinsItsLinesAndDropsBackslashes) {
    // clang-format off
    for (const auto& [address, cell] : std::vector<std::pair<std::string, std::string>>{
             {"12 Main St\\nSuite 5", "12 Main St, Suite 5"}, {"x\\\\ny", "x, y"}, {"a\\b", "ab"},
             {"a\\", "a"}, {"\\n\\n", ", , "}, {"a\\Nb", "aNb"}, {"a\nb", "a\nb"}}) {
        EXPECT_EQ(ExcelContactSheet::businessAddressCell(address), cell) << address;
    }
    // clang-format on
}

TEST(ExcelSheet, LongValuesAreLeftOutAndEachNamedInTheNotes) {
    support::MemorySink sink;
    ExcelContactSheet sheet;
    sheet.openOn(sink, "ZimbraContacts.xls");
    ContactRecord record;
    record.FullName = "Ann Lee";
    record.Comments = std::string(256, 'c');
    for (int number = 1; number <= 150; ++number) {
        sheet.Save2ExcelContact(record, number);
    }
    EXPECT_THROW(sheet.Save2ExcelContact(record, 0), core::OutputError);
    EXPECT_THROW(sheet.Save2ExcelContact(record, 65536), core::OutputError);
    sheet.close();
    // Every value left out is named: the closing message's details list them all.
    const auto notes = sheet.notes();
    ASSERT_EQ(notes.size(), 1U);
    ASSERT_EQ(notes[0].entries.size(), 150U);
    EXPECT_EQ(notes[0].entries[0], "Contact 1 (Ann Lee): Comments");
    EXPECT_EQ(notes[0].entries.back(), "Contact 150 (Ann Lee): Comments");
    EXPECT_EQ(sheet.checkQueueSize(65535), "");
    EXPECT_NE(sheet.checkQueueSize(65536).find("65535"), std::string::npos);
}

// A field goes across as it is, quoted where it must be; bytes that are not UTF-8 are the
// Windows-1252 characters they name, beside a quote too.
TEST(CsvFields, AreQuotedWhereNeededAndAlwaysValid) {
    for (const auto& [value, field] : std::initializer_list<std::pair<std::string, std::string>>{
             {"plain text", "plain text"},
             {"Zo\xC3\xAB \xF0\x9F\x98\x80", "Zo\xC3\xAB \xF0\x9F\x98\x80"},
             {"a,b", "\"a,b\""},
             {"say \"hi\"", "\"say \"\"hi\"\"\""},
             {"line\r\nnext", "\"line\r\nnext\""},
             {"caf\xE9", "caf\xC3\xA9"},
             {"\xE2\"\xFF,", "\"\xC3\xA2\"\"\xC3\xBF,\""},
             {"\xF0\x9F\x98", "\xC3\xB0\xC5\xB8\xCB\x9C"},
         }) {
        std::string out = "x";
        writers::CsvFile::appendField(out, value);
        EXPECT_EQ(out, "x" + field) << value;
    }
}

// Queued files 2 and 5 gave contacts, the others none: the contacts take the two rows below the
// header in both files, and the notes still name them by their queue numbers.
TEST(ExcelSheet, ContactRowsFollowOneAnotherInBothFiles) {
    support::MemorySink sink;
    support::MemorySink csv;
    ExcelContactSheet sheet;
    sheet.openOn(sink, "sheet.xls", &csv);
    for (const auto& [name, number] : {std::pair{"Ann", 2}, {"Bob", 5}}) {
        ContactRecord record;
        record.FirstName = record.FullName = name;
        record.Comments = std::string(300, 'c');
        sheet.Save2ExcelContact(record, number);
    }
    sheet.close();
    bool complete = false;
    std::vector<std::pair<int, std::string>> firstNames;
    for (const auto& record : splitRecords(sink.bytes(), complete)) {
        if (record.id == 4 && support::readLe16(record.body, 2) == 0) { // LABEL in column A
            firstNames.emplace_back(support::readLe16(record.body, 0), record.body.substr(8));
        }
    }
    EXPECT_EQ(firstNames, (std::vector<std::pair<int, std::string>>{
                              {0, "First Name"}, {1, "Ann"}, {2, "Bob"}}));
    const std::string text = csv.bytes();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
    EXPECT_NE(text.find("\nBob,"), std::string::npos);
    EXPECT_EQ(sheet.notes().at(0).entries.at(1), "Contact 5 (Bob): Comments");
}

TEST(ExcelSheet, WriteFailureStopsWithTheCauseAndLeavesNothingOpen) {
    for (const std::size_t limit : {0U, 400U, 1408U, 1513U}) {
        support::FailingSink sink(limit);
        ExcelContactSheet sheet;
        sheet.openOn(sink, "sheet.xls");
        sheet.Save2ExcelContact(ContactRecord{}, 1);
        try {
            sheet.close();
            ADD_FAILURE() << "a full disk must stop the run " << limit;
        } catch (const core::OutputError& error) {
            EXPECT_NE(std::string(error.what()).find("disk is full"), std::string::npos);
        }
        EXPECT_FALSE(sheet.file().isOpen());
        sheet.abandon();
    }
}

// Groups have no row in the worksheet; their members go to the groups file, a row each, and a
// group without members gets a row of its own. A run without groups begins no groups file.
TEST(ExcelSheet, WritesGroupsBesideTheContactsARowPerMember) {
    support::MemorySink sheetSink, csvSink, groupsSink;
    ExcelContactSheet sheet;
    sheet.openOn(sheetSink, "sheet.xls", &csvSink, &groupsSink);
    ContactRecord ann;
    ann.FirstName = "Ann";
    sheet.write(core::ContactToWrite{ann, ann, 1});
    EXPECT_TRUE(sheet.writeGroup(
        {core::ContactGroup{"Club, EU", {{"Lee, \"A\"", "a@x"}, {"", "b@x"}}}, 2}));
    EXPECT_TRUE(sheet.writeGroup({core::ContactGroup{"Empty", {}}, 3}));
    sheet.close();
    EXPECT_EQ(groupsSink.bytes(), "\xEF\xBB\xBFGroup,Member name,Member e-mail address\r\n"
                                  "\"Club, EU\",\"Lee, \"\"A\"\"\",a@x\r\n\"Club, EU\",,b@x\r\n"
                                  "Empty\r\n");
    EXPECT_EQ(std::count(csvSink.bytes().begin(), csvSink.bytes().end(), '\n'), 2)
        << "the header and Ann: groups have no row";
    EXPECT_NE(sheet.writtenFiles().at(0).find("; the contact groups in ZimbraGroups.csv"),
              std::string::npos);
    support::MemorySink noGroups;
    sheet.openOn(sheetSink, "sheet.xls", &csvSink, &noGroups);
    sheet.close();
    EXPECT_EQ(noGroups.bytes(), "");
    EXPECT_EQ(sheet.writtenFiles().at(0).find("groups"), std::string::npos);
}

TEST(VCardWriter, WritesTheEmptyCardByteForByte) {
    EXPECT_EQ(writers::vCardText(ContactRecord{}),
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
        {&C::Email2, "a=b@x.org", "EMAIL;INTERNET:a=b@x.org"},
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
        const std::string card = writers::vCardText(record);
        const auto start = card.find("\r\n" + line.substr(0, line.find_first_of(";:", 6)));
        EXPECT_EQ(card.substr(start + 2, card.find("\r\n", start + 2) - start - 2), line) << card;
    }
}

// Lines written only for a value a reader can take: an instant-messaging address with an
// address behind its service, a birthday that is a real day or a day without a year.
TEST(VCardWriter, WritesOptionalLinesOnlyForValuesReadersTake) {
    using C = ContactRecord;
    const std::vector<std::tuple<std::string C::*, std::string, std::string, std::string>> cases = {
        {&C::IMAddress, "xmpp://ann@example.org", "X-JABBER", "X-JABBER:ann@example.org"},
        {&C::IMAddress2, "xmpp://", "X-JABBER", ""},
        {&C::IMAddress3, "aim:// ", "X-AIM", ""},
        {&C::IMAddress, "chat://", "X-IM", "X-IM:chat://"},
        {&C::Birthday, "--05-01", "BDAY", "BDAY:--05-01"},
        {&C::Birthday, "1600-12-31", "BDAY", "BDAY:1600-12-31"},
        {&C::Birthday, "--02-30", "BDAY", ""},
        {&C::Birthday, "1 May", "BDAY", ""},
        {&C::Anniversary, "1599-06-02", "X-EVOLUTION-ANNIVERSARY",
         "X-EVOLUTION-ANNIVERSARY:1599-06-02"}};
    for (const auto& [field, value, property, line] : cases) {
        ContactRecord record;
        record.*field = value;
        const std::string card = writers::vCardText(record);
        const auto start = card.find("\r\n" + property + ":");
        EXPECT_EQ(start == std::string::npos
                      ? ""
                      : card.substr(start + 2, card.find("\r\n", start + 2) - start - 2),
                  line)
            << value;
    }
}

// A group's card: its name, the list mark, one line per member; names that would split a
// parameter are quoted, and what a parameter cannot hold is replaced.
TEST(VCardWriter, WritesAGroupAsAListCard) {
    const core::ContactGroup group{"Club; EU",
                                   {{"Lee, Ann", "ann@x"},
                                    {"", "bob@x"},
                                    {"Zo\xC3\xAB \"Z\"\nQ", "z;o@x"},
                                    {"Li", "\xE6\x9D\x8E@x"}}};
    EXPECT_EQ(writers::vCardGroupText(group),
              "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Club\\; EU\r\n"
              "FN;ENCODING=QUOTED-PRINTABLE:Club=3B EU\r\nX-EVOLUTION-LIST:TRUE\r\n"
              "EMAIL;INTERNET;X-EVOLUTION-DEST-NAME=\"Lee, Ann\":ann@x\r\n"
              "EMAIL;INTERNET:bob@x\r\n"
              "EMAIL;INTERNET;X-EVOLUTION-DEST-NAME=Zo\xC3\xAB 'Z' "
              "Q;ENCODING=QUOTED-PRINTABLE:z=3Bo@x\r\n"
              "EMAIL;CHARSET=UTF-8;INTERNET;X-EVOLUTION-DEST-NAME=Li:\xE6\x9D\x8E@x\r\n"
              "End:VCARD\r\n");
    TempDir dir;
    writers::VCardOutput output;
    output.open(dir.folder());
    EXPECT_TRUE(output.writeGroup(core::GroupToWrite{core::ContactGroup{"Team", {}}, 7}));
    output.close();
    EXPECT_EQ(readFile(dir.path() / "Team7.vcf"),
              "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Team\r\n"
              "FN:Team\r\nX-EVOLUTION-LIST:TRUE\r\nEnd:VCARD\r\n");
}

TEST(VCardOutput, NamesFilesKeepsClashesApartAndReportsWhatCannotBeWritten) {
    TempDir dir;
    writers::VCardOutput output;
    const auto write = [&](const std::string& fullName, int number) {
        ContactRecord record;
        record.FullName = fullName;
        output.write(core::ContactToWrite{record.trimmed(), record, number});
    };
    const auto card = [&](const char* name) { return readFile(dir.path() / name); };
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
    // Beside them, one file holds every card in queue order.
    const std::string all = card("ZimbraContacts.vcf");
    EXPECT_LT(all.find("FN:Clash1\r\n"), all.find("FN:A:B\r\n"));
    EXPECT_TRUE(all.ends_with("FN:\r\nUID:" + core::repeatedUid("", 5) + "\r\nEND:VCARD\r\n"))
        << all;
    // A new run replaces files of earlier runs instead of numbering around them. A card whose
    // name a folder holds is reported (by a later write or by close), the cards before it are
    // written, none after it, and no temporary file stays behind.
    std::filesystem::create_directory(dir.path() / "Held5.vcf");
    output.open(dir.folder());
    try {
        write("Clash", 12);
        write("Held", 5);
        write("After", 6);
        output.close();
        ADD_FAILURE() << "a folder in the card's place must be reported";
    } catch (const core::OutputError& error) {
        EXPECT_NE(std::string(error.what()).find("Held5.vcf"), std::string::npos) << error.what();
    }
    output.abandon();
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "Clash12 (4).vcf"));
    EXPECT_NE(card("Clash12.vcf").find("FN:Clash\r\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "After6.vcf"));
    EXPECT_EQ(card("ZimbraContacts.vcf").find("FN:After"), std::string::npos);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".plumbrae-")) << entry.path();
    }
    try {
        output.open(dir.folder() + "missing/");
        ADD_FAILURE() << "writing into a missing folder must fail";
    } catch (const core::OutputError& error) {
        EXPECT_NE(std::string(error.what()).find("missing/ZimbraContacts.vcf: no such file or"),
                  std::string::npos)
            << error.what();
    }
}

} // namespace
} // namespace plumbrae::testing
