// The life of a PstFile: when it commits, what it refuses, what it leaves on disk. Commits on
// file systems that refuse some steps: no links (FAT, exFAT, network shares), a
// rename or a flush that fails. The file left is always a valid store holding every committed
// contact, as libpff (python3-pypff) and libpst (readpst) read it, and nothing stays beside it.
// And commits written in place: a process killed between any two of a commit's writes leaves
// the store of the commit before.

#include "pst/messaging/pst_file.h"
#include "pst/ndb/node_database.h"
#include "pst/ndb/output_file.h"
#include "support/file_system.h"
#include "tests/pst/messaging/pst_readers.h"
#include "tests/pst/messaging/sample_contacts.h"
#include "tests/support/print_case.h"
#include "tests/support/temp_dir.h"

#include <array>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace plumbrae::testing {
namespace {

namespace fs = std::filesystem;
using plumbrae::testing::PrintTo; // NOLINT(misc-unused-using-decls): found by GoogleTest
using pst::messaging::PstError;
using pst::messaging::PstFile;

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
    // A pipe that took the name is not waited on, and another file is not written into.
    dir.write("other.pst", std::string(600, 'x'));
    for (const std::string reason :
         {"no longer a regular file", "another file has taken its name"}) {
        fs::remove(path);
        if (reason.starts_with("no longer")) {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        } else {
            fs::copy_file(dir.path() / "other.pst", path);
        }
        try {
            file->commit();
            ADD_FAILURE() << reason;
        } catch (const PstError& error) {
            EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
        }
    }
    fs::remove(path);
    fs::rename(moved, path);
    EXPECT_EQ(pstFindings(path, false), "");
    EXPECT_EQ(libpffContacts(path).size(), 2U);
    // Once the file is back, the next commit writes everything added.
    file->commit();
    EXPECT_EQ(libpffContacts(path).size(), 4U);
}

/// The real file system, noting the thread of each forced write.
class ThreadNotingFileSystem : public support::FileSystem {
public:
    std::error_code syncFile(int fd) override {
        {
            const std::lock_guard lock(m_mutex);
            m_threads.push_back(std::this_thread::get_id());
        }
        return FileSystem::syncFile(fd);
    }
    std::vector<std::thread::id> threads() {
        const std::lock_guard lock(m_mutex);
        return m_threads;
    }

private:
    std::mutex m_mutex;
    std::vector<std::thread::id> m_threads;
};

// A batch's commit ends (forcing its blocks, then its header, to the device) on a thread of its
// own while more contacts are added; creation and the close end before they return.
TEST(PstFile, ABatchCommitEndsBesideTheContactsAdded) {
    ThreadNotingFileSystem files;
    TempDir dir;
    const auto path = dir.path() / "beside.pst";
    auto file = PstFile::create(path, "Store", {2, std::chrono::hours(1)}, files);
    const auto self = std::this_thread::get_id();
    EXPECT_EQ(files.threads(), (std::vector{self, self}));
    file->addContact(sampleContact(0));
    file->addContact(sampleContact(1));
    EXPECT_EQ(file->commitCount(), 2U); // waits for the batch
    auto threads = files.threads();
    ASSERT_EQ(threads.size(), 4U);
    EXPECT_NE(threads[2], self);
    EXPECT_EQ(threads[3], threads[2]);
    EXPECT_EQ(libpffContacts(path).size(), 2U);
    file->addContact(sampleContact(2));
    file->close();
    threads = files.threads();
    ASSERT_EQ(threads.size(), 8U); // the close: two commits
    EXPECT_EQ(threads[4], self);
    EXPECT_EQ(threads.back(), self);
    EXPECT_EQ(libpffContacts(path).size(), 3U);
}

struct Refusal {
    const char* name;
    bool refuseLinks;
    bool refuseRenames;
    /// The flush with this number (1-based) fails.
    int failSync;
    /// Contacts in the file after 25 added in batches of 10 and the close; none: no file.
    std::optional<std::size_t> committed;
    /// Setting a file's size is refused (FAT through FUSE).
    bool refuseSize = false;
    /// What the failure says besides the file's name.
    const char* told = "";
};

/// The real file system, refusing the steps a Refusal names.
class RefusingFileSystem : public support::FileSystem {
public:
    explicit RefusingFileSystem(const Refusal& refusal) : m_refusal(refusal) {}

    std::error_code link(const fs::path& existing, const fs::path& target) override {
        return m_refusal.refuseLinks ? std::make_error_code(std::errc::operation_not_permitted)
                                     : FileSystem::link(existing, target);
    }
    std::error_code rename(const fs::path& from, const fs::path& to) override {
        return m_refusal.refuseRenames ? std::make_error_code(std::errc::io_error)
                                       : FileSystem::rename(from, to);
    }
    std::error_code syncFile(int fd) override {
        return ++m_syncs == m_refusal.failSync ? std::make_error_code(std::errc::no_space_on_device)
                                               : FileSystem::syncFile(fd);
    }
    std::error_code setSize(int fd, std::uint64_t size) override {
        return m_refusal.refuseSize ? std::make_error_code(std::errc::operation_not_permitted)
                                    : FileSystem::setSize(fd, size);
    }

private:
    Refusal m_refusal;
    int m_syncs = 0;
};

class CommitFallback : public ::testing::TestWithParam<Refusal> {};

TEST_P(CommitFallback, LeavesAValidStoreWithEveryCommittedContact) {
    const Refusal& refusal = GetParam();
    RefusingFileSystem files(refusal);
    TempDir dir;
    const auto path = dir.path() / "stick.pst";
    bool failed = false;
    std::string told; // the first failure
    try {
        auto file = PstFile::create(path, "On a stick", {10, std::chrono::hours(1)}, files);
        for (std::size_t i = 0; i < 25 && !failed; ++i) {
            try {
                file->addContact(sampleContact(i));
            } catch (const PstError& error) {
                failed = true;
                told = error.what();
            }
        }
        file->close();
    } catch (const PstError& error) {
        failed = true;
        told = told.empty() ? error.what() : told;
        EXPECT_NE(std::string(error.what()).find("stick.pst"), std::string::npos);
    }
    EXPECT_NE(told.find(refusal.told), std::string::npos) << told;
    EXPECT_EQ(failed, refusal.committed != 25U);
    // Nothing stays beside the store.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), refusal.committed ? 1 : 0);
    if (refusal.committed) {
        std::string failure;
        EXPECT_EQ(readpstContactCards(path, &failure).size(), *refusal.committed) << failure;
        EXPECT_EQ(libpffContacts(path).size(), *refusal.committed);
        // A commit that failed before its header is cut back: the file is its store, no longer,
        // unless the file system refuses.
        const auto findings = pstFindings(path, false);
        EXPECT_EQ(findings.find("ibFileEof") == std::string::npos,
                  !refusal.refuseSize || refusal.committed == 25U)
            << findings;
    }
}

// Only the first commit (creation) puts a file in place: links and renames. Each commit flushes
// twice, before and after its header; the close commits twice (the second marks what the
// final commit replaced free).
INSTANTIATE_TEST_SUITE_P(
    Refusals, CommitFallback,
    ::testing::Values(Refusal{"NoLinks", true, false, 0, 25},
                      Refusal{"NoLinksRenameFails", true, true, 0, std::nullopt},
                      Refusal{"LinksRenameRefused", false, true, 0, 25},
                      Refusal{"BatchFlushBeforeHeaderFails", false, false, 3, 0},
                      Refusal{"BatchFlushAfterHeaderFails", true, false, 4, 10},
                      Refusal{"FinalFlushFails", true, false, 7, 20},
                      // Zeros grow the file instead, and it is read back.
                      Refusal{"SizeRefused", true, false, 0, 25, true}),
    [](const auto& row) { return std::string(row.param.name); });

// A commit that grows the file and fails before its header (a full disk) leaves the committed
// store, cut back to its size; where the file system will not shorten a file, the failure
// says how much longer it stays.
TEST(CommitFallback, AFailedCommitIsCutBackWhereTheFileSystemAllows) {
    for (const bool refuseSize : {false, true}) {
        RefusingFileSystem files({"", false, false, 3, 0, refuseSize});
        TempDir dir;
        const auto path = dir.path() / "full.pst";
        auto file = PstFile::create(path, "Store", {1000, std::chrono::hours(1)}, files);
        for (std::size_t i = 0; i < 300; ++i) {
            file->addContact(sampleContact(i));
        }
        const auto committed = fs::file_size(path);
        try {
            file->commit();
            ADD_FAILURE() << "the commit did not fail";
        } catch (const PstError& error) {
            EXPECT_EQ(std::string(error.what()).find("bytes longer") != std::string::npos,
                      refuseSize)
                << error.what();
        }
        EXPECT_EQ(fs::file_size(path) == committed, !refuseSize);
        EXPECT_EQ(libpffContacts(path).size(), 0U);
    }
}

TEST(CommitFallback, RefusedLinksNeverReplaceAFileCreatedMeanwhile) {
    RefusingFileSystem files({"NoLinks", true, false, 0, {}});
    TempDir dir;
    const auto aside = dir.write("mine.pst", "x");
    const auto written = dir.write("written", "new");
    EXPECT_EQ(support::publishNew(files, written, aside), std::errc::file_exists);
    EXPECT_FALSE(fs::exists(written));
    EXPECT_EQ(readFile(aside), "x");
}

/// Keeps a commit's writes apart, to rebuild the file as a process killed after any of them
/// leaves it.
class WriteLog : public pst::ndb::OutputFile {
public:
    std::vector<std::pair<std::uint64_t, std::string>> writes;
    void writeAt(std::uint64_t offset, std::string_view bytes) override {
        writes.emplace_back(offset, bytes);
    }
    void beforeHeader(std::uint64_t /*size*/, bool /*flush*/) override {}
    void finish(bool /*flush*/) override {}
};

/// Replays a commit's writes (argv[2]) one by one over the committed file (argv[1]) and prints
/// what the checker's node-database part finds after each: every block the header on disk
/// reaches, read whole, and the allocation maps (whose free count and the file's end may
/// disagree with the old header until the new one is written: readers do not use them).
constexpr const char* ReplayScript = R"(
import struct, sys
sys.path.insert(0, sys.argv[3])
import pst_check
data, log, at = bytearray(open(sys.argv[1], "rb").read()), open(sys.argv[2], "rb").read(), 0
while at < len(log):
    offset, size = struct.unpack_from("<QQ", log, at)
    data[len(data):] = bytes(max(0, offset + size - len(data)))
    data[offset:offset + size], at = log[at + 16:at + 16 + size], at + 16 + size
    c = pst_check.Checker("after the write at %d" % offset, bytes(data), False)
    try:
        c.header()
        c.check_blocks()
        for nid, (tree, subnodes, parent) in c.nodes.items():
            c.data_tree(tree, "node 0x%X" % nid), c.subnode_tree(subnodes, "node 0x%X" % nid)
        c.check_maps()
    except Exception as e:
        c.findings.append("unreadable after the write at %d: %r" % (offset, e))
    print("\n".join(f for f in c.findings if "cbAMapFree" not in f and "ibFileEof" not in f))
)";

// Nodes are written in identifier order whatever the order they were put in, and a node put
// again before the commit is written as it was put last.
TEST(CommitInPlace, ANodePutAgainBeforeTheCommitIsWrittenAsPutLast) {
    pst::ndb::NodeDatabase database;
    const auto nid = pst::ndb::makeNid(pst::ndb::NidType::NormalMessage, 0x10000);
    database.putNode(nid, 0x8022, {{std::string("first version")}, {}});
    database.putNode(0x814E, 0, {{std::string("the table")}, {}});
    database.putNode(nid, 0x8022, {{std::string("second version")}, {}});
    pst::ndb::MemoryFile file;
    database.commit(file, 1, false);
    EXPECT_EQ(file.bytes().find("first version"), std::string::npos);
    EXPECT_NE(file.bytes().find("second version"), std::string::npos);
    EXPECT_NE(file.bytes().find("the table"), std::string::npos);
}

// A commit writes into the file what changed: the new nodes' blocks, the B-tree pages above them
// and the allocation maps they touch, not the pages whose entries stayed; an unchanged data tree
// keeps its blocks, one that grows at its end writes only its new blocks. The last commits
// replace a growing node whose blocks all change: the space a commit releases is reused by the
// next, and the file grows into new allocation-map ranges. After any write of a commit, the file
// is the committed store, intact, with maps that mark nothing it reaches free; the header comes
// last and makes it the new one.
TEST(CommitInPlace, WritesWhatChangedAndAKillBetweenAnyTwoWritesLeavesTheCommittedStore) {
    pst::ndb::NodeDatabase database;
    std::string disk;
    TempDir dir;
    std::vector<pst::ndb::DataBlock> table(6, std::string(8000, 't'));
    std::uint32_t messages = 0;
    // Messages each commit adds, and the most blocks and pages it may write.
    const std::array<std::pair<std::uint32_t, std::size_t>, 5> commits{
        {{1000, 9999}, {10, 10 + 16}, {0, 3 + 12}, {20, 9999}, {20, 9999}}};
    for (std::uint32_t commit = 1; commit <= 5; ++commit) {
        const auto [added, mostWrites] = commits.at(commit - 1);
        for (const auto end = messages + added; messages < end; ++messages) {
            database.putNode(
                pst::ndb::makeNid(pst::ndb::NidType::NormalMessage, 0x10000 + messages), 0x8022,
                {{"contact " + std::to_string(messages) + std::string(300, '.')}, {}});
        }
        if (commit == 3) {
            table.back() = std::string(8000, 'u');
            table.emplace_back("tail");
        } else if (commit > 3) {
            table.assign(std::size_t{8} * commit,
                         std::string(8000, static_cast<char>('a' + commit)));
        }
        database.putNode(0x814E, 0, {table, {}});
        WriteLog log;
        database.commit(log, commit, false);
        EXPECT_LE(database.lastCommitWrites(), mostWrites);
        ASSERT_EQ(log.writes.back().first, 0U) << "the header is written last";
        std::string replay;
        const auto committed = dir.write("committed.pst", disk);
        for (const auto& [offset, bytes] : log.writes) {
            const std::uint64_t size = bytes.size();
            replay += std::string(reinterpret_cast<const char*>(&offset), 8) +
                      std::string(reinterpret_cast<const char*>(&size), 8) + bytes;
            disk.resize(std::max<std::size_t>(disk.size(), offset + size), '\0');
            disk.replace(offset, size, bytes);
        }
        if (commit > 1) {
            int status = 0;
            const auto findings = commandOutput(
                "/usr/bin/python3 -c '" + std::string(ReplayScript) + "' '" + committed.string() +
                    "' '" + dir.write("commit.log", replay).string() +
                    "' '" PLUMBRAE_PST_CHECKER_DIR "'",
                status);
            EXPECT_EQ(status, 0);
            EXPECT_EQ(findings.find_first_not_of('\n'), std::string::npos) << findings;
        }
    }
}

} // namespace
} // namespace plumbrae::testing
