// Files written by the PST writer, read back by programs nobody here wrote: libpff (pffinfo and
// python3-pypff through pst_dump.py), libpst (readpst through readpst_contacts.py), and the
// separately written integrity checker pst_check.py.

#include "pst/messaging/pst_file.h"
#include "tests/pst/messaging/pst_readers.h"
#include "tests/pst/messaging/sample_contacts.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <set>
#include <unistd.h>

namespace plumbrae::testing {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

std::string withCrLf(const std::string& text) {
    std::string out;
    for (const char c : text) {
        out += c == '\n' ? "\r\n" : std::string(1, c);
    }
    return out;
}

const std::vector<std::string> Fields = {
    "message_class",    "given_name",   "surname",     "display_name", "company",
    "job_title",        "mobile",       "home_street", "home_city",    "home_state",
    "home_postal_code", "home_country", "body",        "email1",       "sensitivity"};

class ReaderInterop : public ::testing::Test {
protected:
    void SetUp() override {
        if (!pstReadersInstalled() || !fs::exists("/usr/bin/pffinfo")) {
            GTEST_SKIP() << "pff-tools, pst-utils or python3-pypff are not installed";
        }
    }

    fs::path write(const std::string& name, std::size_t count, std::size_t batch = 1000) {
        auto path = m_dir.path() / name;
        auto file =
            pst::messaging::PstFile::create(path, "Interop Store", {batch, std::chrono::hours(1)});
        for (std::size_t i = 0; i < count; ++i) {
            file->addContact(sampleContact(i));
        }
        file->close();
        return path;
    }

    static Json libpff(const fs::path& path) {
        std::string failure;
        auto dump = pstReaderJson("pst_dump.py", path, &failure);
        EXPECT_EQ(failure, "");
        return dump;
    }

    // Every field, the values derived from them (composed addresses, e-mail display texts and
    // types, file-as text, categories) and the photo, as libpff reads them; empty fields absent.
    static void expectLibpffSees(const fs::path& path, std::size_t count) {
        int status = 0;
        EXPECT_NE(commandOutput("pffinfo '" + path.string() + "'", status), "");
        EXPECT_EQ(status, 0);
        const auto dump = libpff(path);
        std::set<std::string> folders;
        for (const auto& folder : dump["folders"]) {
            folders.insert(folder["path"].get<std::string>());
        }
        for (const char* name : {"Deleted Items", "Inbox", "Outbox", "Sent Items", "Calendar",
                                 "Contacts", "Journal", "Notes", "Tasks", "Drafts"}) {
            EXPECT_EQ(folders.count(std::string("Top of Personal Folders/") + name), 1U) << name;
        }
        ASSERT_EQ(dump["contacts"].size(), count);
        for (std::size_t i = 0; i < count; ++i) {
            const auto c = sampleContact(i);
            const auto& seen = dump["contacts"][i];
            const auto& named = seen["named"];
            const auto home = c.homeStreet + "\r\n" + c.homeCity + ", " + c.homeState + " " +
                              c.homePostalCode + "\r\n" + c.homeCountry;
            const std::vector<std::string> values = {
                "IPM.Contact",    c.givenName,       c.surname,        c.displayName, c.companyName,
                c.jobTitle,       c.mobileTelephone, c.homeStreet,     c.homeCity,    c.homeState,
                c.homePostalCode, c.homeCountry,     withCrLf(c.body), c.email1,      "00000000"};
            for (std::size_t k = 0; k < values.size(); ++k) {
                EXPECT_EQ(seen[Fields[k]], values[k]) << Fields[k] << " of contact " << i;
            }
            EXPECT_EQ(named["0x801A"], home);
            EXPECT_EQ(named["0x801B"], c.workAddress.empty() ? c.workStreet + "\r\nWorktown, WS " +
                                                                   c.workPostalCode + "\r\nWorkland"
                                                             : withCrLf(c.workAddress));
            EXPECT_EQ(named["0x8005"], c.surname + ", " + c.givenName + " M");
            EXPECT_EQ(named["0x8080"], c.displayName + " (" + c.email1 + ")");
            EXPECT_EQ(named["0x8082"], "SMTP");
            EXPECT_EQ(named.contains("0x80A3"), !c.email3.empty()) << i;
            EXPECT_EQ(named["Keywords"], Json::array({"Friends", "Work"}));
            // The photo: stored by value, hidden, marked on the contact.
            const Json photo = {{"size", c.picture ? c.picture->bytes.size() : 0},
                                {"method", "01000000"},
                                {"extension", ".jpg"},
                                {"hidden", "01"}};
            EXPECT_EQ(seen["attachments"], c.picture ? Json::array({photo}) : Json::array());
            EXPECT_EQ(named.value("0x8015", ""), c.picture ? "01" : "");
        }
    }

    TempDir m_dir;
};

TEST_F(ReaderInterop, LibpffReadsEveryContactFieldForField) {
    const auto path = write("libpff.pst", 23, 10);
    EXPECT_EQ(pstFindings(path), "");
    expectLibpffSees(path, 23);
}

TEST_F(ReaderInterop, ReadpstExtractsTheSameContacts) {
    const auto path = write("libpst.pst", 12);
    std::string failure;
    const auto result = pstReaderJson("readpst_contacts.py", path, &failure);
    EXPECT_EQ(failure, "");
    std::vector<Json> cards;
    for (const auto& card : result["contacts"]) {
        if (card["folder"].get<std::string>().find("Contacts") != std::string::npos) {
            cards.push_back(card);
        }
    }
    ASSERT_EQ(cards.size(), 12U);
    for (std::size_t i = 0; i < cards.size(); ++i) {
        const auto c = sampleContact(i);
        EXPECT_EQ(cards[i]["FN"], c.surname + ", " + c.givenName + " " + c.middleName);
        EXPECT_EQ(cards[i]["N"], Json::array({c.surname, c.givenName, c.middleName,
                                              c.displayNamePrefix, c.generation}));
        EXPECT_EQ(cards[i]["EMAIL"][0], c.email1);
        EXPECT_EQ(cards[i]["TITLE"], c.jobTitle);
        EXPECT_EQ(cards[i]["ORG"], c.companyName);
        EXPECT_EQ(cards[i]["TEL;CELL"], c.mobileTelephone);
        EXPECT_EQ(cards[i]["NOTE"], c.body);
        EXPECT_EQ(cards[i]["AGENT"], c.assistantName);
    }
}

TEST_F(ReaderInterop, EmptyStoreRightAfterCreationIsClean) {
    const auto path = m_dir.path() / "empty.pst";
    auto file = pst::messaging::PstFile::create(path, "Empty");
    EXPECT_EQ(pstFindings(path), "");
    expectLibpffSees(path, 0);
}

TEST_F(ReaderInterop, LargeStoreWithDeepTreesAndManyMapsIsClean) {
    const auto path = write("large.pst", 800, 300);
    EXPECT_EQ(pstFindings(path), "");
    EXPECT_EQ(libpff(path)["contacts"].size(), 800U);
}

// A hundred commits: replaced blocks and pages are freed and their space used again, and every
// commit leaves a store the checker finds whole, with nothing leaked.
TEST_F(ReaderInterop, ManySmallCommitsLeaveACleanStore) {
    const auto path = write("commits.pst", 300, 3);
    EXPECT_EQ(pstFindings(path), "");
    expectLibpffSees(path, 300);
    EXPECT_LT(fs::file_size(path), fs::file_size(write("one-commit.pst", 300)) * 2);
}

// A photo of several megabytes needs a data tree of two levels; the file stays clean.
TEST_F(ReaderInterop, APhotoOfSeveralMegabytesIsStoredInATwoLevelDataTree) {
    const auto path = m_dir.path() / "photo.pst";
    auto file = pst::messaging::PstFile::create(path, "Photo");
    auto contact = sampleContact(0);
    contact.picture = pst::messaging::ContactPicture{
        // NOLINTNEXTLINE(bugprone-string-constructor): past what one level of data tree holds
        "\xFF\xD8" + std::string(9'000'000, 'p') + "\xFF\xD9", "ContactPicture.jpg"};
    file->addContact(contact);
    file->close();
    EXPECT_EQ(pstFindings(path), "");
    EXPECT_EQ(libpff(path)["contacts"][0]["attachments"][0]["size"], 9'000'004);
}

TEST_F(ReaderInterop, AProcessKilledAfterABatchCommitLeavesThatCommit) {
    const auto path = m_dir.path() / "killed.pst";
    // Commits: at creation, after 10 contacts, after 20; the writer then dies without closing.
    const pid_t child = ::fork();
    if (child == 0) {
        auto file = pst::messaging::PstFile::create(path, "Killed", {10, std::chrono::hours(1)});
        for (std::size_t i = 0; file->commitCount() < 3; ++i) {
            file->addContact(sampleContact(i));
        }
        std::_Exit(0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(status, 0);
    // Until the next commit, what a batch commit replaced stays marked used: a leak, no fault.
    EXPECT_EQ(pstFindings(path, false), "");
    expectLibpffSees(path, 20);
    EXPECT_FALSE(fs::exists(path.string() + ".tmp"));
}

} // namespace
} // namespace plumbrae::testing
