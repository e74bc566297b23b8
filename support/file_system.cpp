#include "support/file_system.h"

#include "support/file_path.h"

#include <cerrno>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace plumbrae::support {
namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

std::error_code resultOf(int status) {
    return status == 0 ? std::error_code{} : lastError();
}

} // namespace

#ifdef _WIN32

std::error_code systemError() {
    return {errnoFromSystemError(::GetLastError()), std::generic_category()};
}

std::error_code FileSystem::link(const std::filesystem::path& existing,
                                 const std::filesystem::path& target) {
    if (::CreateHardLinkW(systemPath(target).c_str(), systemPath(existing).c_str(), nullptr) != 0) {
        return {};
    }
    return systemError();
}

std::error_code FileSystem::rename(const std::filesystem::path& from,
                                   const std::filesystem::path& to) {
    // Written through: the replaced file must not come back after a power cut either.
    if (::MoveFileExW(systemPath(from).c_str(), systemPath(to).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
        return {};
    }
    return systemError();
}

std::error_code FileSystem::remove(const std::filesystem::path& path) {
    return ::DeleteFileW(systemPath(path).c_str()) != 0 ? std::error_code{} : systemError();
}

std::error_code FileSystem::syncFile(int fd) {
    return resultOf(::_commit(fd));
}

std::error_code FileSystem::setSize(int fd, std::uint64_t size) {
    const errno_t error = ::_chsize_s(fd, static_cast<long long>(size));
    return error == 0 ? std::error_code{} : std::error_code{error, std::generic_category()};
}

std::error_code FileSystem::syncFolder(const std::filesystem::path& /*folder*/) {
    return {}; // the moves are written through already
}

#else

std::error_code FileSystem::link(const std::filesystem::path& existing,
                                 const std::filesystem::path& target) {
    return resultOf(::link(existing.c_str(), target.c_str()));
}

std::error_code FileSystem::rename(const std::filesystem::path& from,
                                   const std::filesystem::path& to) {
    return resultOf(::rename(from.c_str(), to.c_str()));
}

std::error_code FileSystem::remove(const std::filesystem::path& path) {
    return resultOf(::unlink(path.c_str()));
}

std::error_code FileSystem::syncFile(int fd) {
    return resultOf(::fsync(fd));
}

std::error_code FileSystem::setSize(int fd, std::uint64_t size) {
    return resultOf(::ftruncate(fd, static_cast<off_t>(size)));
}

std::error_code FileSystem::syncFolder(const std::filesystem::path& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return lastError();
    }
    const auto result = resultOf(::fsync(fd));
    ::close(fd);
    return result;
}

#endif

FileSystem& FileSystem::system() {
    static FileSystem files;
    return files;
}

bool linksNotSupported(std::error_code error) {
    switch (error.value()) {
    case EPERM:
    case ENOTSUP:
#if EOPNOTSUPP != ENOTSUP
    case EOPNOTSUPP:
#endif
    case ENOSYS:
    case EXDEV:
    case EMLINK:
    case EACCES:
        return error.category() == std::generic_category() ||
               error.category() == std::system_category();
    default:
        return false;
    }
}

std::error_code publishNew(FileSystem& files, const std::filesystem::path& from,
                           const std::filesystem::path& to) {
    auto error = files.link(from, to);
    if (error && linksNotSupported(error)) {
        std::error_code ignored;
        if (std::filesystem::symlink_status(to, ignored).type() !=
            std::filesystem::file_type::not_found) {
            error = std::make_error_code(std::errc::file_exists);
        } else {
            error = files.rename(from, to);
        }
    }
    files.remove(from); // after a rename the name is gone already
    return error;
}

#ifdef _WIN32

// A file another program (or run) holds open cannot be removed here, so no lock is needed to
// tell a live writer's file from a leftover: whatever can be removed is left over.
OutputFolderLock::OutputFolderLock(const std::filesystem::path& folder,
                                   const LeftoverTest& isLeftover) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code ignored;
        if (it->is_regular_file(ignored) && !it->is_symlink(ignored) && isLeftover(it->path()) &&
            ::DeleteFileW(systemPath(it->path()).c_str()) != 0) {
            ++m_removed;
        }
    }
}

OutputFolderLock::~OutputFolderLock() = default;

#else

OutputFolderLock::OutputFolderLock(const std::filesystem::path& folder,
                                   const LeftoverTest& isLeftover) {
    m_fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) {
        return;
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        std::error_code error;
        for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            std::error_code ignored;
            if (it->is_regular_file(ignored) && !it->is_symlink(ignored) &&
                isLeftover(it->path()) && ::unlink(it->path().c_str()) == 0) {
                ++m_removed;
            }
        }
    }
    // Shares the lock from here on (or waits while a cleaning run holds it alone).
    if (::flock(m_fd, LOCK_SH) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

OutputFolderLock::~OutputFolderLock() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

#endif

} // namespace plumbrae::support
