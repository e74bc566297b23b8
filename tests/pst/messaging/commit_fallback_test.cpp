// Commits on file systems that refuse some steps: no links (FAT, exFAT, network shares), a
// rename or a flush that fails. The file left is always a valid store holding every committed
// contact, as libpff (python3-pypff) and libpst (readpst) read it, and nothing stays beside it.

#include "pst/messaging/pst_file.h"
#include "support/file_system.h"
#include "tests/pst/messaging/pst_readers.h"
#include "tests/pst/messaging/sample_contacts.h"
#include "tests/support/temp_dir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace plumbrae::testing {
namespace {

namespace fs = std::filesystem;
using pst::messaging::PstError;
using pst::messaging::PstFile;

/// The real file system, with chosen steps refused.
class RefusingFileSystem : public support::FileSystem {
public:
    bool refuseLinks = false;
    /// The rename with this number (1-based) fails, as does every later one when `renamesStay`.
    int failRename = 0;
    bool renamesStay = false;
    int failSync = 0;

    std::error_code link(const fs::path& existing, const fs::path& target) override {
        if (refuseLinks) {
            return std::make_error_code(std::errc::operation_not_permitted);
        }
        return FileSystem::link(existing, target);
    }
    std::error_code rename(const fs::path& from, const fs::path& to) override {
        ++m_renames;
        if (failRename != 0 &&
            (m_renames == failRename || (renamesStay && m_renames > failRename))) {
            return std::make_error_code(std::errc::io_error);
        }
        return FileSystem::rename(from, to);
    }
    std::error_code syncFile(int fd) override {
        if (failSync != 0 && ++m_syncs == failSync) {
            return std::make_error_code(std::errc::no_space_on_device);
        }
        return FileSystem::syncFile(fd);
    }

private:
    int m_renames = 0;
    int m_syncs = 0;
};

/// Contacts in the Contacts folder as libpff and as libpst see them.
std::pair<std::size_t, std::size_t> contactsSeen(const fs::path& pst) {
    std::size_t bylibpst = 0;
    std::string failure;
    const auto cards = pstReaderJson("readpst_contacts.py", pst, &failure);
    for (const auto& card : cards["contacts"]) {
        bylibpst += card["folder"].get<std::string>().find("Contacts") != std::string::npos;
    }
    EXPECT_EQ(failure, "");
    return {pstReaderJson("pst_dump.py", pst)["contacts"].size(), bylibpst};
}

struct Refusal {
    const char* name;
    bool refuseLinks;
    int failRename;
    bool renamesStay;
    int failSync;
    /// Contacts in the file after 25 added in batches of 10 and the close.
    std::size_t committed;
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
    *out << refusal.name;
}

class CommitFallback : public ::testing::TestWithParam<Refusal> {};

TEST_P(CommitFallback, LeavesAValidStoreWithEveryCommittedContact) {
    if (!pstReadersInstalled()) {
        GTEST_SKIP() << "python3-pypff or pst-utils are not installed";
    }
    const Refusal& refusal = GetParam();
    RefusingFileSystem files;
    files.refuseLinks = refusal.refuseLinks;
    files.failRename = refusal.failRename;
    files.renamesStay = refusal.renamesStay;
    files.failSync = refusal.failSync;
    TempDir dir;
    const auto path = dir.path() / "stick.pst";
    {
        auto file = PstFile::create(path, "On a stick", {10, std::chrono::hours(1)}, files);
        bool failed = false;
        for (std::size_t i = 0; i < 25 && !failed; ++i) {
            try {
                file->addContact(sampleContact(i));
            } catch (const PstError&) {
                failed = true;
            }
        }
        try {
            file->close();
        } catch (const PstError& error) {
            failed = true;
            EXPECT_NE(std::string(error.what()).find("stick.pst"), std::string::npos);
        }
        EXPECT_EQ(failed, refusal.committed != 25);
    }
    const auto [bylibpff, bylibpst] = contactsSeen(path);
    EXPECT_EQ(bylibpff, refusal.committed);
    EXPECT_EQ(bylibpst, refusal.committed);
    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        ++entries;
        EXPECT_EQ(entry.path(), path) << "left beside the store";
    }
    EXPECT_EQ(entries, 1U);
}

// The first commit (creation) renames once; later commits rename the written file into place
// (and, with links, the spare back aside).
INSTANTIATE_TEST_SUITE_P(Refusals, CommitFallback,
                         ::testing::Values(Refusal{"NoLinks", true, 0, false, 0, 25},
                                           Refusal{"NoLinksSecondRenameFails", true, 2, true, 0, 0},
                                           Refusal{"NoLinksThirdRenameFails", true, 3, true, 0, 10},
                                           Refusal{"RenameFailsOnce", false, 3, false, 0, 10},
                                           Refusal{"FinalFlushFails", true, 0, false, 2, 20}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(CommitFallback, RefusedLinksNeverReplaceAFileCreatedMeanwhile) {
    RefusingFileSystem files;
    files.refuseLinks = true;
    TempDir dir;
    const auto aside = dir.write("mine.pst", "x");
    const auto written = dir.write("written", "new");
    EXPECT_EQ(support::publishNew(files, written, aside), std::errc::file_exists);
    EXPECT_FALSE(fs::exists(written));
    std::ifstream in(aside);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "x");
}

} // namespace
} // namespace plumbrae::testing
