#include "pst/ndb/output_file.h"

#include "support/byte_sink.h"
#include "support/file_path.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <share.h>
#else
#include <unistd.h>
#endif

namespace plumbrae::pst::ndb {
namespace {

#ifdef _WIN32

// The C runtime's descriptors over wide paths: its calls set errno from the system's error,
// so failures read the same as elsewhere.
int openForWriting(const std::filesystem::path& path, bool createNew) {
    const auto system = support::systemPath(path);
    int fd = -1;
    const int flags = _O_WRONLY | _O_BINARY | _O_NOINHERIT | (createNew ? _O_CREAT | _O_EXCL : 0);
    return ::_wsopen_s(&fd, system.c_str(), flags, _SH_DENYWR, _S_IREAD | _S_IWRITE) == 0 ? fd : -1;
}

bool isRegularFile(int fd) {
    struct _stat64 status {};
    return ::_fstat64(fd, &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFREG;
}

/// Writes at an offset; returns the bytes written or -1 with errno set.
long long writeAtOffset(int fd, const char* data, std::size_t size, std::uint64_t offset) {
    if (::_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) < 0) {
        return -1;
    }
    constexpr std::size_t MaxWrite = std::size_t{1} << 30;
    return ::_write(fd, data, static_cast<unsigned>(size < MaxWrite ? size : MaxWrite));
}

bool setSize(int fd, std::uint64_t size) {
    return ::_chsize_s(fd, static_cast<long long>(size)) == 0;
}

int closeFile(int fd) {
    return ::_close(fd);
}

#else

int openForWriting(const std::filesystem::path& path, bool createNew) {
    return createNew ? ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)
                     : ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
}

bool isRegularFile(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

long long writeAtOffset(int fd, const char* data, std::size_t size, std::uint64_t offset) {
    return ::pwrite(fd, data, size, static_cast<off_t>(offset));
}

bool setSize(int fd, std::uint64_t size) {
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

int closeFile(int fd) {
    return ::close(fd);
}

#endif

} // namespace

void MemoryFile::writeAt(std::uint64_t offset, std::string_view bytes) {
    const auto end = static_cast<std::size_t>(offset) + bytes.size();
    if (m_bytes.size() < end) {
        m_bytes.resize(end, '\0');
    }
    m_bytes.replace(static_cast<std::size_t>(offset), bytes.size(), bytes);
}

void MemoryFile::beforeHeader(std::uint64_t size, bool /*flush*/) {
    m_bytes.resize(static_cast<std::size_t>(size), '\0');
}

DiskFile::DiskFile(const std::filesystem::path& path, Open how, support::FileSystem& files)
    : m_path(path), m_files(files) {
    if (how == Open::CreateNew) {
        m_fd = openForWriting(path, true);
        if (m_fd < 0) {
            fail("create", errno);
        }
        return;
    }
    m_fd = openForWriting(path, false);
    if (m_fd < 0 || !isRegularFile(m_fd)) {
        const int error = m_fd < 0 ? errno : EINVAL;
        if (m_fd >= 0) {
            closeFile(m_fd); // a constructor that throws gets no destructor
            m_fd = -1;
        }
        fail("open", error);
    }
}

DiskFile::~DiskFile() {
    if (m_fd >= 0) {
        closeFile(m_fd);
    }
}

void DiskFile::writeAt(std::uint64_t offset, std::string_view bytes) {
    // Blocks are mostly laid out one after another: gather neighbours into one system call.
    if (offset != m_pendingOffset + m_pending.size() || m_pending.size() + bytes.size() > Gather) {
        flushPending();
        m_pendingOffset = offset;
    }
    m_pending.append(bytes);
}

void DiskFile::flushPending() {
    std::string_view bytes = m_pending;
    auto offset = m_pendingOffset;
    while (!bytes.empty()) {
        const auto written = writeAtOffset(m_fd, bytes.data(), bytes.size(), offset);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("write", errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
        offset += static_cast<std::uint64_t>(written);
    }
    m_pending.clear();
}

void DiskFile::sync() {
    if (const auto error = m_files.syncFile(m_fd)) {
        fail("write", error.value());
    }
}

void DiskFile::beforeHeader(std::uint64_t size, bool flush) {
    flushPending();
    if (!setSize(m_fd, size)) {
        fail("write", errno);
    }
    if (flush) {
        sync();
    }
}

void DiskFile::finish(bool flush) {
    flushPending();
    if (flush) {
        sync();
    }
    const int fd = m_fd;
    m_fd = -1;
    if (closeFile(fd) != 0) {
        fail("write", errno);
    }
}

void DiskFile::fail(const char* what, int error) const {
    throw PstIoError(std::string("cannot ") + what + " " +
                     support::describeFileError(m_path, error));
}

} // namespace plumbrae::pst::ndb
