// Files written by the PST writer, read back by programs nobody here wrote: libpff (pffinfo and
// python3-pypff through pst_dump.py), libpst (readpst through readpst_contacts.py), and the
// separately written integrity checker pst_check.py.

#include "pst/messaging/pst_file.h"
#include "support/text.h"
#include "tests/pst/messaging/sample_contacts.h"
#include "tests/support/temp_dir.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

namespace plumbrae::testing {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

struct Output {
    int status = -1;
    std::string text;
};

Output run(const std::string& command) {
    Output out;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buffer[4096];
    std::size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.text.append(buffer, read);
    }
    const int status = ::pclose(pipe);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}
std::string python() {
    return PLUMBRAE_SYSTEM_PYTHON;
}
std::string script(const char* name) {
    return quoted(fs::path(PLUMBRAE_PST_CHECKER_DIR) / name);
}

bool readersInstalled() {
    return fs::exists("/usr/bin/pffinfo") && fs::exists("/usr/bin/readpst") &&
           run(python() + " -c 'import pypff'").status == 0;
}

Json readJson(const std::string& command) {
    const auto out = run(command);
    EXPECT_EQ(out.status, 0) << command << "\n" << out.text.substr(0, 2000);
    const auto start = out.text.find('{');
    return start == std::string::npos ? Json::object() : Json::parse(out.text.substr(start));
}

std::string withCrLf(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

class ReaderInterop : public ::testing::Test {
protected:
    void SetUp() override {
        if (!readersInstalled()) {
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

    void expectClean(const fs::path& path) {
        const auto checked =
            run(python() + " " + script("pst_check.py") + " --strict " + quoted(path));
        EXPECT_EQ(checked.status, 0) << checked.text.substr(0, 4000);
    }

    void expectLibpffSees(const fs::path& path, std::size_t count) {
        const auto info = run("pffinfo " + quoted(path));
        EXPECT_EQ(info.status, 0) << info.text;
        const auto dump = readJson(python() + " " + script("pst_dump.py") + " " + quoted(path));
        std::set<std::string> folders;
        for (const auto& folder : dump["folders"]) {
            folders.insert(folder["path"].get<std::string>());
        }
        for (const char* name : {"Deleted Items", "Inbox", "Outbox", "Sent Items", "Calendar",
                                 "Contacts", "Journal", "Notes", "Tasks", "Drafts"}) {
            EXPECT_EQ(folders.count(std::string("Top of Personal Folders/") + name), 1U) << name;
        }
        ASSERT_EQ(dump["contacts_folder"], "Top of Personal Folders/Contacts");
        const auto& contacts = dump["contacts"];
        ASSERT_EQ(contacts.size(), count);
        for (std::size_t i = 0; i < count; ++i) {
            const auto expected = sampleContact(i);
            const auto& seen = contacts[i];
            EXPECT_EQ(seen["message_class"], "IPM.Contact");
            EXPECT_EQ(seen["given_name"], expected.givenName);
            EXPECT_EQ(seen["surname"], expected.surname);
            EXPECT_EQ(seen["display_name"], expected.displayName);
            EXPECT_EQ(seen["company"], expected.companyName);
            EXPECT_EQ(seen["job_title"], expected.jobTitle);
            EXPECT_EQ(seen["mobile"], expected.mobileTelephone);
            EXPECT_EQ(seen["home_street"], expected.homeStreet);
            EXPECT_EQ(seen["home_city"], expected.homeCity);
            EXPECT_EQ(seen["home_state"], expected.homeState);
            EXPECT_EQ(seen["home_postal_code"], expected.homePostalCode);
            EXPECT_EQ(seen["home_country"], expected.homeCountry);
            EXPECT_EQ(seen["body"], withCrLf(expected.body));
            EXPECT_EQ(seen["email1"], expected.email1);
        }
    }

    TempDir m_dir;
};

TEST_F(ReaderInterop, LibpffReadsEveryContactFieldForField) {
    const auto path = write("libpff.pst", 23, 10);
    expectClean(path);
    expectLibpffSees(path, 23);
}

TEST_F(ReaderInterop, ReadpstExtractsTheSameContacts) {
    const auto path = write("libpst.pst", 12);
    const auto result =
        readJson(python() + " " + script("readpst_contacts.py") + " " + quoted(path));
    std::vector<Json> cards;
    for (const auto& card : result["contacts"]) {
        if (card["folder"].get<std::string>().find("Contacts") != std::string::npos) {
            cards.push_back(card);
        }
    }
    ASSERT_EQ(cards.size(), 12U);
    for (std::size_t i = 0; i < cards.size(); ++i) {
        const auto expected = sampleContact(i);
        const auto& card = cards[i];
        EXPECT_EQ(card["FN"],
                  expected.surname + ", " + expected.givenName + " " + expected.middleName);
        ASSERT_GE(card["N"].size(), 3U);
        EXPECT_EQ(card["N"][0], expected.surname);
        EXPECT_EQ(card["N"][1], expected.givenName);
        EXPECT_EQ(card["N"][2], expected.middleName);
        ASSERT_FALSE(card["EMAIL"].empty());
        EXPECT_EQ(card["EMAIL"][0], expected.email1);
        EXPECT_EQ(card["TITLE"], expected.jobTitle);
        EXPECT_EQ(card["ORG"], expected.companyName);
        EXPECT_EQ(card["TEL;CELL"], expected.mobileTelephone);
        EXPECT_EQ(card["NOTE"], expected.body);
    }
}

TEST_F(ReaderInterop, EmptyStoreRightAfterCreationIsClean) {
    const auto path = m_dir.path() / "empty.pst";
    auto file = pst::messaging::PstFile::create(path, "Empty");
    expectClean(path);
    expectLibpffSees(path, 0);
}

TEST_F(ReaderInterop, LargeStoreWithDeepTreesAndManyMapsIsClean) {
    const auto path = write("large.pst", 800, 300);
    expectClean(path);
    const auto dump = readJson(python() + " " + script("pst_dump.py") + " " + quoted(path));
    EXPECT_EQ(dump["contacts"].size(), 800U);
}

// A hundred commits: replaced blocks and pages are freed and their space used again, and every
// commit leaves a store the checker finds whole, with nothing leaked.
TEST_F(ReaderInterop, ManySmallCommitsLeaveACleanStore) {
    const auto path = write("commits.pst", 300, 3);
    expectClean(path);
    expectLibpffSees(path, 300);
    EXPECT_LT(fs::file_size(path), fs::file_size(write("one-commit.pst", 300)) * 2);
}

// A photo of several megabytes needs a data tree of two levels; the file stays clean.
TEST_F(ReaderInterop, APhotoOfSeveralMegabytesIsStoredInATwoLevelDataTree) {
    const auto path = m_dir.path() / "photo.pst";
    auto file = pst::messaging::PstFile::create(path, "Photo");
    auto contact = sampleContact(0);
    contact.picture = pst::messaging::ContactPicture{
        "\xFF\xD8" + std::string(9'000'000, 'p') + "\xFF\xD9", "ContactPicture.jpg"};
    file->addContact(contact);
    file->close();
    expectClean(path);
    expectLibpffSees(path, 1);
}

TEST_F(ReaderInterop, AProcessKilledAfterABatchCommitLeavesThatCommit) {
    const auto path = m_dir.path() / "killed.pst";
    // Commits: at creation, after 10 contacts, after 20; the writer then dies without closing.
    const auto out = run(quoted(PLUMBRAE_PST_SAMPLE_WRITER) + " " + quoted(path) +
                         " 100 --batch 10 --stop-after-commits 3");
    ASSERT_EQ(out.status, 0) << out.text;
    expectClean(path);
    expectLibpffSees(path, 20);
    // Beside it stays the store of the commit before, kept for the next commit: complete too.
    const auto spare = fs::path(path.string() + ".tmp");
    ASSERT_TRUE(fs::exists(spare));
    expectClean(spare);
    expectLibpffSees(spare, 10);
}

} // namespace
} // namespace plumbrae::testing
