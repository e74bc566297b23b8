// The Outlook option end to end, for what generated contact files do not hold: a conversion run
// through the late-bound export and our own object model into a real PST file, read back by
// libpff and checked by the independent structure checker. (plumbrae-convert --pst on generated
// files is read back by both readers in pst_export_cli_test.cpp.)

#include "core/conversion_run.h"
#include "pst/rdo/rdo_session.h"
#include "tests/support/scripted_host.h"
#include "tests/support/temp_dir.h"
#include "tests/writers/pst_export_readers.h"
#include "writers/pst_export.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace plumbrae::testing {
namespace {

using nlohmann::json;

struct Person {
    std::string first, last, company, jobTitle, mobile, street, city, state, zip, country, notes,
        email;
};

std::string bencoded(const std::string& text) {
    return std::to_string(text.size()) + ":" + text;
}

std::string metaFile(const Person& p) {
    std::string fields;
    auto add = [&](const char* name, const std::string& value) {
        if (!value.empty()) {
            fields += bencoded(name) + bencoded(value);
        }
    };
    add("company", p.company);
    add("email", p.email);
    add("firstName", p.first);
    add("homeCountry", p.country);
    add("homeCity", p.city);
    add("homePostalCode", p.zip);
    add("homeState", p.state);
    add("homeStreet", p.street);
    add("jobTitle", p.jobTitle);
    add("lastName", p.last);
    add("mobilePhone", p.mobile);
    add("notes", p.notes);
    return "d4:metad1:ti0ee\r\nd3:fldd" + fields + "ee";
}

Person somebody() {
    return {"Ann",      "Lee", "Acme", "Engineer", "+1 555 0100",     "1 Rue Süd",
            "Göteborg", "VG",  "41",   "Sverige",  "Met at the fair", "ann@example.org"};
}

struct PstEndToEnd : ::testing::Test {
    TempDir input;
    TempDir output;
    ScriptedHost host;

    PstEndToEnd() { pst::rdo::registerRdoSession(); }

    /// Runs the conversion of the queued files; the export is released at the end, as when the
    /// program ends. Returns the PST path.
    std::string convert(core::RunReport& report) {
        writers::PstExport exporter;
        host.option = core::OutputKind::Pst;
        host.folderAnswer = output.path().string();
        core::ConversionRun run(host, [&](core::OutputKind kind) {
            return kind == core::OutputKind::Pst ? &exporter : nullptr;
        });
        report = run.run();
        return exporter.pstPath();
    }
    void queue(const std::vector<Person>& list) {
        host.queue.clear();
        for (std::size_t i = 0; i < list.size(); ++i) {
            host.queue.push_back(
                input.write("c" + std::to_string(i) + ".meta", metaFile(list[i])).string());
        }
    }
};

// Contacts without names still carry a file-as, display name and subject, so readpst extracts
// each of them and names it.
TEST_F(PstEndToEnd, ContactsWithoutNamesAreExtractedWithAName) {
    struct Case {
        Person person;
        std::string fileAs;
    };
    std::vector<Case> cases(6);
    cases[0].person.notes = "Only a note\nsecond line";
    cases[0].fileAs = "Only a note";
    cases[1].person.email = "solo@example.org";
    cases[1].fileAs = "solo@example.org";
    cases[2].person.company = "Acme";
    cases[2].fileAs = "Acme";
    cases[3].person.mobile = "555 0100";
    cases[3].fileAs = "555 0100";
    cases[4].fileAs = "(no name)";
    cases[5].person.last = "Lee";
    cases[5].person.email = "lee@example.org";
    cases[5].fileAs = "Lee";
    std::vector<Person> list;
    for (const auto& c : cases) {
        list.push_back(c.person);
    }
    queue(list);
    core::RunReport report;
    const std::string pst = convert(report);
    ASSERT_EQ(report.outcome, core::RunReport::Outcome::Completed) << report.finalMessage.text;
    const json extracted = readPstWith("readpst_contacts.py", pst);
    const json& cards = extracted.at("contacts");
    ASSERT_EQ(cards.size(), cases.size()) << extracted.at("readpst_output");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(cards[i].at("FN"), cases[i].fileAs) << cards[i].at("lines").dump();
    }
}

// The picture call with a real file: the item carries it as an attachment, byte for byte.
TEST_F(PstEndToEnd, APhotoBecomesTheContactsPictureAttachment) {
    std::string jpeg = "\xFF\xD8\xFF\xE0";
    jpeg += std::string(5000, '\x5A');
    jpeg += "\xFF\xD9";
    const std::string photo = input.write("ann.jpg", jpeg).string();
    std::string pst;
    {
        writers::PstExport exporter;
        exporter.open(output.folder());
        core::ContactRecord withPhoto;
        withPhoto.FirstName = "Ann";
        withPhoto.Photo = photo;
        const core::ContactRecord without;
        exporter.write(core::ContactToWrite{withPhoto, withPhoto, 1});
        exporter.write(core::ContactToWrite{without, without, 2});
        exporter.close();
        pst = exporter.pstPath();
    }
    const std::string script =
        "import pypff, sys\n"
        "f = pypff.file(); f.open(sys.argv[1])\n"
        "def find(folder):\n"
        "    if folder.name == 'Contacts': return folder\n"
        "    for sub in folder.sub_folders:\n"
        "        hit = find(sub)\n"
        "        if hit: return hit\n"
        "for m in find(f.get_root_folder()).sub_messages:\n"
        "    a = [x.read_buffer(x.size) for x in m.attachments]\n"
        "    print(len(a), *[len(b) for b in a], *[b[:2].hex() for b in a])\n";
    const std::string scriptPath = input.write("attachments.py", script).string();
    int status = 0;
    const std::string listed = commandOutput(
        "/usr/bin/python3 " + shellQuoted(scriptPath) + " " + shellQuoted(pst), status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(listed, "1 " + std::to_string(jpeg.size()) + " ffd8\n0\n");
    EXPECT_EQ(pstCheckerFindings(pst), "");
}

// Contact files are UTF-8, but older exports hold single-byte text: a byte that is not part
// of valid UTF-8 arrives as the Windows-1252 character it names, never as a question mark.
TEST_F(PstEndToEnd, BytesThatAreNotUtf8ArriveAsWindows1252Characters) {
    Person person = somebody();
    person.first = "Ren\xE9";
    person.notes = "Price \x80 5, mark \x81, caf\xC3\xA9";
    queue({person});
    core::RunReport report;
    const std::string pst = convert(report);
    ASSERT_EQ(report.outcome, core::RunReport::Outcome::Completed);
    const json dump = readPstWith("pst_dump.py", pst);
    ASSERT_EQ(dump.at("contacts").size(), 1U);
    EXPECT_EQ(dump.at("contacts")[0].at("given_name"), "Ren\u00e9");
    EXPECT_EQ(dump.at("contacts")[0].at("display_name"), "Ren\u00e9 " + person.last);
    EXPECT_EQ(dump.at("contacts")[0].at("body"), "Price \u20ac 5, mark \u0081, caf\u00e9");
}

} // namespace
} // namespace plumbrae::testing
