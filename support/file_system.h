#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <system_error>

namespace plumbrae::support {

/// The file-system steps that make a written file take its final name: what a commit relies
/// on, gathered in one place so that tests can refuse any of them, and so that another platform
/// can give its own (a rename that replaces, a second name for a file). Each step returns the
/// error it met; none throws.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    FileSystem() = default;
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    /// Gives the file `existing` the second name `target`; fails when `target` exists. File
    /// systems without links (FAT, exFAT, many network shares) refuse it.
    virtual std::error_code link(const std::filesystem::path& existing,
                                 const std::filesystem::path& target);
    /// Puts `from` in the place of `to` in one step, replacing a file of that name.
    virtual std::error_code rename(const std::filesystem::path& from,
                                   const std::filesystem::path& to);
    /// Removes the name `path` (a file, never a folder).
    virtual std::error_code remove(const std::filesystem::path& path);
    /// Forces the bytes written through the open descriptor `fd` to the device.
    virtual std::error_code syncFile(int fd);
    /// Sets the size of the file open for writing as `fd`, zero-filling what it gains. Some file
    /// systems refuse it (FAT through FUSE: EPERM).
    virtual std::error_code setSize(int fd, std::uint64_t size);
    /// Makes the names in `folder` (a rename done in it) durable.
    virtual std::error_code syncFolder(const std::filesystem::path& folder);

    /// The real file system.
    static FileSystem& system();
};

/// True for the errors with which a file system says it cannot make links at all (as opposed
/// to a link that failed for this file).
bool linksNotSupported(std::error_code error);

/// Puts the finished file `from` under the name `to` only when no file of that name exists:
/// a link and removal of the old name where the file system has links, otherwise a rename after
/// checking that the name is free (a name taken in between by another program is then
/// replaced). Removes `from` in every case.
std::error_code publishNew(FileSystem& files, const std::filesystem::path& from,
                           const std::filesystem::path& to);

/// Held by a run for as long as it writes into a folder; the first run to take it in a folder
/// where no other run of ours is writing removes what earlier killed runs left there.
///
/// Every holder keeps a shared lock on the folder. Whoever asks while nobody else holds it gets
/// it alone for a moment, removes each entry `isLeftover` accepts, and then shares it like the
/// others. A lock the system cannot give (some network file systems) only means nothing is
/// removed. Never throws.
class OutputFolderLock {
public:
    using LeftoverTest = std::function<bool(const std::filesystem::path&)>;
    OutputFolderLock(const std::filesystem::path& folder, const LeftoverTest& isLeftover);
    ~OutputFolderLock();
    OutputFolderLock(const OutputFolderLock&) = delete;
    OutputFolderLock& operator=(const OutputFolderLock&) = delete;

    /// How many leftovers were removed when the lock was taken.
    [[nodiscard]] int removedLeftovers() const { return m_removed; }

private:
    int m_fd = -1;
    int m_removed = 0;
};

} // namespace plumbrae::support
