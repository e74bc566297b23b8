#include "support/byte_sink.h"

#include "support/file_path.h"

#include <cerrno>
#include <cstring>

namespace plumbrae::support {

std::string describeFileError(const std::filesystem::path& path, int error) {
    std::string cause;
    switch (error) {
    case ENOSPC:
        cause = "the disk is full";
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        cause = "permission denied";
        break;
    case ENOENT:
        cause = "no such file or folder";
        break;
    case EISDIR:
        cause = "a folder of that name is in the way";
        break;
    case EBUSY:
        cause = "the file is in use by another program";
        break;
    default:
        cause = std::strerror(error);
        break;
    }
    return pathToUtf8(path) + ": " + cause;
}

void FailingSink::write(std::string_view bytes) {
    if (m_bytes.size() + bytes.size() > m_limit) {
        throw SinkError("cannot write: the disk is full");
    }
    m_bytes.append(bytes);
}

FileSink::FileSink(const std::filesystem::path& path) : m_path(path) {
    m_file = openFile(path, "wb");
    if (m_file == nullptr) {
        throw SinkError("cannot create " + describeFileError(path, errno));
    }
    // Large writes go straight through; small records gather in this buffer.
    std::setvbuf(m_file, nullptr, _IOFBF, std::size_t{1} << 16);
}

FileSink::~FileSink() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

void FileSink::fail(const char* what, int error) {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    throw SinkError(std::string(what) + " " + describeFileError(m_path, error));
}

void FileSink::write(std::string_view bytes) {
    if (m_file == nullptr) {
        throw SinkError("cannot write " + pathToUtf8(m_path) + ": the file is closed");
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size()) {
        fail("cannot write", errno);
    }
    m_size += bytes.size();
}

void FileSink::close() {
    if (m_file == nullptr) {
        return;
    }
    std::FILE* file = m_file;
    m_file = nullptr;
    const bool flushed = std::fflush(file) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!flushed || !closed) {
        m_file = nullptr;
        throw SinkError("cannot write " + describeFileError(m_path, flushed ? errno : flushError));
    }
}

} // namespace plumbrae::support
