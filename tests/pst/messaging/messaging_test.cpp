#include "pst/messaging/contact_message_p.h"
#include "pst/messaging/named_property_map.h"
#include "pst/messaging/pst_file.h"
#include "tests/pst/messaging/pst_readers.h"
#include "tests/pst/messaging/sample_contacts.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace plumbrae::testing {
namespace {

using namespace pst::messaging;

// What a contact message holds, the name-to-id map's streams and hash buckets, and the store a
// new file starts with are checked in written files by the outside readers and the independent
// checker (reader_interop_test.cpp).

/// Contacts in a file on disk, as libpff reads them.
std::size_t countContacts(const std::filesystem::path& path) {
    return pstReaderJson("pst_dump.py", path)["contacts"].size();
}

Contact sampleContactForTests() {
    return sampleContact(0);
}

TEST(NamedPropertyMap, GivesEachNameOneIdInOrderOfFirstUse) {
    NamedPropertyMap names;
    EXPECT_EQ(names.idFor(AddressPropertySet, 0x8083), 0x8000);
    EXPECT_EQ(names.idFor(PublicStringsPropertySet, std::string("Keywords")), 0x8001);
    EXPECT_EQ(names.idFor(AddressPropertySet, 0x8005), 0x8002);
    EXPECT_EQ(names.idFor(AddressPropertySet, 0x8083), 0x8000);
    EXPECT_EQ(names.idFor(PublicStringsPropertySet, std::string("Keywords")), 0x8001);
    EXPECT_EQ(names.size(), 3U);
}

// A card is filed under the person's name, else the company, else an e-mail address, else the
// display name; it shows the display name when there is one.
TEST(FileUnder, PicksTheNamesTheCardIsFiledAndShownUnder) {
    struct Case {
        std::string given, middle, surname, company, email, display, expected;
        std::int32_t pattern;
        std::string shown;
    };
    for (const auto& c :
         std::vector<Case>{{"Ann", "B", "Lee", "Acme", "a@x", "x", "Lee, Ann B", 0x8017, "x"},
                           {"Ann", "", "", "Acme", "", "", "Ann", 0x8017, "Ann"},
                           {"", "", "Lee", "", "", "", "Lee", 0x8017, "Lee"},
                           {"", "", "", "Acme", "a@x", "Ann Lee", "Acme", 0x3A16, "Ann Lee"},
                           {"", "", "", "Acme", "a@x", "", "Acme", 0x3A16, "Acme"},
                           {"", "", "", "", "a@x", "Ann Lee", "a@x", -1, "Ann Lee"},
                           {"", "", "", "", "a@x", "", "a@x", -1, "a@x"},
                           {"", "", "", "", "", "Ann Lee", "Ann Lee", 0x3001, "Ann Lee"},
                           {"", "", "", "", "", "", "(no name)", 0x3001, "(no name)"}}) {
        Contact contact;
        contact.givenName = c.given;
        contact.middleName = c.middle;
        contact.surname = c.surname;
        contact.companyName = c.company;
        contact.email2 = c.email;
        contact.displayName = c.display;
        EXPECT_EQ(fileUnderFor(contact).text, c.expected);
        EXPECT_EQ(fileUnderFor(contact).pattern, c.pattern) << c.expected;
        EXPECT_EQ(shownNameFor(contact), c.shown) << c.expected;
    }
}

TEST(ContactText, LineEndsBecomeCrLf) {
    EXPECT_EQ(withCrLf("a\nb\r\nc\rd\n"), "a\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(composeAddress("1 Main St", "Springfield", "IL", "62701", "USA"),
              "1 Main St\r\nSpringfield, IL 62701\r\nUSA");
    EXPECT_EQ(composeAddress("", "Springfield", "", "62701", ""), "Springfield, 62701");
    EXPECT_EQ(composeAddress("", "", "", "", ""), "");
}

TEST(PstFile, RefusesAnExistingPath) {
    TempDir dir;
    const auto path = dir.write("taken.pst", "x");
    EXPECT_THROW(PstFile::create(path, "Store"), PstError);
    EXPECT_EQ(readFile(path), "x");
}

TEST(PstFile, ReportsAFolderThatDoesNotExistNamingTheFile) {
    TempDir dir;
    try {
        PstFile::create(dir.path() / "missing" / "out.pst", "Store");
        FAIL() << "no error";
    } catch (const PstError& error) {
        EXPECT_NE(std::string(error.what()).find("out.pst"), std::string::npos) << error.what();
    }
}

TEST(PstFile, CommitsInBatchesAndAtClose) {
    TempDir dir;
    const auto path = dir.path() / "batches.pst";
    auto file = PstFile::create(path, "Store", {3, std::chrono::hours(1)});
    for (std::size_t i = 0; i < 7; ++i) {
        file->addContact(sampleContactForTests());
    }
    EXPECT_EQ(file->commitCount(), 3U); // creation, then after contacts 3 and 6
    EXPECT_EQ(countContacts(path), 6U);
    file->close();
    EXPECT_EQ(countContacts(path), 7U);
    // Nothing stays beside a closed file.
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp"));
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".spare"));
    file->close();
    EXPECT_THROW(file->addContact(sampleContactForTests()), PstError);
}

TEST(PstFile, CommitsWhenTimeRunsOut) {
    TempDir dir;
    const auto path = dir.path() / "timed.pst";
    auto file = PstFile::create(path, "Store", {1000, std::chrono::milliseconds(0)});
    file->addContact(sampleContactForTests());
    EXPECT_EQ(file->commitCount(), 2U);
    EXPECT_EQ(countContacts(path), 1U);
}

TEST(PstFile, AFailedCommitLeavesTheLastCommittedStore) {
    TempDir dir;
    const auto path = dir.path() / "blocked.pst";
    auto file = PstFile::create(path, "Store", {2, std::chrono::hours(1)});
    file->addContact(sampleContactForTests());
    file->addContact(sampleContactForTests()); // committed
    // The file moved away for a moment makes the next commit fail.
    const auto moved = dir.path() / "moved.pst";
    std::filesystem::rename(path, moved);
    file->addContact(sampleContactForTests());
    try {
        file->addContact(sampleContactForTests());
        FAIL() << "the commit did not fail";
    } catch (const PstError& error) {
        EXPECT_NE(std::string(error.what()).find("blocked.pst"), std::string::npos) << error.what();
    }
    std::filesystem::rename(moved, path);
    EXPECT_EQ(pstFindings(path, false), "");
    EXPECT_EQ(countContacts(path), 2U);
    // Once the file is back, the next commit writes everything added.
    file->commit();
    EXPECT_EQ(countContacts(path), 4U);
}

TEST(PstFile, RemovesOnlyItsOwnLeftoverBesideTheFile) {
    TempDir dir;
    const auto path = dir.path() / "aside.pst";
    dir.write("aside.pst.tmp", "someone else's notes");
    EXPECT_THROW(PstFile::create(path, "Store"), PstError);
    EXPECT_EQ(readFile(dir.path() / "aside.pst.tmp"), "someone else's notes");
    dir.write("aside.pst.tmp", "!BDN and the rest of a store written by a killed run");
    auto file = PstFile::create(path, "Store");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "aside.pst.tmp"));
    EXPECT_EQ(pstFindings(path, false), "");
}

TEST(PstFile, DestructionOnlyCleansUpBesideTheLastCommit) {
    TempDir dir;
    const auto path = dir.path() / "dropped.pst";
    {
        auto file = PstFile::create(path, "Store", {2, std::chrono::hours(1)});
        for (int i = 0; i < 5; ++i) {
            file->addContact(sampleContactForTests());
        }
    }
    EXPECT_EQ(countContacts(path), 4U);
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp"));
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".spare"));
}

} // namespace
} // namespace plumbrae::testing
