// Files written by the PST writer, read back by programs nobody here wrote: libpff (pffinfo and
// python3-pypff through pst_dump.py), libpst (readpst through readpst_contacts.py), and the
// separately written integrity checker pst_check.py. Before them, what the files show only in
// part: the names a card is filed under and the texts composed for it in every case, and the
// limits the heap and property builders refuse to pass.

#include "pst/ltp/heap_builder.h"
#include "pst/ltp/property_context.h"
#include "pst/messaging/contact_message_p.h"
#include "pst/messaging/pst_file.h"
#include "tests/pst/messaging/pst_readers.h"
#include "tests/pst/messaging/sample_contacts.h"
#include "tests/support/print_case.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <tuple>

namespace plumbrae::testing {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using plumbrae::testing::PrintTo; // NOLINT(misc-unused-using-decls): found by GoogleTest
using namespace pst::messaging;
using namespace std::string_literals;

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
    // A contact with only a note shows the note's first line, cut short before a character.
    Contact noted;
    noted.body = " " + std::string(63, 'n') + "\xC3\xA9 more\nsecond line";
    EXPECT_EQ(shownNameFor(noted), std::string(63, 'n'));
}

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

struct Store {
    const char* name;
    std::size_t contacts;
    std::size_t batch;
    /// The first contact's photo is this large when not 0.
    std::size_t photoBytes = 0;
};

Contact contactOf(const Store& store, std::size_t i) {
    auto c = sampleContact(i);
    if (i == 0 && store.photoBytes != 0) {
        c.picture = ContactPicture{"\xFF\xD8" + std::string(store.photoBytes, 'p') + "\xFF\xD9",
                                   "ContactPicture.jpg"};
    }
    return c;
}

fs::path write(const fs::path& path, const Store& store) {
    auto file = PstFile::create(path, "Interop Store", {store.batch, std::chrono::hours(1)});
    EXPECT_EQ(pstFindings(path), "") << "right after creation";
    for (std::size_t i = 0; i < store.contacts; ++i) {
        file->addContact(contactOf(store, i));
    }
    file->close();
    return path;
}

/// Every field, the values derived from them (composed addresses, e-mail display texts and
/// types, file-as text, categories) and the photo as libpff reads them, empty fields absent;
/// the names, e-mail, title, company, phone, notes and assistant as readpst extracts them.
void expectReadersSee(const fs::path& path, const Store& store) {
    const std::size_t count = store.contacts;
    int status = 0;
    EXPECT_NE(commandOutput("pffinfo '" + path.string() + "'", status), "");
    EXPECT_EQ(status, 0);
    std::string failure;
    const auto dump = pstReaderJson("pst_dump.py", path, &failure);
    EXPECT_EQ(failure, "");
    std::set<std::string> folders;
    for (const auto& folder : dump["folders"]) {
        folders.insert(folder["path"].get<std::string>());
    }
    for (const char* name : {"Deleted Items", "Inbox", "Outbox", "Sent Items", "Calendar",
                             "Contacts", "Journal", "Notes", "Tasks", "Drafts"}) {
        EXPECT_EQ(folders.count(std::string("Top of Personal Folders/") + name), 1U) << name;
    }
    const auto cards = readpstContactCards(path, &failure);
    EXPECT_EQ(failure, "");
    ASSERT_EQ(dump["contacts"].size(), count);
    ASSERT_EQ(cards.size(), count);
    for (std::size_t i = 0; i < count; ++i) {
        const auto c = contactOf(store, i);
        const auto& seen = dump["contacts"][i];
        const auto& named = seen["named"];
        std::istringstream fields("message_class given_name surname display_name company job_title "
                                  "mobile home_street home_city home_state home_postal_code "
                                  "home_country body email1 sensitivity");
        for (const std::string& value :
             {"IPM.Contact"s, c.givenName, c.surname, c.displayName, c.companyName, c.jobTitle,
              c.mobileTelephone, c.homeStreet, c.homeCity, c.homeState, c.homePostalCode,
              c.homeCountry, withCrLf(c.body), c.email1, "00000000"s}) {
            std::string field;
            fields >> field;
            EXPECT_EQ(seen[field], value) << field << " of contact " << i;
        }
        EXPECT_EQ(named["0x801A"], c.homeStreet + "\r\n" + c.homeCity + ", " + c.homeState + " " +
                                       c.homePostalCode + "\r\n" + c.homeCountry);
        EXPECT_EQ(named["0x801B"], c.workAddress.empty() ? c.workStreet + "\r\nWorktown, WS " +
                                                               c.workPostalCode + "\r\nWorkland"
                                                         : withCrLf(c.workAddress));
        EXPECT_EQ(named["0x8005"], c.surname + ", " + c.givenName + " M");
        EXPECT_EQ(named["0x8080"], c.displayName + " (" + c.email1 + ")");
        EXPECT_EQ(named["0x8082"], "SMTP");
        EXPECT_EQ(named["0x8022"], "02000000"); // the work address is the mailing address
        EXPECT_EQ(named.contains("0x80A3"), !c.email3.empty()) << i;
        EXPECT_EQ(named["Keywords"], Json::array({"Friends", "Work"}));
        // The photo: stored by value, hidden, marked on the contact.
        const Json photo = {{"size", c.picture ? c.picture->bytes.size() : 0},
                            {"method", "01000000"},
                            {"extension", ".jpg"},
                            {"hidden", "01"}};
        EXPECT_EQ(seen["attachments"], c.picture ? Json::array({photo}) : Json::array());
        EXPECT_EQ(named.value("0x8015", ""), c.picture ? "01" : "");
        const auto& card = cards[i];
        EXPECT_EQ(card["FN"], c.surname + ", " + c.givenName + " " + c.middleName);
        EXPECT_EQ(card["N"], Json::array({c.surname, c.givenName, c.middleName, c.displayNamePrefix,
                                          c.generation}));
        EXPECT_EQ(card["EMAIL"][0], c.email1);
        EXPECT_EQ(card["TITLE"], c.jobTitle);
        EXPECT_EQ(card["ORG"], c.companyName);
        EXPECT_EQ(card["TEL;CELL"], c.mobileTelephone);
        EXPECT_EQ(card["NOTE"], c.body);
        EXPECT_EQ(card["AGENT"], c.assistantName);
    }
}

class ReaderInterop : public ::testing::TestWithParam<Store> {};

// Every store is whole for the checker, with nothing leaked, and the readers see every contact.
TEST_P(ReaderInterop, ReadersSeeEveryContactOfAWholeStore) {
    const Store& store = GetParam();
    const TempDir dir;
    const auto path = write(dir.path() / "store.pst", store);
    EXPECT_EQ(pstFindings(path), "");
    expectReadersSee(path, store);
    if (store.batch < 10) { // the space replaced commits free is used again
        const Store once{"once", store.contacts, 1000};
        EXPECT_LT(fs::file_size(path), fs::file_size(write(dir.path() / "once.pst", once)) * 2);
    }
}

// 800 contacts give B-trees of several levels and many allocation maps; a hundred commits
// free and reuse replaced blocks and pages; a photo that fills four XBLOCKs exactly (1,021
// blocks of 8,176 bytes each, less the 4 bytes of markers around it) needs a data tree of two
// levels and takes the store past 32 MB, where free maps begin.
INSTANTIATE_TEST_SUITE_P(Stores, ReaderInterop,
                         ::testing::Values(Store{"Empty", 0, 1000}, Store{"Batches", 23, 10},
                                           Store{"DeepTreesAndManyMaps", 800, 300},
                                           Store{"ManySmallCommits", 300, 3},
                                           Store{"LargePhoto", 1, 1000, 4 * 1021 * 8176 - 4}),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace plumbrae::testing
