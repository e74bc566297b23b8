#include "core/contact_file_reader.h"

#include "core/contact_uid.h"
#include "core/field_dictionary_p.h"
#include "core/metadata_text_p.h"
#include "support/byte_sink.h"
#include "support/file_path.h"
#include "support/text.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <utility>

namespace plumbrae::core {
namespace {

constexpr std::size_t ChunkSize = std::size_t{1} << 16;

/// Said of a file whose size is not known before it is read.
constexpr std::uint64_t UnknownSize = ~std::uint64_t{0};

#ifdef _WIN32

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

/// An open contact file, read through a stream; its size is learnt by reading it.
class ContactSource {
public:
    explicit ContactSource(std::FILE* file) : m_file(file) {}
    /// Up to `count` bytes; fewer only at the end of the file. False on a read error.
    bool read(char* into, std::size_t count, std::size_t& got) {
        got = std::fread(into, 1, count, m_file.get());
        return std::ferror(m_file.get()) == 0;
    }
    /// Exactly `count` bytes from `offset`, or false.
    bool readAt(std::uint64_t offset, char* into, std::size_t count) {
        std::size_t got = 0;
        return ::_fseeki64(m_file.get(), static_cast<long long>(offset), SEEK_SET) == 0 &&
               read(into, count, got) && got == count;
    }
    [[nodiscard]] std::uint64_t size() const { return UnknownSize; }

private:
    std::unique_ptr<std::FILE, FileCloser> m_file;
};

#else

/// An open contact file, read straight from its descriptor (no stream: a stream would add a
/// system call or two to every file of a run) up to the size it had when it was opened, so a
/// small file takes one read.
class ContactSource {
public:
    ContactSource(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}
    ~ContactSource() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    ContactSource(ContactSource&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1)), m_size(other.m_size) {}
    ContactSource(const ContactSource&) = delete;
    ContactSource& operator=(const ContactSource&) = delete;
    ContactSource& operator=(ContactSource&&) = delete;

    /// Up to `count` bytes; fewer only at the end of the file. False on a read error.
    bool read(char* into, std::size_t count, std::size_t& got) {
        return readFrom(-1, into, count, got);
    }
    /// Exactly `count` bytes from `offset`, or false.
    bool readAt(std::uint64_t offset, char* into, std::size_t count) {
        std::size_t got = 0;
        return readFrom(static_cast<off_t>(offset), into, count, got) && got == count;
    }
    [[nodiscard]] std::uint64_t size() const { return m_size; }

private:
    /// Reads on from where the last read ended (`offset` -1) or from `offset`.
    bool readFrom(off_t offset, char* into, std::size_t count, std::size_t& got) {
        got = 0;
        while (got < count) {
            const auto n = offset < 0 ? ::read(m_fd, into + got, count - got)
                                      : ::pread(m_fd, into + got, count - got,
                                                offset + static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return false;
            }
            if (n == 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        return true;
    }

    int m_fd;
    std::uint64_t m_size;
};

#endif

/// Metadata beyond this size is no contact: the largest real ones hold a few photos' worth.
constexpr std::size_t MaxMetadataBytes = std::size_t{64} << 20;
constexpr const char* TooLarge = "too large to be a contact (more than 64 MiB of contact data)";

std::string causeOf(int error) {
    // The cause alone: describeFileError gives "<path>: <cause>" for an empty path as ": cause".
    return support::describeFileError({}, error).substr(2);
}

/// A file's metadata text and what a JSON export says about it. The text is a view into the
/// bytes as read (valid until the next file is read on this thread) or into `decoded`.
struct LoadedMetadata {
    std::string_view view;
    std::string decoded;
    bool useDecoded = false;
    bool statesType = false;
    std::optional<std::int64_t> itemId;

    [[nodiscard]] std::string_view text() const {
        return useDecoded ? std::string_view(decoded) : view;
    }
};

/// The metadata of a file kept whole in memory, or nothing when it is a JSON export of an item
/// that is not a contact.
std::optional<LoadedMetadata> metadataOfWhole(std::string_view whole,
                                              const detail::MetadataLineFinder& finder) {
    LoadedMetadata loaded;
    if (auto json = detail::metadataFromJson(whole)) {
        if (!json->isContact) {
            return std::nullopt;
        }
        loaded.decoded = std::move(json->metadata);
        loaded.useDecoded = true;
        loaded.statesType = json->statesType;
        loaded.itemId = json->itemId;
        return loaded;
    }
    const auto [begin, end] = finder.range();
    loaded.view = whole.substr(begin, end - begin);
    return loaded;
}

/// The file's metadata text, whether a JSON export states that it is a contact and the item id
/// it gives, or nothing when it is a JSON export of an item that is not a contact. Small files and
/// files that may be one JSON object are read whole; larger files are streamed once to find where
/// the metadata stands, and only that range is read back. A file read in one piece is used where
/// it was read, without a copy.
std::optional<LoadedMetadata> loadMetadata(ContactSource& file, const std::string& path,
                                           const std::function<void()>& yield) {
    std::string whole;
    // The bytes kept so far: the first piece where it was read, or `whole` once more follow.
    std::string_view kept;
    bool keepWhole = true;
    bool decided = false;
    detail::MetadataLineFinder finder;
    // One buffer per thread, reused for every file: a run reads thousands of small files.
    thread_local std::string chunk(ChunkSize, '\0');
    std::uint64_t size = file.size();
    for (;;) {
        if (yield) {
            yield();
        }
        const std::size_t want =
            size == UnknownSize
                ? chunk.size()
                : static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size));
        std::size_t got = 0;
        if (want != 0 && !file.read(chunk.data(), want, got)) {
            throw ContactFileError(path, "cannot read the file: " + causeOf(errno));
        }
        if (size != UnknownSize) {
            size -= got;
        }
        if (got == 0) {
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
            if (kept.size() + piece.size() > MaxMetadataBytes) {
                throw ContactFileError(path, TooLarge);
            }
            if (kept.empty()) {
                kept = piece;
            } else {
                whole.append(piece);
                kept = whole;
            }
        }
        if (size == 0 || got < want) {
            break;
        }
        if (kept.data() == chunk.data()) {
            // The next read reuses the buffer: what is kept moves out of it first.
            whole.assign(kept);
            kept = whole;
        }
    }
    if (keepWhole) {
        auto loaded = metadataOfWhole(kept, finder);
        if (loaded && !loaded->useDecoded && kept.data() == whole.data()) {
            // Read in several pieces: `whole` goes with the function, so the metadata's own
            // bytes are cut out of it and kept.
            const auto [begin, end] = finder.range();
            whole.erase(end);
            whole.erase(0, begin);
            loaded->decoded = std::move(whole);
            loaded->useDecoded = true;
        }
        return loaded;
    }
    const auto [begin, end] = finder.range();
    if (end - begin > MaxMetadataBytes) {
        throw ContactFileError(path, TooLarge);
    }
    LoadedMetadata loaded;
    loaded.decoded.assign(end - begin, '\0');
    loaded.useDecoded = true;
    if (!file.readAt(begin, loaded.decoded.data(), loaded.decoded.size())) {
        throw ContactFileError(path, "cannot read the file: it changed while it was read");
    }
    return loaded;
}

/// The web address as written: trimmed, and "http://" taken off its start (any case), where it
/// only repeats what every reader assumes. Anywhere else it is part of the address.
std::string withoutHttp(std::string_view value) {
    constexpr std::string_view Prefix = "http://";
    const auto trimmed = support::trimSpaces(value);
    if (trimmed.size() >= Prefix.size() &&
        support::asciiLower(trimmed.substr(0, Prefix.size())) == Prefix) {
        return std::string(trimmed.substr(Prefix.size()));
    }
    return std::string(trimmed);
}

/// Which record field each key fills.
struct KeyField {
    std::string_view key;
    ContactRecord::FieldPointer field;
};

// clang-format off
constexpr std::array<KeyField, 52> KeyFields = {{
    {"firstName", &ContactRecord::FirstName},         {"lastName", &ContactRecord::LastName},
    {"middleName", &ContactRecord::MiddleName},       {"namePrefix", &ContactRecord::Title},
    {"nameSuffix", &ContactRecord::Suffix},           {"nickname", &ContactRecord::Nickname},
    {"company", &ContactRecord::Company},             {"department", &ContactRecord::Department},
    {"jobTitle", &ContactRecord::JobTitle},           {"office", &ContactRecord::Location},
    {"email", &ContactRecord::Email},                 {"email2", &ContactRecord::Email2},
    {"email3", &ContactRecord::Email3},               {"workEmail1", &ContactRecord::OtherEmail1},
    {"workEmail2", &ContactRecord::OtherEmail2},      {"workEmail3", &ContactRecord::OtherEmail3},
    {"workPhone", &ContactRecord::OfficePhone},       {"workPhone2", &ContactRecord::OfficePhone2},
    {"workFax", &ContactRecord::OfficeFax},           {"mobilePhone", &ContactRecord::CellPhone},
    {"mobilePhone2", &ContactRecord::CellPhone2},     {"pager", &ContactRecord::Pager},
    {"carPhone", &ContactRecord::CarPhone},           {"homePhone", &ContactRecord::HomePhone},
    {"homePhone2", &ContactRecord::HomePhone2},       {"homeFax", &ContactRecord::HomeFax},
    {"otherPhone", &ContactRecord::OtherPhone},       {"companyPhone", &ContactRecord::CompanyPhone},
    {"workStreet", &ContactRecord::BusinessStreet},   {"workCity", &ContactRecord::BusinessCity},
    {"workPostalCode", &ContactRecord::BusinessZip},  {"workState", &ContactRecord::BusinessState},
    {"workCountry", &ContactRecord::BusinessCountry}, {"homeStreet", &ContactRecord::PersonalStreet},
    {"homeCity", &ContactRecord::PersonalCity},       {"homePostalCode", &ContactRecord::PersonalZip},
    {"homeState", &ContactRecord::PersonalState},     {"homeCountry", &ContactRecord::PersonalCountry},
    {"otherStreet", &ContactRecord::OtherStreet},     {"otherCity", &ContactRecord::OtherCity},
    {"otherPostalCode", &ContactRecord::OtherZip},    {"otherState", &ContactRecord::OtherState},
    {"otherCountry", &ContactRecord::OtherCountry},   {"homeURL", &ContactRecord::WebPage},
    {"workURL", &ContactRecord::WorkWebPage},         {"imAddress1", &ContactRecord::IMAddress},
    {"imAddress2", &ContactRecord::IMAddress2},       {"imAddress3", &ContactRecord::IMAddress3},
    {"birthday", &ContactRecord::Birthday},           {"anniversary", &ContactRecord::Anniversary},
    {"notes", &ContactRecord::Comments},              {"fullName", &ContactRecord::FullName},
}};
// clang-format on

constexpr bool everyKeyIsKnown(const auto& table) {
    for (const KeyField& entry : table) {
        if (entry.field == nullptr ||
            detail::contactKeyIndex(entry.key) >= detail::ContactKeys.size()) {
            return false;
        }
    }
    return true;
}

/// A second home address fills the other address when the contact has none of its own.
constexpr std::array<KeyField, 5> SecondHomeAddress = {{
    {"homeStreet2", &ContactRecord::OtherStreet},
    {"homeCity2", &ContactRecord::OtherCity},
    {"homePostalCode2", &ContactRecord::OtherZip},
    {"homeState2", &ContactRecord::OtherState},
    {"homeCountry2", &ContactRecord::OtherCountry},
}};

static_assert(everyKeyIsKnown(KeyFields) && everyKeyIsKnown(SecondHomeAddress));

std::optional<std::string_view> valueOf(const detail::ContactValues& values, std::string_view key) {
    return values[detail::findContactKey(key)];
}

/// The keys that hold one value each of a kind, in order: a field with several values fills
/// the later places its own key's file leaves free.
constexpr std::array<std::array<std::string_view, 3>, 6> RepeatedKeys = {{
    {"email", "email2", "email3"},
    {"workEmail1", "workEmail2", "workEmail3"},
    {"imAddress1", "imAddress2", "imAddress3"},
    {"homePhone", "homePhone2", ""},
    {"workPhone", "workPhone2", ""},
    {"mobilePhone", "mobilePhone2", ""},
}};

ContactRecord::FieldPointer fieldOf(std::string_view key) {
    for (const auto& entry : KeyFields) {
        if (entry.key == key) {
            return entry.field;
        }
    }
    return nullptr;
}

std::string joined(const std::vector<std::string>& values) {
    std::string text;
    for (const auto& value : values) {
        text.append(text.empty() ? "" : ", ").append(value);
    }
    return text;
}

/// Gives the further values of a field with several values their places: each takes the next
/// later key of its kind whose field is still empty; what finds none is joined to the field's
/// own value with ", ", so no value is lost.
void placeFurtherValues(std::string_view key, const std::vector<std::string>& further,
                        ContactRecord& record) {
    std::string& own = record.*fieldOf(key);
    const auto* kind =
        std::find_if(RepeatedKeys.begin(), RepeatedKeys.end(), [&](const auto& keys) {
            return std::find(keys.begin(), keys.end(), key) != keys.end();
        });
    for (const auto& value : further) {
        std::string* place = nullptr;
        if (kind != RepeatedKeys.end()) {
            for (auto later = std::find(kind->begin(), kind->end(), key) + 1;
                 later != kind->end() && !later->empty() && place == nullptr; ++later) {
                std::string& field = record.*fieldOf(*later);
                place = field.empty() ? &field : nullptr;
            }
        }
        if (place != nullptr) {
            *place = value;
        } else {
            own.append(own.empty() ? "" : ", ").append(value);
        }
    }
}

bool hasOtherAddress(const ContactRecord& record) {
    return !record.OtherStreet.empty() || !record.OtherCity.empty() || !record.OtherZip.empty() ||
           !record.OtherState.empty() || !record.OtherCountry.empty();
}

void storeValues(const detail::ContactValues& values, ContactRecord& record) {
    static const auto Indexes = [] {
        std::array<std::size_t, KeyFields.size()> indexes{};
        for (std::size_t i = 0; i < KeyFields.size(); ++i) {
            indexes[i] = detail::contactKeyIndex(KeyFields[i].key);
        }
        return indexes;
    }();
    // Fields with several values take their first one now and place the others once every
    // field with a single value is in.
    std::vector<std::pair<std::string_view, std::vector<std::string>>> further;
    for (std::size_t i = 0; i < KeyFields.size(); ++i) {
        if (const auto& value = values[Indexes[i]]) {
            auto elements = detail::jsonStringArray(*value);
            if (!elements) {
                (record.*KeyFields[i].field).assign(*value);
                continue;
            }
            record.*KeyFields[i].field = std::move(elements->front());
            elements->erase(elements->begin());
            further.emplace_back(KeyFields[i].key, std::move(*elements));
        }
    }
    for (const auto& [key, elements] : further) {
        placeFurtherValues(key, elements, record);
    }
    if (valueOf(values, "homeURL")) {
        record.WebPage = withoutHttp(record.WebPage);
    }
    if (!hasOtherAddress(record)) {
        for (const auto& [key, field] : SecondHomeAddress) {
            if (const auto value = valueOf(values, key)) {
                const auto elements = detail::jsonStringArray(*value);
                record.*field = elements ? joined(*elements) : std::string(*value);
            }
        }
    }
    // The display name joins the names as read; the contact's own full name stands only for a
    // contact without either.
    if (!record.FirstName.empty() || !record.LastName.empty() || record.FullName.empty()) {
        record.FullName.assign(record.FirstName).append(" ").append(record.LastName);
    }
}

/// A group's name: its nickname, else the name it is filed as ("8:Family" files it under the
/// text behind the pattern number), else its full name.
std::string groupName(const detail::ContactValues& values) {
    if (const auto nickname = valueOf(values, "nickname"); nickname && !nickname->empty()) {
        return std::string(support::trimSpaces(*nickname));
    }
    if (const auto fileAs = valueOf(values, "fileAs"); fileAs && !fileAs->empty()) {
        const auto colon = fileAs->find(':');
        return std::string(support::trimSpaces(
            colon == std::string_view::npos ? *fileAs : fileAs->substr(colon + 1)));
    }
    return std::string(support::trimSpaces(valueOf(values, "fullName").value_or("")));
}

/// A contact's values into the record; a contact group leaves it empty.
ReadOutcome contactFrom(const detail::ContactValues& values, ContactRecord& record) {
    if (valueOf(values, "type") == "group") {
        // A group without a member list is a group without members.
        return {ItemKind::ContactGroup,
                {groupName(values), parseGroupMembers(valueOf(values, "dlist").value_or(""))},
                {}};
    }
    storeValues(values, record);
    return {};
}

/// The outcome with a contact's or a group's UID (see contactUid), when `uid` asks for it.
ReadOutcome withUid(ReadOutcome outcome, const detail::ContactValues& values,
                    std::optional<std::int64_t> itemId, const std::string& path,
                    std::string_view metadata, UidWanted uid) {
    if (uid == UidWanted::Yes &&
        (outcome.kind == ItemKind::Contact || outcome.kind == ItemKind::ContactGroup)) {
        outcome.uid = contactUid(valueOf(values, "vcardUID").value_or(""), itemId, path, metadata);
    }
    return outcome;
}

/// `statedContact`: the file says the item is a contact (a JSON export of type 6), so metadata
/// without fields is damage rather than another kind of item.
ReadOutcome readMetadata(std::string_view metadata, const std::string& path, ContactRecord& record,
                         bool statedContact, std::optional<std::int64_t> itemId,
                         UidWanted uid = UidWanted::Yes) {
    const auto result = detail::readFieldDictionary(metadata);
    if (!result) {
        if (const auto values = detail::readTopLevelFields(metadata)) {
            return withUid(contactFrom(*values, record), *values, itemId, path, metadata, uid);
        }
        if (!statedContact && detail::isWellFormedMetadata(metadata)) {
            return {ItemKind::NotContact, {}, {}};
        }
        throw ContactFileError(path, "no contact fields (the file holds no contact metadata)");
    }
    if (!result->values) {
        throw ContactFileError(path, "damaged contact data at byte " +
                                         std::to_string(result->errorOffset) +
                                         " of the contact metadata");
    }
    return withUid(contactFrom(*result->values, record), *result->values, itemId, path, metadata,
                   uid);
}

#ifdef _WIN32

/// Opens a regular file for reading; a folder or a device is refused by its type.
ContactSource openRegularFile(const std::string& path) {
    const auto filePath = support::pathFromUtf8(path);
    std::error_code error;
    const auto type = std::filesystem::status(filePath, error).type();
    if (type == std::filesystem::file_type::directory) {
        throw ContactFileError(path, "not a regular file (a folder)");
    }
    if (type != std::filesystem::file_type::regular &&
        type != std::filesystem::file_type::not_found && !error) {
        throw ContactFileError(path, "not a regular file (a device)");
    }
    errno = 0;
    std::FILE* file = support::openFile(filePath, "rb");
    if (file == nullptr) {
        throw ContactFileError(path, "cannot open the file: " + causeOf(errno));
    }
    return ContactSource(file);
}

#else

/// What a path that is not a regular file leads to, in words.
std::string kindOfSpecial(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "not a regular file (a folder)";
    }
    if (S_ISFIFO(mode)) {
        return "not a regular file (a named pipe)";
    }
    if (S_ISSOCK(mode)) {
        return "not a regular file (a socket)";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "not a regular file (a device)";
    }
    return "not a regular file";
}

/// Opens a regular file for reading. Anything else is refused by its type, found without
/// reading from it: a pipe would wait for a writer for ever, a device may never end.
ContactSource openRegularFile(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        const int error = errno;
        if (error == ELOOP) {
            throw ContactFileError(path, "a link loop: the link leads back to itself");
        }
        throw ContactFileError(path, "cannot open the file: " + causeOf(error));
    }
    if (!S_ISREG(status.st_mode)) {
        throw ContactFileError(path, kindOfSpecial(status.st_mode));
    }
    // Replaced by something else since the check: still never waits on it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw ContactFileError(path, "cannot open the file: " + causeOf(errno));
    }
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        throw ContactFileError(path, kindOfSpecial(status.st_mode));
    }
    // O_NONBLOCK stays: reads of a regular file never return early for it.
    return {fd, static_cast<std::uint64_t>(status.st_size)};
}

#endif

} // namespace

ContactFileError::ContactFileError(const std::string& path, const std::string& reason)
    : std::runtime_error(path + ": " + reason), m_path(path), m_reason(reason) {}

ReadOutcome ReadContactFile(const std::string& path, ContactRecord& record,
                            const std::function<void()>& yield, UidWanted uid) {
    auto file = openRegularFile(path);
    const auto metadata = loadMetadata(file, path, yield);
    if (!metadata) {
        return {ItemKind::NotContact, {}, {}};
    }
    return readMetadata(metadata->text(), path, record, metadata->statesType, metadata->itemId,
                        uid);
}

ReadOutcome ReadContactBytes(std::string_view bytes, const std::string& path,
                             ContactRecord& record) {
    if (auto json = detail::metadataFromJson(bytes)) {
        if (!json->isContact) {
            return {ItemKind::NotContact, {}, {}};
        }
        return readMetadata(json->metadata, path, record, json->statesType, json->itemId);
    }
    detail::MetadataLineFinder finder;
    finder.feed(bytes);
    const auto [begin, end] = finder.range();
    return readMetadata(bytes.substr(begin, end - begin), path, record, false, {});
}

} // namespace plumbrae::core
