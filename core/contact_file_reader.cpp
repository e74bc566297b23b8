#include "core/contact_file_reader.h"

#include "core/field_dictionary_p.h"
#include "core/metadata_text_p.h"
#include "support/byte_sink.h"
#include "support/file_path.h"
#include "support/text.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <sys/types.h>

namespace plumbrae::core {
namespace {

constexpr std::size_t ChunkSize = std::size_t{1} << 16;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string causeOf(int error) {
    // The cause alone: describeFileError gives "<path>: <cause>" for an empty path as ": cause".
    return support::describeFileError({}, error).substr(2);
}

/// The file's metadata text. Small files and files that may be one JSON object are read whole;
/// larger files are streamed once to find where the metadata stands, and only that range is
/// read back.
std::string loadMetadata(std::FILE* file, const std::string& path,
                         const std::function<void()>& yield) {
    std::string whole;
    bool keepWhole = true;
    bool decided = false;
    detail::MetadataLineFinder finder;
    // One buffer per thread, reused for every file: a run reads thousands of small files.
    thread_local std::string chunk(ChunkSize, '\0');
    for (;;) {
        if (yield) {
            yield();
        }
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
        if (got == 0) {
            if (std::ferror(file) != 0) {
                throw ContactFileError(path, "cannot read the file: " + causeOf(errno));
            }
            break;
        }
        const std::string_view piece(chunk.data(), got);
        finder.feed(piece);
        if (!decided) {
            // Only a file that opens with "{" may be a JSON export; anything else streams.
            const auto first = piece.find_first_not_of(" \t\r\n");
            if (first != std::string_view::npos) {
                decided = true;
                keepWhole = piece[first] == '{' || got < chunk.size();
            }
        }
        if (keepWhole) {
            whole.append(piece);
        }
    }
    if (keepWhole) {
        if (auto json = detail::metadataFromJson(whole)) {
            return std::move(*json);
        }
        const auto [begin, end] = finder.range();
        whole.erase(end);
        whole.erase(0, begin);
        return whole;
    }
    const auto [begin, end] = finder.range();
    std::string text(end - begin, '\0');
    if (fseeko(file, static_cast<off_t>(begin), SEEK_SET) != 0 ||
        std::fread(text.data(), 1, text.size(), file) != text.size()) {
        throw ContactFileError(path, "cannot read the file: it changed while it was read");
    }
    return text;
}

std::string withoutHttp(std::string_view value) {
    constexpr std::string_view Prefix = "http://";
    std::string out;
    out.reserve(value.size());
    std::size_t pos = 0;
    for (;;) {
        const auto found = value.find(Prefix, pos);
        if (found == std::string_view::npos) {
            out.append(value.substr(pos));
            return out;
        }
        out.append(value.substr(pos, found - pos));
        pos = found + Prefix.size();
    }
}

void storeValues(const detail::ContactValues& values, ContactRecord& record) {
    // The fields of the thirteen keys, in the order of detail::ContactKeys.
    static const std::array<std::string ContactRecord::*, detail::ContactKeys.size()> Fields = {
        &ContactRecord::Company,       &ContactRecord::Email,
        &ContactRecord::FirstName,     &ContactRecord::PersonalCountry,
        &ContactRecord::PersonalCity,  &ContactRecord::PersonalZip,
        &ContactRecord::PersonalState, &ContactRecord::PersonalStreet,
        &ContactRecord::WebPage,       &ContactRecord::JobTitle,
        &ContactRecord::LastName,      &ContactRecord::CellPhone,
        &ContactRecord::Comments};
    constexpr std::size_t HomeUrl = 8;
    for (std::size_t i = 0; i < Fields.size(); ++i) {
        if (!values[i]) {
            continue;
        }
        record.*Fields[i] =
            i == HomeUrl ? withoutHttp(support::trimSpaces(*values[i])) : *values[i];
    }
    record.FullName = record.FirstName + " " + record.LastName;
}

void readMetadata(std::string_view metadata, const std::string& path, ContactRecord& record) {
    const auto result = detail::readFieldDictionary(metadata);
    if (!result) {
        throw ContactFileError(path, "no contact fields (the file holds no contact metadata)");
    }
    if (!result->values) {
        throw ContactFileError(path, "damaged contact data at byte " +
                                         std::to_string(result->errorOffset) +
                                         " of the contact metadata");
    }
    storeValues(*result->values, record);
}

} // namespace

ContactFileError::ContactFileError(const std::string& path, const std::string& reason)
    : std::runtime_error(path + ": " + reason), m_path(path), m_reason(reason) {}

void ReadContactFile(const std::string& path, ContactRecord& record,
                     const std::function<void()>& yield) {
    errno = 0;
    const File file(support::openFile(support::pathFromUtf8(path), "rb"));
    if (!file) {
        throw ContactFileError(path, "cannot open the file: " + causeOf(errno));
    }
    const std::string metadata = loadMetadata(file.get(), path, yield);
    readMetadata(metadata, path, record);
}

void ReadContactBytes(std::string_view bytes, const std::string& path, ContactRecord& record) {
    if (auto json = detail::metadataFromJson(bytes)) {
        readMetadata(*json, path, record);
        return;
    }
    detail::MetadataLineFinder finder;
    finder.feed(bytes);
    const auto [begin, end] = finder.range();
    readMetadata(bytes.substr(begin, end - begin), path, record);
}

} // namespace plumbrae::core
