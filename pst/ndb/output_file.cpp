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
#include <linux/fs.h>
#include <sys/ioctl.h>
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

int openForReading(const std::filesystem::path& path) {
    int fd = -1;
    return ::_wsopen_s(&fd, support::systemPath(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT,
                       _SH_DENYNO, 0) == 0
               ? fd
               : -1;
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

/// Reads from the start of the file on the first call; returns the bytes read, 0 at its end,
/// -1 with errno set.
long long readSome(int fd, char* data, std::size_t size, bool fromStart) {
    if (fromStart && ::_lseeki64(fd, 0, SEEK_SET) < 0) {
        return -1;
    }
    return ::_read(fd, data, static_cast<unsigned>(size));
}

bool setSize(int fd, std::uint64_t size) {
    return ::_chsize_s(fd, static_cast<long long>(size)) == 0;
}

int closeFile(int fd) {
    return ::_close(fd);
}

/// No copy in the system between two open files here: the caller reads and writes.
int copyInSystem(int /*source*/, int /*target*/) {
    return ENOSYS;
}

#else

int openForWriting(const std::filesystem::path& path, bool createNew) {
    return createNew ? ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)
                     : ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
}

int openForReading(const std::filesystem::path& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

bool isRegularFile(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

long long writeAtOffset(int fd, const char* data, std::size_t size, std::uint64_t offset) {
    return ::pwrite(fd, data, size, static_cast<off_t>(offset));
}

long long readSome(int fd, char* data, std::size_t size, bool fromStart) {
    if (fromStart && ::lseek(fd, 0, SEEK_SET) < 0) {
        return -1;
    }
    return ::read(fd, data, size);
}

bool setSize(int fd, std::uint64_t size) {
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

int closeFile(int fd) {
    return ::close(fd);
}

/// Shares the extents where the file system can, else copies in the kernel. Returns 0 when
/// done, else the cause; EXDEV, ENOSYS, EINVAL and EOPNOTSUPP ask for a plain copy.
int copyInSystem(int source, int target) {
    if (::ioctl(target, FICLONE, source) == 0) {
        return 0;
    }
    for (;;) {
        const auto copied =
            ::copy_file_range(source, nullptr, target, nullptr, std::size_t{1} << 30, 0);
        if (copied <= 0) {
            return copied == 0 ? 0 : errno;
        }
    }
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

void MemoryFile::finish(std::uint64_t size, bool /*flush*/) {
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

void DiskFile::copyFrom(const std::filesystem::path& original) {
    const int source = openForReading(original);
    if (source < 0) {
        const int error = errno;
        throw PstIoError("cannot read " + support::describeFileError(original, error));
    }
    int error = copyInSystem(source, m_fd);
    if (error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP) {
        // No copy in the system between these files: read and write.
        error = 0;
        setSize(m_fd, 0);
        std::string buffer(std::size_t{1} << 20, '\0');
        std::uint64_t offset = 0;
        for (;;) {
            const auto got = readSome(source, buffer.data(), buffer.size(), offset == 0);
            if (got <= 0) {
                error = got == 0 ? 0 : errno;
                break;
            }
            m_pendingOffset = offset;
            m_pending.assign(buffer.data(), static_cast<std::size_t>(got));
            flushPending();
            offset += static_cast<std::uint64_t>(got);
        }
    }
    closeFile(source);
    if (error != 0) {
        fail("write", error);
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

void DiskFile::finish(std::uint64_t size, bool flush) {
    flushPending();
    if (!setSize(m_fd, size)) {
        fail("write", errno);
    }
    if (flush) {
        if (const auto error = m_files.syncFile(m_fd)) {
            fail("write", error.value());
        }
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
