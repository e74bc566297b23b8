#include "pst/ndb/output_file.h"

#include "support/byte_sink.h"
#include "support/crc32.h"
#include "support/file_path.h"

#include <algorithm>
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
    const int flags = _O_RDWR | _O_BINARY | _O_NOINHERIT | (createNew ? _O_CREAT | _O_EXCL : 0);
    return ::_wsopen_s(&fd, system.c_str(), flags, _SH_DENYWR, _S_IREAD | _S_IWRITE) == 0 ? fd : -1;
}

bool isRegularFile(int fd) {
    struct _stat64 status {};
    return ::_fstat64(fd, &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFREG;
}

std::uint64_t sizeOf(int fd) {
    struct _stat64 status {};
    return ::_fstat64(fd, &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

/// Reads exactly `size` bytes (at most 1 GiB) at `offset`.
bool readAt(int fd, char* into, std::size_t size, std::uint64_t offset) {
    return ::_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) >= 0 &&
           ::_read(fd, into, static_cast<unsigned>(size)) == static_cast<int>(size);
}

/// Writes at an offset; returns the bytes written or -1 with errno set.
long long writeAtOffset(int fd, const char* data, std::size_t size, std::uint64_t offset) {
    if (::_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) < 0) {
        return -1;
    }
    constexpr std::size_t MaxWrite = std::size_t{1} << 30;
    return ::_write(fd, data, static_cast<unsigned>(size < MaxWrite ? size : MaxWrite));
}

int closeFile(int fd) {
    return ::_close(fd);
}

#else

int openForWriting(const std::filesystem::path& path, bool createNew) {
    // An existing name is opened without waiting: a pipe would wait for a writer. O_NONBLOCK
    // changes nothing for a regular file.
    return createNew ? ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644)
                     : ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
}

bool isRegularFile(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

std::uint64_t sizeOf(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

bool readAt(int fd, char* into, std::size_t size, std::uint64_t offset) {
    return ::pread(fd, into, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

long long writeAtOffset(int fd, const char* data, std::size_t size, std::uint64_t offset) {
    return ::pwrite(fd, data, size, static_cast<off_t>(offset));
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

DiskFile::DiskFile(const std::filesystem::path& path, Open how, support::FileSystem& files,
                   const std::optional<std::string>& expectedHeader)
    : m_path(path), m_files(files) {
    if (how == Open::Existing) {
        openExisting(expectedHeader);
        return;
    }
    m_fd = openForWriting(path, true);
    if (m_fd < 0) {
        fail("create", errno);
    }
}

void DiskFile::openExisting(const std::optional<std::string>& expectedHeader) {
    m_fd = openForWriting(m_path, false);
    if (m_fd < 0) {
        fail("open", errno);
    }
    m_end = sizeOf(m_fd);
    const char* problem = nullptr;
    std::string header(expectedHeader ? expectedHeader->size() : 0, '\0');
    if (!isRegularFile(m_fd)) {
        problem = "it is no longer a regular file";
    } else if (expectedHeader &&
               (!readAt(m_fd, header.data(), header.size(), 0) || header != *expectedHeader)) {
        problem = "another file has taken its name";
    }
    if (problem != nullptr) {
        closeFile(m_fd); // a constructor that throws gets no destructor
        m_fd = -1;
        refuse(problem);
    }
}

DiskFile::~DiskFile() {
    if (m_fd >= 0) {
        closeFile(m_fd);
    }
}

void DiskFile::writeAt(std::uint64_t offset, std::string_view bytes) {
    if (m_bodyWritten && offset == 0) {
        m_header = bytes;
    }
    // Blocks are mostly laid out one after another: gather neighbours into one system call.
    if (offset != m_pendingOffset + m_pending.size() || m_pending.size() + bytes.size() > Gather) {
        flushPending();
        m_pendingOffset = offset;
    }
    m_pending.append(bytes);
}

void DiskFile::flushPending() {
    // Never a hole: a gap between the file's end and a write beyond it is written as zeros
    // first. File systems that cannot leave holes (FAT through FUSE) refuse or lose such a
    // write; the gaps a commit leaves are a few pages.
    int error = m_pendingOffset > m_end ? writeZeros(m_end, m_pendingOffset) : 0;
    if (error == 0) {
        error = writeWhole(m_pendingOffset, m_pending);
    }
    if (error != 0) {
        fail("write", error);
    }
    m_pending.clear();
}

int DiskFile::writeWhole(std::uint64_t offset, std::string_view bytes) {
    const std::uint64_t start = offset;
    const std::string_view whole = bytes;
    while (!bytes.empty()) {
        const auto written = writeAtOffset(m_fd, bytes.data(), bytes.size(), offset);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
        offset += static_cast<std::uint64_t>(written);
        m_end = std::max(m_end, offset);
    }
    m_written.push_back({start, whole.size(), support::pstCrc32(whole)});
    return 0;
}

int DiskFile::writeZeros(std::uint64_t from, std::uint64_t to) {
    static const std::string Zeros(std::size_t{1} << 16, '\0');
    for (std::uint64_t offset = from; offset < to;) {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(Zeros.size(), to - offset));
        if (const int error = writeWhole(offset, std::string_view(Zeros).substr(0, count))) {
            return error;
        }
        offset += count;
    }
    return 0;
}

void DiskFile::sync() {
    if (const auto error = m_files.syncFile(m_fd)) {
        fail("write", error.value());
    }
}

void DiskFile::beforeHeader(std::uint64_t size, bool flush) {
    flushPending();
    if (const auto error = m_files.setSize(m_fd, size)) {
        growWithZeros(size, error);
    }
    m_bodyWritten = true;
    m_flush = flush;
    if (m_deferred) {
        return;
    }
    if (flush) {
        sync();
    }
    m_headerStarted = true;
}

void DiskFile::growWithZeros(std::uint64_t size, std::error_code refusal) {
    // A commit only ever grows the file: a file the system will not shorten is an error.
    const std::uint64_t current = sizeOf(m_fd);
    if (current > size) {
        fail("write", refusal.value());
    }
    if (const int error = writeZeros(std::min(current, m_end), size)) {
        fail("write", error);
    }
    m_verify = true;
}

std::uint64_t DiskFile::sizeOnDisk() const {
    return m_fd < 0 ? 0 : sizeOf(m_fd);
}

bool DiskFile::cutBackTo(std::uint64_t size) noexcept {
    m_pending.clear();
    return m_fd >= 0 && !m_files.setSize(m_fd, size);
}

void DiskFile::finish(bool flush) {
    m_flush = flush;
    if (!m_deferred) {
        complete();
    }
}

void DiskFile::complete() {
    if (!m_headerStarted) {
        if (m_flush) {
            sync();
        }
        m_headerStarted = true;
    }
    flushPending();
    if (m_flush) {
        sync();
    }
    if (m_verify) {
        verifyWritten();
    }
    const int fd = m_fd;
    m_fd = -1;
    if (closeFile(fd) != 0) {
        fail("write", errno);
    }
}

void DiskFile::verifyWritten() {
    std::string back;
    for (auto range = m_written.begin(); range != m_written.end(); ++range) {
        // A range written over later (zeros filling a gap, then blocks) holds the later bytes.
        const auto overlaps = [&](const WrittenRange& later) {
            return later.offset < range->offset + range->size &&
                   range->offset < later.offset + later.size;
        };
        if (std::any_of(range + 1, m_written.end(), overlaps)) {
            continue;
        }
        back.resize(range->size);
        if (!readAt(m_fd, back.data(), back.size(), range->offset) ||
            support::pstCrc32(back) != range->crc) {
            throw PstIoError("cannot write " + support::pathToUtf8(m_path) +
                             ": the file system did not keep what was written (the bytes at " +
                             std::to_string(range->offset) + " read back otherwise)");
        }
    }
}

void DiskFile::refuse(const std::string& reason) const {
    throw PstIoError("cannot open " + support::pathToUtf8(m_path) + ": " + reason);
}

void DiskFile::fail(const char* what, int error) const {
    throw PstIoError(std::string("cannot ") + what + " " +
                     support::describeFileError(m_path, error));
}

} // namespace plumbrae::pst::ndb
