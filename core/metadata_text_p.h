#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plumbrae::core::detail {

/// Where the field dictionary's markers stand: "d3:fldd" opens metadata whose first key is the
/// field dictionary; "e3:fldd" follows a value, in metadata that has keys before it.
constexpr std::string_view FieldMarker = "d3:fldd";
constexpr std::string_view LateFieldMarker = "e3:fldd";

/// The item type a JSON export gives a contact (1 is a folder, 5 a message).
constexpr std::int64_t ContactItemType = 6;

/// What a JSON export holds: whether the item is a contact, and its metadata text.
struct JsonItem {
    bool isContact = true;
    /// The object states its type (6); without a "type" member it is taken for a contact.
    bool statesType = false;
    std::string metadata;
    /// The item's id, when the object states it (its "id" member, a number).
    std::optional<std::int64_t> itemId;
};

/// When the whole file is one JSON object: an item that is not a contact when its "type" member
/// is a number other than 6; otherwise, when its last "metadata" member is a string, that string
/// decoded (escapes resolved to UTF-8; a lone surrogate becomes U+FFFD; bytes that are not valid
/// UTF-8 stay as they are). Otherwise nothing: the file is not a JSON export.
std::optional<JsonItem> metadataFromJson(std::string_view file);

/// A field that holds several values holds them as the text of a JSON array of strings
/// (`["ann@example.com","ann@example.org"]`): its elements, decoded, when `value` is exactly
/// such an array of at least one string (white space around its parts allowed); otherwise
/// nothing, and the value is text like any other.
std::optional<std::vector<std::string>> jsonStringArray(std::string_view value);

/// Finds the text that holds the metadata among a file's lines, fed in pieces, keeping only
/// offsets: a carriage return, alone or followed by a line feed, ends a line; a line feed alone
/// does not. The text is the last line, or, when that holds no marker but an earlier line does,
/// everything from the start of the last line that holds one to the end of the file (a value that
/// held a carriage return split the metadata).
class MetadataLineFinder {
public:
    void feed(std::string_view chunk);
    /// The byte range [begin, end) of the metadata text within the file, after the last chunk.
    [[nodiscard]] std::pair<std::size_t, std::size_t> range() const;

private:
    void endLine(std::size_t endOffset, std::size_t nextStart);
    void noteMarker(std::string_view chunk, std::size_t from, std::size_t to);

    std::size_t m_offset = 0;        // file offset of the next chunk's first byte
    std::size_t m_lineStart = 0;     // start of the line being read
    bool m_lineHasMarker = false;    // the line being read holds a marker
    bool m_pendingCr = false;        // the previous chunk ended with a carriage return
    std::string m_tail;              // the last bytes of the line so far, to find split markers
    std::size_t m_lastLineStart = 0; // the last complete line
    std::size_t m_lastLineEnd = 0;
    bool m_hasLastLine = false;
    std::optional<std::size_t> m_markerLineStart; // start of the last line holding a marker
    bool m_lastLineHasMarker = false;
};

} // namespace plumbrae::core::detail
