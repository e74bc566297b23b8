#include "support/atomic_file_sink.h"

#include "support/file_path.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <string_view>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace plumbrae::support {
namespace {

#ifdef _WIN32
int createNew(const std::filesystem::path& path) {
    return ::_wopen(systemPath(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                    _S_IREAD | _S_IWRITE);
}
int currentProcess() {
    return ::_getpid();
}
#else
int createNew(const std::filesystem::path& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
int currentProcess() {
    return ::getpid();
}
#endif

constexpr std::string_view PartPrefix = ".plumbrae-";
constexpr std::string_view PartSuffix = ".part";
constexpr std::size_t RandomDigits = 16;
constexpr std::size_t BufferSize = std::size_t{1} << 16;

std::string randomDigits() {
    thread_local std::mt19937_64 random{std::random_device{}() ^
                                        static_cast<std::uint64_t>(currentProcess())};
    static constexpr std::string_view Hex = "0123456789abcdef";
    auto bits = random();
    std::string digits;
    for (std::size_t i = 0; i < RandomDigits; ++i, bits >>= 4U) {
        digits += Hex[bits & 0xFU];
    }
    return digits;
}

} // namespace

AtomicFileSink::AtomicFileSink(std::filesystem::path path, bool flush, FileSystem& files)
    : m_path(std::move(path)), m_files(files), m_flush(flush) {
    // A folder of that name makes the rename at the end fail; not looked for here, where it
    // would cost every file a lookup.
    const auto folder = m_path.parent_path();
    for (int attempt = 0; m_fd < 0; ++attempt) {
        m_temporary = folder / newPartName();
        m_fd = createNew(m_temporary);
        if (m_fd < 0 && (errno != EEXIST || attempt > 8)) {
            throw SinkError("cannot create " + describeFileError(m_path, errno));
        }
    }
    m_buffer.reserve(BufferSize);
}

AtomicFileSink::~AtomicFileSink() {
    discard();
}

void AtomicFileSink::discard() noexcept {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
        m_files.remove(m_temporary);
    }
    m_buffer.clear();
}

void AtomicFileSink::fail(const char* what, int error) {
    discard();
    throw SinkError(std::string("cannot ") + what + " " + describeFileError(m_path, error));
}

void AtomicFileSink::flushBuffer() {
    std::string_view bytes = m_buffer;
    while (!bytes.empty()) {
        const auto written = ::write(m_fd, bytes.data(), static_cast<unsigned>(bytes.size()));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("write", errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    m_buffer.clear();
}

void AtomicFileSink::write(std::string_view bytes) {
    if (m_fd < 0) {
        throw SinkError("cannot write " + pathToUtf8(m_path) + ": the file is closed");
    }
    if (m_buffer.size() + bytes.size() > BufferSize) {
        flushBuffer();
    }
    if (bytes.size() >= BufferSize) {
        m_buffer.assign(bytes);
        flushBuffer();
    } else {
        m_buffer.append(bytes);
    }
    m_size += bytes.size();
}

void AtomicFileSink::close() {
    if (m_fd < 0) {
        return;
    }
    flushBuffer();
    if (m_flush) {
        if (const auto error = m_files.syncFile(m_fd)) {
            fail("write", error.value());
        }
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        const int error = errno;
        m_files.remove(m_temporary);
        throw SinkError("cannot write " + describeFileError(m_path, error));
    }
    if (const auto error = m_files.rename(m_temporary, m_path)) {
        m_files.remove(m_temporary);
        throw SinkError("cannot write " + describeFileError(m_path, error.value()));
    }
    if (m_flush) {
        m_files.syncFolder(m_path.parent_path());
    }
}

std::string AtomicFileSink::newPartName() {
    return std::string(PartPrefix) + randomDigits() + std::string(PartSuffix);
}

bool AtomicFileSink::isAbandonedPart(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    if (name.size() != PartPrefix.size() + RandomDigits + PartSuffix.size() ||
        !name.starts_with(PartPrefix) || !name.ends_with(PartSuffix)) {
        return false;
    }
    const auto digits = std::string_view(name).substr(PartPrefix.size(), RandomDigits);
    return digits.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

} // namespace plumbrae::support
