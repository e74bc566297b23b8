#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace plumbrae::support {

/// A write to a sink failed. The message names the file (when there is one) and the cause,
/// in words a user understands.
class SinkError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Where writers put their bytes. Writers never touch files directly, so tests can give them
/// a memory sink and compare exact bytes, or a failing sink to exercise their error paths.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    ByteSink() = default;
    ByteSink(const ByteSink&) = delete;
    ByteSink& operator=(const ByteSink&) = delete;

    /// Appends the bytes. Throws SinkError when they cannot be written.
    virtual void write(std::string_view bytes) = 0;
    /// Makes everything written so far durable (file sinks flush and close). Throws SinkError.
    virtual void close() {}
    /// Bytes accepted so far.
    [[nodiscard]] virtual std::size_t size() const = 0;
};

/// Collects everything in memory.
class MemorySink : public ByteSink {
public:
    void write(std::string_view bytes) override { m_bytes.append(bytes); }
    [[nodiscard]] std::size_t size() const override { return m_bytes.size(); }
    [[nodiscard]] const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

/// Accepts the first `limit` bytes, then fails every write (the bytes of the failing write are
/// not accepted). Stands in for a full disk in tests.
class FailingSink : public ByteSink {
public:
    explicit FailingSink(std::size_t limit) : m_limit(limit) {}
    void write(std::string_view bytes) override;
    [[nodiscard]] std::size_t size() const override { return m_bytes.size(); }
    [[nodiscard]] const std::string& bytes() const { return m_bytes; }

private:
    std::size_t m_limit;
    std::string m_bytes;
};

/// A buffered file opened for writing; an existing file of that name is replaced.
class FileSink : public ByteSink {
public:
    /// Creates (or truncates) the file. Throws SinkError naming the file and the cause.
    explicit FileSink(const std::filesystem::path& path);
    ~FileSink() override;
    void write(std::string_view bytes) override;
    void close() override;
    [[nodiscard]] std::size_t size() const override { return m_size; }
    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }

private:
    [[noreturn]] void fail(const char* what, int error);

    std::filesystem::path m_path;
    std::FILE* m_file = nullptr;
    std::size_t m_size = 0;
};

/// "<path>: <cause>" for an errno value, the way every file error is reported.
std::string describeFileError(const std::filesystem::path& path, int error);

} // namespace plumbrae::support
