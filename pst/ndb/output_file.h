#pragma once

#include "support/file_system.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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
    /// `files` gives the steps that force the bytes to the device and set the file's size (tests
    /// refuse them). An existing file is opened without waiting (a pipe that has taken the name
    /// would wait for a reader for ever) and must be a regular file, and with `expectedHeader`
    /// the file whose header the last commit wrote: another file that has taken the name is
    /// refused.
    explicit DiskFile(const std::filesystem::path& path, Open how = Open::CreateNew,
                      support::FileSystem& files = support::FileSystem::system(),
                      const std::optional<std::string>& expectedHeader = std::nullopt);

    ~DiskFile() override;
    void writeAt(std::uint64_t offset, std::string_view bytes) override;
    /// Where the file system refuses to set the size (FAT through FUSE), the file is grown by
    /// writing zeros instead; no write ever leaves a hole, which such file systems refuse too.
    /// Such a file system is not trusted further: finish() reads back what was written.
    void beforeHeader(std::uint64_t size, bool flush) override;
    /// Writes the header, flushes to the device when asked, and closes; after
    /// deferCompletion(), only notes `flush` for complete().
    void finish(bool flush) override;

    /// Makes the commit end in complete() instead of in beforeHeader() and finish(): those write
    /// everything but the header, and complete() (which may run on another thread, while nothing
    /// else uses the file) forces it to the device, writes the header, forces that, reads back
    /// where needed and closes.
    void deferCompletion() { m_deferred = true; }
    /// The deferred end of the commit; throws PstIoError as beforeHeader() and finish() would.
    void complete();

    /// The header written by this commit (what was written at offset 0 after beforeHeader).
    [[nodiscard]] const std::string& header() const { return m_header; }
    /// True once beforeHeader has returned: the header may be on its way to the disk, so the
    /// file is no longer the previous commit's store plus bytes it does not reach.
    [[nodiscard]] bool headerStarted() const { return m_headerStarted; }
    /// The file's size on disk now (0 when it cannot be told or the file is closed).
    [[nodiscard]] std::uint64_t sizeOnDisk() const;
    /// After a commit that failed before its header: cuts the file back to `size`, the size of
    /// the store on disk, dropping what the commit wrote past it. False when the file system
    /// refuses (the store is whole but the file longer than it needs).
    bool cutBackTo(std::uint64_t size) noexcept;

private:
    [[noreturn]] void fail(const char* what, int error) const;
    [[noreturn]] void refuse(const std::string& reason) const;
    void openExisting(const std::optional<std::string>& expectedHeader);
    void flushPending();
    /// Writes all of `bytes` at `offset`; the error met, or 0.
    int writeWhole(std::uint64_t offset, std::string_view bytes);
    int writeZeros(std::uint64_t from, std::uint64_t to);
    /// Throws PstIoError unless every range written reads back as written.
    void verifyWritten();
    void sync();
    void growWithZeros(std::uint64_t size, std::error_code refusal);

    static constexpr std::size_t Gather = std::size_t{1} << 20;
    std::filesystem::path m_path;
    support::FileSystem& m_files;
    int m_fd = -1;
    bool m_headerStarted = false;
    /// Everything but the header is written (beforeHeader has returned).
    bool m_bodyWritten = false;
    bool m_deferred = false;
    bool m_flush = false;
    /// The end of the bytes the file holds: those it had when opened and those written since.
    std::uint64_t m_end = 0;
    /// What was written, to read it back where the file system is not trusted.
    struct WrittenRange {
        std::uint64_t offset;
        std::size_t size;
        std::uint32_t crc;
    };
    std::vector<WrittenRange> m_written;
    bool m_verify = false;
    std::string m_header;
    std::uint64_t m_pendingOffset = 0;
    std::string m_pending;
};

} // namespace plumbrae::pst::ndb
