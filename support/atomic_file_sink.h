#pragma once

#include "support/byte_sink.h"
#include "support/file_system.h"

#include <filesystem>
#include <string>

namespace plumbrae::support {

/// A file written aside and put in place whole. The bytes go into a new temporary file in the
/// same folder (".plumbrae-<random>.part", created exclusively, never an existing file), which
/// `close()` renames over the final name in one step. Until then a file of the final name
/// keeps its old contents, and readers never see a cut file: a failed write, an exception or a
/// destroyed sink removes the temporary file, and one left by a killed process is recognised by
/// `isAbandonedPart` and removed by the next run in that folder (OutputFolderLock). Two writers
/// of one name each put a whole file in place; the last one stays.
class AtomicFileSink : public ByteSink {
public:
    /// Creates the temporary file beside `path`. With `flush`, close() forces the bytes to the
    /// device before the rename (for files that must survive a power cut, not only a killed
    /// process). Throws SinkError naming `path` and the cause.
    explicit AtomicFileSink(std::filesystem::path path, bool flush = false,
                            FileSystem& files = FileSystem::system());
    /// Removes the temporary file when close() was not reached or failed.
    ~AtomicFileSink() override;
    AtomicFileSink(const AtomicFileSink&) = delete;
    AtomicFileSink& operator=(const AtomicFileSink&) = delete;

    void write(std::string_view bytes) override;
    /// Writes what is buffered and renames the file over the final name. Throws SinkError; the
    /// temporary file is gone either way. Closing twice does nothing.
    void close() override;
    /// Drops what was written: the final name is left as it was.
    void discard() noexcept;
    [[nodiscard]] std::size_t size() const override { return m_size; }
    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    [[nodiscard]] const std::filesystem::path& temporaryPath() const { return m_temporary; }

    /// True for a temporary file of this kind, by its name alone.
    static bool isAbandonedPart(const std::filesystem::path& path);
    /// A new name of that kind (no folder part), for a file written aside in another way.
    static std::string newPartName();

private:
    void flushBuffer();
    [[noreturn]] void fail(const char* what, int error);

    std::filesystem::path m_path;
    std::filesystem::path m_temporary;
    FileSystem& m_files;
    bool m_flush;
    int m_fd = -1;
    std::string m_buffer;
    std::size_t m_size = 0;
};

} // namespace plumbrae::support
