#include "support/whole_file_folder.h"

#include "support/atomic_file_sink.h"
#include "support/byte_sink.h"
#include "support/file_path.h"

#include <cerrno>
#include <utility>
#ifndef _WIN32
#include <array>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace plumbrae::support {

WholeFileFolder::WholeFileFolder(std::filesystem::path folder) : m_folder(std::move(folder)) {}

WholeFileFolder::~WholeFileFolder() {
#ifndef _WIN32
    if (m_folderFd >= 0) {
        ::close(m_folderFd);
    }
#endif
}

void WholeFileFolder::write(const std::string& name, std::string_view bytes) {
    if (!m_unnamedFiles || !writeUnnamed(name, bytes)) {
        AtomicFileSink sink(m_folder / pathFromUtf8(name));
        sink.write(bytes);
        sink.close();
    }
}

#ifdef _WIN32

bool WholeFileFolder::writeUnnamed(const std::string& /*name*/, std::string_view /*bytes*/) {
    m_unnamedFiles = false;
    return false;
}

#else

namespace {

/// Writes all of `bytes`; the errno value of a failure, or 0.
int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

} // namespace

bool WholeFileFolder::writeUnnamed(const std::string& name, std::string_view bytes) {
    if (m_folderFd < 0) {
        m_folderFd =
            ::open(m_folder.empty() ? "." : m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    // Any refusal here (no unnamed files on this file system, no folder): writing aside from
    // now on either works or says what is wrong.
    const int fd =
        m_folderFd < 0 ? -1 : ::openat(m_folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        m_unnamedFiles = false;
        return false;
    }
    const auto fail = [&](int error) {
        ::close(fd);
        throw SinkError("cannot write " + describeFileError(m_folder / pathFromUtf8(name), error));
    };
    if (const int error = writeAll(fd, bytes)) {
        fail(error); // the file has no name yet: closing it is all it takes to drop it
    }
    std::array<char, 32> self{};
    std::snprintf(self.data(), self.size(), "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, self.data(), m_folderFd, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        if (errno != EEXIST) { // no /proc, or links refused: write aside
            ::close(fd);
            m_unnamedFiles = false;
            return false;
        }
        // The name is taken (an earlier run's file): a temporary name first, which then
        // replaces it in one step.
        const std::string part = AtomicFileSink::newPartName();
        if (::linkat(AT_FDCWD, self.data(), m_folderFd, part.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            fail(errno);
        }
        if (::renameat(m_folderFd, part.c_str(), m_folderFd, name.c_str()) != 0) {
            const int error = errno;
            ::unlinkat(m_folderFd, part.c_str(), 0);
            fail(error);
        }
    }
    // File systems with unnamed files keep the bytes in memory until later: closing cannot
    // fail for them, but were it to, the file is taken away again.
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlinkat(m_folderFd, name.c_str(), 0);
        throw SinkError("cannot write " + describeFileError(m_folder / pathFromUtf8(name), error));
    }
    return true;
}

#endif

} // namespace plumbrae::support
