// plumbrae-convert --pst on generated contact files: what the reader takes from each file is
// what libpff and libpst find in the PST, contact for contact and in queue order.

#include "bench/meta_tree_generator.h"
#include "core/contact_file_reader.h"
#include "core/contact_record.h"
#include "support/text.h"
#include "tests/support/temp_dir.h"
#include "tests/writers/pst_export_readers.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace plumbrae::testing {
namespace {

using nlohmann::json;

/// A field as a PST reader gives it back: the text through UTF-16, or null when empty (the
/// writer leaves empty properties out).
json asStored(const std::string& bytes) {
    if (bytes.empty()) {
        return nullptr;
    }
    return support::fromUtf16(support::toUtf16(bytes));
}

/// A note as it is stored: mail clients expect every line break of a body as CR LF.
json bodyAsStored(const std::string& bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            text += "\r\n";
            i += bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n' ? 1U : 0U;
        } else {
            text += bytes[i];
        }
    }
    return asStored(text);
}

std::string asText(const std::string& bytes) {
    return support::fromUtf16(support::toUtf16(bytes));
}

core::ContactRecord readTrimmed(const std::filesystem::path& file) {
    core::ContactRecord record;
    core::ReadContactFile(file.string(), record);
    return record.trimmed();
}

struct ConvertPst : ::testing::Test {
    TempDir dir;

    /// Runs the program on the files in order; returns its exit status and the PST it made.
    int convert(const std::vector<std::filesystem::path>& files, std::string& pst) {
        std::string command =
            shellQuoted(PLUMBRAE_CONVERT) + " --pst --out " + shellQuoted(dir.folder() + "out");
        for (const auto& file : files) {
            command += " " + shellQuoted(file.string());
        }
        int status = 0;
        commandOutput(command + " >/dev/null 2>&1", status);
        pst.clear();
        for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "out")) {
            pst = entry.path().string();
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

/// The queued files that hold contacts (a generated tree also holds groups, folders, messages).
std::vector<std::filesystem::path> contactFiles(const std::vector<std::filesystem::path>& queued) {
    std::vector<std::filesystem::path> files;
    for (const auto& file : queued) {
        core::ContactRecord record;
        if (core::ReadContactFile(file.string(), record).kind == core::ItemKind::Contact) {
            files.push_back(file);
        }
    }
    return files;
}

void expectSameContacts(const std::string& pst, const std::vector<std::filesystem::path>& queued) {
    const auto files = contactFiles(queued);
    const json dump = readPstWith("pst_dump.py", pst);
    const json& contacts = dump.at("contacts");
    ASSERT_EQ(contacts.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].string());
        const core::ContactRecord r = readTrimmed(files[i]);
        const json& c = contacts[i];
        EXPECT_EQ(c.at("given_name"), asStored(r.FirstName));
        EXPECT_EQ(c.at("surname"), asStored(r.LastName));
        EXPECT_EQ(c.at("display_name"), asStored(r.FullName));
        EXPECT_EQ(c.at("company"), asStored(r.Company));
        EXPECT_EQ(c.at("job_title"), asStored(r.JobTitle));
        EXPECT_EQ(c.at("mobile"), asStored(r.CellPhone));
        EXPECT_EQ(c.at("home_street"), asStored(r.PersonalStreet));
        EXPECT_EQ(c.at("home_city"), asStored(r.PersonalCity));
        EXPECT_EQ(c.at("home_state"), asStored(r.PersonalState));
        EXPECT_EQ(c.at("home_postal_code"), asStored(r.PersonalZip));
        EXPECT_EQ(c.at("home_country"), asStored(r.PersonalCountry));
        EXPECT_EQ(c.at("body"), bodyAsStored(r.Comments));
        EXPECT_EQ(c.at("email1"), asStored(r.Email));
    }

    const json extracted = readPstWith("readpst_contacts.py", pst);
    const json& cards = extracted.at("contacts");
    ASSERT_EQ(cards.size(), files.size()) << extracted.at("readpst_output");
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].string());
        const core::ContactRecord r = readTrimmed(files[i]);
        EXPECT_EQ(cards[i].at("N"),
                  json::array({asText(r.LastName), asText(r.FirstName), asText(r.MiddleName),
                               asText(r.Title), asText(r.Suffix)}))
            << cards[i].at("lines").dump();
        // readpst writes each line break of the note as an escaped line feed.
        json note = bodyAsStored(r.Comments);
        if (note.is_string()) {
            std::string text = note.get<std::string>();
            for (std::size_t at = text.find("\r\n"); at != std::string::npos;
                 at = text.find("\r\n", at)) {
                text.erase(at, 1);
            }
            note = text;
        }
        EXPECT_EQ(cards[i].at("NOTE"), note);
    }
    EXPECT_EQ(pstCheckerFindings(pst), "");
}

TEST_F(ConvertPst, GeneratedContactsAreReadBackInQueueOrder) {
    const auto files = bench::generateMetaTree(dir.path() / "in", 40, 7);
    std::string pst;
    ASSERT_EQ(convert(files, pst), 0);
    ASSERT_FALSE(pst.empty());
    EXPECT_TRUE(std::filesystem::path(pst).filename().string().starts_with("Zimbracontacts"));
    expectSameContacts(pst, files);
}

TEST_F(ConvertPst, AFileThatCannotBeReadEndsTheRunAndKeepsTheContactsBeforeIt) {
    auto files = bench::generateMetaTree(dir.path() / "in", 4, 11);
    const auto damaged = dir.write("in/damaged.meta", "no contact data here");
    std::vector<std::filesystem::path> queue = {files[0], files[1], damaged, files[2]};
    std::string pst;
    EXPECT_NE(convert(queue, pst), 0);
    ASSERT_FALSE(pst.empty());
    expectSameContacts(pst, {files[0], files[1]});
}

} // namespace
} // namespace plumbrae::testing
