#pragma once

#include "support/file_system.h"

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace plumbrae::pst::ndb {

/// Where the node database puts its bytes: writes at given offsets, in any order. Gaps read
/// as zeros.
class OutputFile {
public:
    OutputFile() = default;
    virtual ~OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /// Throws PstIoError naming the file and the cause.
    virtual void writeAt(std::uint64_t offset, std::string_view bytes) = 0;
    /// Everything but the header is written: sets the file's size (zero-filling the tail) and,
    /// with `flush`, forces the bytes to the device, so that the header written next never
    /// reaches it before what it points to.
    virtual void beforeHeader(std::uint64_t size, bool flush) = 0;
    /// The header is written: completes the file (with `flush`, forcing it to the device).
    virtual void finish(bool flush) = 0;
};

/// Writing a file failed; the message names the file and the cause.
class PstIoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Collects the file in memory (tests, and readers of what was just built).
class MemoryFile : public OutputFile {
public:
    void writeAt(std::uint64_t offset, std::string_view bytes) override;
    void beforeHeader(std::uint64_t size, bool flush) override;
    void finish(bool /*flush*/) override {}
    [[nodiscard]] const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

/// A file on disk: by default a new one, created exclusively (an existing file of that name is
/// an error); with Open::Existing a regular file that is there already, changed in place.
class DiskFile : public OutputFile {
public:
    enum class Open { CreateNew, Existing };
    /// `files` gives the step that forces the bytes to the device (tests refuse it).
    explicit DiskFile(const std::filesystem::path& path, Open how = Open::CreateNew,
                      support::FileSystem& files = support::FileSystem::system());

    ~DiskFile() override;
    void writeAt(std::uint64_t offset, std::string_view bytes) override;
    void beforeHeader(std::uint64_t size, bool flush) override;
    /// Writes the header, flushes to the device when asked, and closes.
    void finish(bool flush) override;

private:
    [[noreturn]] void fail(const char* what, int error) const;
    void flushPending();
    void sync();

    static constexpr std::size_t Gather = std::size_t{1} << 20;
    std::filesystem::path m_path;
    support::FileSystem& m_files;
    int m_fd = -1;
    std::uint64_t m_pendingOffset = 0;
    std::string m_pending;
};

} // namespace plumbrae::pst::ndb
