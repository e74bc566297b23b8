#include "pst/ndb/output_file.h"

#include "support/byte_sink.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plumbrae::pst::ndb {

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

DiskFile::DiskFile(const std::filesystem::path& path, Open how) : m_path(path) {
    if (how == Open::CreateNew) {
        m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (m_fd < 0) {
            fail("create", errno);
        }
        return;
    }
    m_fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    struct stat status {};
    if (m_fd < 0 || ::fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int error = m_fd < 0 ? errno : EINVAL;
        if (m_fd >= 0) {
            ::close(m_fd); // a constructor that throws gets no destructor
            m_fd = -1;
        }
        fail("open", error);
    }
}

void DiskFile::copyFrom(const std::filesystem::path& original) {
    const int source = ::open(original.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0) {
        const int error = errno;
        throw PstIoError("cannot read " + support::describeFileError(original, error));
    }
    int error = 0;
    if (::ioctl(m_fd, FICLONE, source) != 0) {
        for (;;) {
            const auto copied =
                ::copy_file_range(source, nullptr, m_fd, nullptr, std::size_t{1} << 30, 0);
            if (copied > 0) {
                continue;
            }
            error = copied == 0 ? 0 : errno;
            break;
        }
        if (error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP) {
            // No copy in the kernel between these files: read and write.
            error = 0;
            ::lseek(source, 0, SEEK_SET);
            ::ftruncate(m_fd, 0);
            std::string buffer(std::size_t{1} << 20, '\0');
            std::uint64_t offset = 0;
            for (;;) {
                const auto got = ::read(source, buffer.data(), buffer.size());
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
    }
    ::close(source);
    if (error != 0) {
        fail("write", error);
    }
}

DiskFile::~DiskFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
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
        const auto written = ::pwrite(m_fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
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
    if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0) {
        fail("write", errno);
    }
    if (flush && ::fsync(m_fd) != 0) {
        fail("write", errno);
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        fail("write", errno);
    }
}

void DiskFile::fail(const char* what, int error) const {
    throw PstIoError(std::string("cannot ") + what + " " +
                     support::describeFileError(m_path, error));
}

} // namespace plumbrae::pst::ndb
