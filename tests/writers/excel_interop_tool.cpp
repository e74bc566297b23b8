// Writes a small contact sheet and its CSV into the folder given as the only argument, for
// outside readers to check (see check_xls_readers.py, which knows the same contacts).

#include "core/contact_record.h"
#include "writers/excel_contact_sheet.h"

#include <exception>
#include <iostream>
#include <string>

namespace {

using plumbrae::core::ContactRecord;

ContactRecord named(std::string first, std::string last) {
    ContactRecord record;
    record.FirstName = std::move(first);
    record.LastName = std::move(last);
    record.FullName = record.FirstName + " " + record.LastName;
    return record;
}

void writeSheet(const std::string& folder) {
    plumbrae::writers::ExcelContactSheet sheet;
    sheet.open(folder);

    ContactRecord ann = named("Ann", "Lee");
    ann.Email = "ann@example.org";
    ann.Company = "Acme & Sons, \"Ltd\"";
    ann.JobTitle = "Engineer";
    ann.WebPage = "www.example.org";
    ann.CellPhone = "+1 555 0100";
    ann.Pager = "555-0199";
    ann.BusinessAddress = "12 Main St\\nSuite 5";
    ann.PersonalStreet = "1 Elm Rd\\nFlat 2";
    ann.Comments = std::string(254, 'n') + "!";
    sheet.Save2ExcelContact(ann.trimmed(), 1);

    // UTF-8 as the contact files hold it; the sheet stores it in Windows-1252.
    ContactRecord zoe = named("Zo\xC3\xAB", "\xC3\x85ngstr\xC3\xB6m");
    zoe.PersonalCity = "M\xC3\xBCnchen";
    zoe.PersonalZip = "80331";
    zoe.PersonalCountry = "Deutschland";
    zoe.Comments = std::string(300, 'x');
    zoe.JobTitle = "G\xC3\xA9rant \xE2\x82\xAC \xC5\x92uvre";
    zoe.PersonalStreet = "Stra\xC3\x9F"
                         "e 1";
    zoe.BusinessCity = "Qu\xC3\xA9"
                       "bec";
    sheet.Save2ExcelContact(zoe.trimmed(), 2);

    ContactRecord solo = named("", "Solo");
    solo.Comments = "line one\r\nline two\ttabbed";
    sheet.Save2ExcelContact(solo.trimmed(), 3);

    // Contact 4 could not be read: its row stays empty.
    sheet.Save2ExcelContact(named("Last", "One").trimmed(), 5);
    sheet.close();
    for (const auto& line : sheet.notes()) {
        std::cout << line << "\n";
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: excel_interop_tool FOLDER/\n";
        return 2;
    }
    try {
        writeSheet(argv[1]);
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    return 0;
}
