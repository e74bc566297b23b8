#include "pst/messaging/pst_file.h"

#include "pst/messaging/contact_message_p.h"
#include "pst/messaging/named_property_map.h"
#include "pst/messaging/property_tags_p.h"
#include "pst/messaging/store_writer_p.h"
#include "pst/ndb/node_database.h"
#include "pst/ndb/output_file.h"
#include "support/byte_sink.h"
#include "support/file_path.h"
#include "support/file_system.h"

#include <cstdio>
#include <cstring>
#include <future>
#include <random>
#include <vector>

namespace plumbrae::pst::messaging {
namespace {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr std::uint64_t FileTimeUnixEpoch = 116444736000000000ULL;

std::uint64_t fileTimeNow() {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    const auto ticks =
        std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count() / 100;
    return FileTimeUnixEpoch + static_cast<std::uint64_t>(ticks);
}

/// True for a file that only a writer of ours, killed in the middle of a commit, leaves: named
/// like a store's file beside it ("<name>.pst.tmp" or "<name>.pst.spare") and holding a store
/// header, or no header yet (the first commit writes the header last, over zeros).
bool isStoreLeftover(const std::filesystem::path& path) {
    const std::string name = support::pathToUtf8(path.filename());
    std::error_code error;
    // Never through a link: only a regular file of ours is removed.
    if ((!name.ends_with(".pst.tmp") && !name.ends_with(".pst.spare")) ||
        std::filesystem::symlink_status(path, error).type() !=
            std::filesystem::file_type::regular) {
        return false;
    }
    std::FILE* file = support::openFile(path, "rb");
    if (file == nullptr) {
        return false;
    }
    char magic[4] = {};
    const auto got = std::fread(magic, 1, sizeof magic, file);
    std::fclose(file);
    if (got == 0) {
        return true; // created, nothing written yet
    }
    return got == sizeof magic && (std::memcmp(magic, "!BDN", sizeof magic) == 0 ||
                                   std::memcmp(magic, "\0\0\0\0", sizeof magic) == 0);
}

/// Removes a file left aside by a writer killed in the middle of a commit. Only a personal
/// folders file is removed: anything else of that name stays, and the commit reports it.
void removeLeftover(support::FileSystem& files, const std::filesystem::path& aside) {
    if (isStoreLeftover(aside)) {
        files.remove(aside);
    }
}

} // namespace

class PstFileImpl {
public:
    PstFileImpl(std::filesystem::path path, std::string displayName, CommitPolicy policy,
                support::FileSystem& files)
        : m_path(std::move(path)), m_displayName(std::move(displayName)), m_policy(policy),
          m_files(files), m_random(std::random_device{}()) {
        for (auto& byte : m_recordKey) {
            byte = static_cast<std::uint8_t>(m_random() & 0xFFU);
        }
        registerContactNames(m_names);
    }

    void addContact(const Contact& contact) {
        addMessage([&](ndb::Nid nid, std::uint64_t now, const std::string& searchKey) {
            return buildContactMessage(contact, nid, m_names, now, searchKey);
        });
    }

    void addDistList(const DistList& list) {
        addMessage([&](ndb::Nid nid, std::uint64_t now, const std::string& searchKey) {
            return buildDistListMessage(list, nid, m_names, now, searchKey);
        });
    }

    /// Adds the message `build` makes for the next node identifier to the Contacts folder.
    template <typename Build> void addMessage(const Build& build) {
        if (m_closed) {
            throw PstError("cannot add an item to " + support::pathToUtf8(m_path) +
                           ": the file is closed");
        }
        const auto nid =
            ndb::makeNid(ndb::NidType::NormalMessage,
                         tags::FirstMessageIndex + static_cast<std::uint32_t>(m_contactCount));
        std::string searchKey;
        for (int half = 0; half < 2; ++half) {
            auto bits = m_random();
            for (int i = 0; i < 8; ++i, bits >>= 8U) {
                searchKey.push_back(static_cast<char>(bits & 0xFFU));
            }
        }
        if (m_broken) {
            throw PstError("cannot add an item to " + support::pathToUtf8(m_path) +
                           ": an earlier commit of the file failed");
        }
        auto message = build(nid, fileTimeNow(), searchKey);
        m_contactsTable.addRow(nid, message.rowCells);
        message.rowCells.clear();
        m_uncommitted.push_back(std::move(message));
        ++m_contactCount;
        ++m_pending;
        const auto share = m_contactCount / std::max<std::size_t>(m_policy.folderShare, 1);
        const auto batch =
            std::max(m_policy.maxPendingContacts, std::min(share, m_policy.largestBatch));
        if (m_pending >= batch ||
            std::chrono::steady_clock::now() - m_lastCommit >= m_policy.maxPendingTime) {
            commit(Completion::Later);
        }
    }

    /// How a commit ends: before commit() returns, or on a thread of its own while more items
    /// are added (the next commit, close() and commitCount() wait for it).
    enum class Completion { Now, Later };

    void commit(Completion completion = Completion::Now) {
        settle();
        if (m_broken) {
            throw PstError("cannot write " + support::pathToUtf8(m_path) +
                           ": an earlier commit failed");
        }
        const bool first = m_commits == 0;
        const bool later = completion == Completion::Later && !first && !m_closed;
        // Every commit forces its bytes to the device before and after its header, so that a
        // power cut too leaves the old or the new store (milliseconds per batch).
        const bool flush = true;
        std::unique_ptr<ndb::DiskFile> file;
        try {
            file = first ? createAside() : openTarget();
            m_broken = true; // until the database matches a file again
            const StoreContents store{m_recordKey, m_displayName, &m_names, &m_contactsTable};
            stageStore(m_database, store);
            for (auto& message : m_uncommitted) {
                m_database.putNode(message.nid, tags::ContactsNid, std::move(message.content));
            }
            m_uncommitted.clear();
            const auto unique = static_cast<std::uint32_t>(m_commits + 1);
            if (later) {
                file->deferCompletion();
            }
            const auto size = m_database.commit(*file, unique, flush);
            m_header = file->header();
            m_contactsTable.committed();
            if (later) {
                completeLater(std::move(file), size);
                return;
            }
            m_committedSize = size;
            if (m_closed) {
                // What the final commit replaced is no longer reachable: one more commit of
                // nothing marks it free, so that the closed file has no leaked space.
                file = openTarget();
                m_committedSize = m_database.commit(*file, unique + 1, flush);
                m_header = file->header();
            }
        } catch (const std::exception& error) {
            std::string message = error.what();
            if (first && file) {
                file.reset();
                m_files.remove(aside());
            } else if (file && !file->headerStarted()) {
                message += cutBack(*file);
            }
            throw PstError(message);
        }
        if (first) {
            publishFirst();
        }
        counted();
    }

    /// A commit is made (or handed to its thread): the database matches the file again, and
    /// the batch and the time start anew.
    void counted() {
        m_broken = false;
        ++m_commits;
        m_pending = 0;
        m_lastCommit = std::chrono::steady_clock::now();
    }

    /// Hands the end of a commit (forcing its bytes to the device, its header) to a thread of
    /// its own. The items added meanwhile are only built in memory: nothing else touches the file
    /// until settle().
    void completeLater(std::unique_ptr<ndb::DiskFile> file, std::uint64_t size) {
        m_completing = std::move(file);
        m_completingSize = size;
        m_completion = std::async(std::launch::async,
                                  [completing = m_completing.get()] { completing->complete(); });
        counted(); // settle() finds out if it failed
    }

    /// Waits for a commit still completing on its thread; throws what it threw, as a commit
    /// that fails does (the file is cut back when its header was not written).
    void settle() {
        if (!m_completion.valid()) {
            return;
        }
        try {
            m_completion.get();
        } catch (const std::exception& error) {
            std::string message = error.what();
            if (!m_completing->headerStarted()) {
                message += cutBack(*m_completing);
            }
            m_completing.reset();
            m_broken = true;
            throw PstError(message);
        }
        m_completing.reset();
        m_committedSize = m_completingSize;
    }

    /// Waits for a commit still completing, leaving what it threw to the next commit.
    void awaitCompletion() const {
        if (m_completion.valid()) {
            m_completion.wait();
        }
    }

    /// A commit that failed before its header (a full disk) leaves the committed store whole,
    /// but perhaps longer than it: the file is cut back to the store's size. Where the file
    /// system refuses, the words to add to the failure say so.
    std::string cutBack(ndb::DiskFile& file) {
        const std::uint64_t size = file.sizeOnDisk();
        if (size <= m_committedSize || file.cutBackTo(m_committedSize)) {
            return {};
        }
        return ". The file holds every contact committed before, but the file system would not "
               "cut it back: it stays " +
               std::to_string(size - m_committedSize) + " bytes longer than they need";
    }

    /// The first commit writes the whole empty store aside, so that the target never exists
    /// without a header.
    std::unique_ptr<ndb::DiskFile> createAside() {
        removeLeftover(m_files, aside());
        return std::make_unique<ndb::DiskFile>(aside(), ndb::DiskFile::Open::CreateNew, m_files);
    }

    /// Later commits write into the committed store itself: into space it does not use, its
    /// header last (see ndb::NodeDatabase). Only the file the first commit wrote is reopened.
    std::unique_ptr<ndb::DiskFile> openTarget() {
        return std::make_unique<ndb::DiskFile>(m_path, ndb::DiskFile::Open::Existing, m_files,
                                               m_header);
    }

    /// Puts the first commit's file in the target's place, never replacing a file someone
    /// else created meanwhile.
    void publishFirst() {
        if (const auto error = support::publishNew(m_files, aside(), m_path)) {
            throw PstError("cannot write " + support::describeFileError(m_path, error.value()));
        }
        m_files.syncFolder(m_path.parent_path());
    }

    [[nodiscard]] std::filesystem::path aside() const {
        auto path = m_path;
        path += ".tmp";
        return path;
    }

    void close() {
        if (m_closed) {
            return;
        }
        m_closed = true;
        commit();
    }

    [[nodiscard]] std::string storeEntryId() const {
        return entryIdFor(m_recordKey, tags::MessageStoreNid);
    }
    [[nodiscard]] std::string contactsFolderEntryId() const {
        return entryIdFor(m_recordKey, tags::ContactsNid);
    }

    std::filesystem::path m_path;
    std::string m_displayName;
    CommitPolicy m_policy;
    support::FileSystem& m_files;
    /// Held while the file is written; the first writer in a folder removes what killed
    /// writers left there.
    std::unique_ptr<support::OutputFolderLock> m_folderLock;
    std::mt19937_64 m_random;
    Guid m_recordKey{};
    NamedPropertyMap m_names;
    ndb::NodeDatabase m_database;
    /// One row per contact in the Contacts folder's contents table.
    ltp::TableBuilder m_contactsTable{contentsTableColumns()};
    /// Contacts added since the last commit.
    std::vector<MessageNode> m_uncommitted;
    std::size_t m_contactCount = 0;
    /// The header and the size of the store the last commit left in the file.
    std::string m_header;
    std::uint64_t m_committedSize = 0;
    bool m_broken = false;
    std::size_t m_pending = 0;
    std::size_t m_commits = 0;
    bool m_closed = false;
    std::chrono::steady_clock::time_point m_lastCommit = std::chrono::steady_clock::now();
    /// A commit completing on its own thread (see Completion::Later): its file and the store's
    /// size once it has completed. Last, so that a file dropped meanwhile waits for it first.
    std::unique_ptr<ndb::DiskFile> m_completing;
    std::uint64_t m_completingSize = 0;
    std::future<void> m_completion;
};

std::unique_ptr<PstFile> PstFile::create(const std::filesystem::path& path,
                                         const std::string& displayName, CommitPolicy policy,
                                         support::FileSystem& files) {
    auto impl = std::make_unique<PstFileImpl>(path, displayName, policy, files);
    impl->m_folderLock = std::make_unique<support::OutputFolderLock>(
        path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path(),
        isStoreLeftover);
    std::error_code error;
    if (std::filesystem::symlink_status(path, error).type() !=
        std::filesystem::file_type::not_found) {
        throw PstError("cannot create " + support::pathToUtf8(path) + ": the file already exists");
    }
    impl->commit();
    return std::unique_ptr<PstFile>(new PstFile(std::move(impl)));
}

PstFile::PstFile(std::unique_ptr<PstFileImpl> impl) : m_impl(std::move(impl)) {}

// Contacts added since the last commit are not written here: close() is the final commit, and
// reports its failure.
PstFile::~PstFile() = default;

std::string PstFile::storeEntryId() const {
    return m_impl->storeEntryId();
}
std::string PstFile::contactsFolderEntryId() const {
    return m_impl->contactsFolderEntryId();
}
std::size_t PstFile::contactCount() const {
    return m_impl->m_contactCount;
}
std::size_t PstFile::commitCount() const {
    m_impl->awaitCompletion();
    return m_impl->m_commits;
}
const std::filesystem::path& PstFile::path() const {
    return m_impl->m_path;
}
void PstFile::addContact(const Contact& contact) {
    m_impl->addContact(contact);
}
void PstFile::addDistList(const DistList& list) {
    m_impl->addDistList(list);
}
void PstFile::commit() {
    m_impl->commit();
}
void PstFile::close() {
    m_impl->close();
}

} // namespace plumbrae::pst::messaging
