// The names a card is filed under and the texts composed for it, in every case (the written
// files show only the sample's); and the life of a PstFile: when it commits, what it refuses,
// what it leaves on disk.

#include "pst/ltp/heap_builder.h"
#include "pst/ltp/property_context.h"
#include "pst/messaging/contact_message_p.h"
#include "pst/messaging/pst_file.h"
#include "tests/pst/messaging/pst_readers.h"
#include "tests/pst/messaging/sample_contacts.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <tuple>

namespace plumbrae::testing {
namespace {

namespace fs = std::filesystem;
using namespace pst::messaging;

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
        std::tie(contact.givenName, contact.middleName, contact.surname, contact.companyName,
                 contact.email2, contact.displayName) =
            std::tie(c.given, c.middle, c.surname, c.company, c.email, c.display);
        EXPECT_EQ(fileUnderFor(contact).text, c.expected);
        EXPECT_EQ(fileUnderFor(contact).pattern, c.pattern) << c.expected;
        EXPECT_EQ(shownNameFor(contact), c.shown) << c.expected;
    }
}

// What a written file cannot show: the limits the heap and property builders refuse to pass.
TEST(Builders, RefuseAllocationsPastTheLimitAndAPropertySetTwice) {
    pst::ltp::HeapBuilder heap(pst::ltp::HeapClient::BTree);
    EXPECT_NO_THROW(heap.allocate(std::string(pst::ltp::MaxHeapAllocation, 'x')));
    EXPECT_THROW(heap.allocate(std::string(pst::ltp::MaxHeapAllocation + 1, 'x')),
                 std::length_error);
    using pst::ltp::makeTag, pst::ltp::PropertyType;
    EXPECT_THROW(pst::ltp::buildPropertyContext({{makeTag(0x3001, PropertyType::String), "a"},
                                                 {makeTag(0x3001, PropertyType::Binary), "b"}}),
                 std::invalid_argument);
}

TEST(ContactText, LineEndsBecomeCrLf) {
    EXPECT_EQ(withCrLf("a\nb\r\nc\rd\n"), "a\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(composeAddress("1 Main St", "Springfield", "IL", "62701", "USA"),
              "1 Main St\r\nSpringfield, IL 62701\r\nUSA");
    EXPECT_EQ(composeAddress("", "Springfield", "", "62701", ""), "Springfield, 62701");
    EXPECT_EQ(composeAddress("", "", "", "", ""), "");
}

// Commits come after a batch of contacts, when time runs out and at close; a file dropped
// without close keeps its last commit; nothing stays beside the files.
TEST(PstFile, CommitsInBatchesOnTimeAndAtClose) {
    TempDir dir;
    const auto path = dir.path() / "batches.pst";
    auto file = PstFile::create(path, "Store", {3, std::chrono::hours(1)});
    for (std::size_t i = 0; i < 7; ++i) {
        file->addContact(sampleContact(i));
    }
    EXPECT_EQ(file->commitCount(), 3U); // creation, then after contacts 3 and 6
    EXPECT_EQ(libpffContacts(path).size(), 6U);
    file->close();
    EXPECT_EQ(libpffContacts(path).size(), 7U);
    file->close();
    EXPECT_THROW(file->addContact(sampleContact(0)), PstError);
    auto timed = PstFile::create(dir.path() / "timed.pst", "Store", {1000, {}});
    timed->addContact(sampleContact(0));
    EXPECT_EQ(timed->commitCount(), 2U);
    EXPECT_EQ(libpffContacts(dir.path() / "timed.pst").size(), 1U);
    {
        auto dropped =
            PstFile::create(dir.path() / "dropped.pst", "Store", {2, std::chrono::hours(1)});
        for (int i = 0; i < 5; ++i) {
            dropped->addContact(sampleContact(0));
        }
    }
    EXPECT_EQ(libpffContacts(dir.path() / "dropped.pst").size(), 4U);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 3);
}

// Creation fails naming the file, and leaves every file it did not write as it was; only a
// leftover of its own (a store a killed run wrote) is removed.
TEST(PstFile, CreationRefusesWhatItDidNotWrite) {
    TempDir dir;
    dir.write("taken.pst", "x");
    dir.write("aside.pst.tmp", "someone else's notes");
    for (const fs::path name : {"taken.pst", "missing/out.pst", "aside.pst"}) {
        try {
            PstFile::create(dir.path() / name, "Store");
            ADD_FAILURE() << name << " created";
        } catch (const PstError& error) {
            EXPECT_NE(std::string(error.what()).find(name.filename().string()), std::string::npos)
                << error.what();
        }
    }
    EXPECT_EQ(readFile(dir.path() / "taken.pst"), "x");
    EXPECT_EQ(readFile(dir.path() / "aside.pst.tmp"), "someone else's notes");
    dir.write("aside.pst.tmp", "!BDN and the rest of a store written by a killed run");
    auto file = PstFile::create(dir.path() / "aside.pst", "Store");
    EXPECT_FALSE(fs::exists(dir.path() / "aside.pst.tmp"));
    EXPECT_EQ(pstFindings(dir.path() / "aside.pst", false), "");
}

TEST(PstFile, AFailedCommitLeavesTheLastCommittedStore) {
    TempDir dir;
    const auto path = dir.path() / "blocked.pst";
    auto file = PstFile::create(path, "Store", {2, std::chrono::hours(1)});
    file->addContact(sampleContact(0));
    file->addContact(sampleContact(1)); // committed
    // The file moved away for a moment makes the next commit fail.
    const auto moved = dir.path() / "moved.pst";
    fs::rename(path, moved);
    file->addContact(sampleContact(2));
    try {
        file->addContact(sampleContact(3));
        FAIL() << "the commit did not fail";
    } catch (const PstError& error) {
        EXPECT_NE(std::string(error.what()).find("blocked.pst"), std::string::npos) << error.what();
    }
    fs::rename(moved, path);
    EXPECT_EQ(pstFindings(path, false), "");
    EXPECT_EQ(libpffContacts(path).size(), 2U);
    // Once the file is back, the next commit writes everything added.
    file->commit();
    EXPECT_EQ(libpffContacts(path).size(), 4U);
}

} // namespace
} // namespace plumbrae::testing
