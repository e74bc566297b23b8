#include "core/field_dictionary_p.h"
#include "core/metadata_text_p.h"
#include "support/text.h"

#include <vector>

// Bencode, as the metadata uses it: a string is decimal digits, ":" and that many characters;
// an integer "i", digits (perhaps signed), "e"; a list "l", values, "e"; a dictionary "d",
// key/value pairs with string keys, "e". The field dictionary is the value of the key "fld":
//
//   d 3:fld d 9:firstName 3:Ann 8:lastName 3:Lee e 3:att ... e
//            ^ field dictionary ^                ^ rest of the metadata dictionary
//
// Nested values are skipped with an explicit stack, so hostile nesting cannot exhaust the
// call stack.

namespace plumbrae::core::detail {
namespace {

enum class Counting { Utf16Units, Bytes };

class Parser {
public:
    Parser(std::string_view text, std::size_t pos, Counting counting)
        : m_text(text), m_pos(pos), m_counting(counting) {}

    [[nodiscard]] std::size_t pos() const { return m_pos; }
    [[nodiscard]] bool atEnd() const { return m_pos >= m_text.size(); }
    [[nodiscard]] char peek() const { return m_text[m_pos]; }
    void advance() { ++m_pos; }

    /// Reads a string at the current position; nothing when it is malformed or cut short.
    std::optional<std::string_view> readString() {
        const std::size_t entry = m_pos;
        auto result = readStringAt();
        if (!result) {
            m_pos = entry; // report damage where the string starts
        }
        return result;
    }

    /// Reads an integer at the current position (behind its "i"); its digits, or nothing.
    std::optional<std::string_view> readInteger() {
        const std::size_t entry = m_pos;
        auto result = readIntegerAt();
        if (!result) {
            m_pos = entry;
        }
        return result;
    }

    /// Skips one whole value of any kind. False when it is malformed.
    bool skipValue();

private:
    std::optional<std::string_view> readStringAt() {
        std::size_t length = 0;
        std::size_t digits = 0;
        while (!atEnd() && peek() >= '0' && peek() <= '9') {
            if (length > m_text.size()) { // cannot fit whatever the counting
                return std::nullopt;
            }
            length = length * 10 + static_cast<std::size_t>(peek() - '0');
            advance();
            ++digits;
        }
        if (digits == 0 || atEnd() || peek() != ':') {
            return std::nullopt;
        }
        advance();
        const std::size_t start = m_pos;
        if (m_counting == Counting::Bytes) {
            if (length > m_text.size() - start) {
                return std::nullopt;
            }
            m_pos += length;
            return m_text.substr(start, length);
        }
        std::size_t units = 0;
        while (units < length) {
            if (atEnd()) {
                return std::nullopt;
            }
            if (static_cast<unsigned char>(peek()) < 0x80) {
                ++units; // ASCII: one unit, one byte
                advance();
                continue;
            }
            std::size_t bytes = 0;
            const std::int32_t cp = support::decodeUtf8(m_text, m_pos, bytes);
            units += cp >= 0x10000 ? 2U : 1U;
            m_pos += bytes;
        }
        if (units != length) { // the count splits a character outside the basic plane
            return std::nullopt;
        }
        return m_text.substr(start, m_pos - start);
    }

    std::optional<std::string_view> readIntegerAt() {
        advance();
        const std::size_t start = m_pos;
        if (!atEnd() && peek() == '-') {
            advance();
        }
        std::size_t digits = 0;
        while (!atEnd() && peek() >= '0' && peek() <= '9') {
            advance();
            ++digits;
        }
        if (digits == 0 || atEnd() || peek() != 'e') {
            return std::nullopt;
        }
        const auto text = m_text.substr(start, m_pos - start);
        advance();
        return text;
    }

    std::string_view m_text;
    std::size_t m_pos;
    Counting m_counting;
};

bool Parser::skipValue() {
    // Each open container: true for a dictionary waiting for its next key.
    std::vector<bool> open;
    bool expectKey = false;
    do {
        if (atEnd()) {
            return false;
        }
        const char c = peek();
        if (!open.empty() && c == 'e') {
            advance();
            open.pop_back();
            expectKey = !open.empty() && open.back();
            continue;
        }
        if (expectKey) {
            if (!readString()) {
                return false;
            }
            expectKey = false;
            continue;
        }
        if (c >= '0' && c <= '9') {
            if (!readString()) {
                return false;
            }
        } else if (c == 'i') {
            if (!readInteger()) {
                return false;
            }
        } else if (c == 'l' || c == 'd') {
            advance();
            open.push_back(c == 'd');
            expectKey = c == 'd';
            continue;
        } else {
            return false;
        }
        expectKey = !open.empty() && open.back();
    } while (!open.empty());
    return true;
}

/// Reads the dictionary's pairs up to its closing "e". When `values` is given, the contact keys'
/// first values are stored in it.
bool readPairs(Parser& parser, ContactValues* values) {
    for (;;) {
        if (parser.atEnd()) {
            return false;
        }
        if (parser.peek() == 'e') {
            parser.advance();
            return true;
        }
        const auto key = parser.readString();
        if (!key || parser.atEnd()) {
            return false;
        }
        const std::size_t index = values != nullptr ? findContactKey(*key) : ContactKeys.size();
        const char kind = parser.peek();
        if (index < ContactKeys.size() && (kind == 'i' || (kind >= '0' && kind <= '9'))) {
            const auto value = kind == 'i' ? parser.readInteger() : parser.readString();
            if (!value) {
                return false;
            }
            auto& slot = (*values)[index];
            if (!slot) {
                slot = *value;
            }
        } else if (!parser.skipValue()) {
            return false;
        }
    }
}

/// One attempt: the field dictionary, and when `whole` also the rest of the metadata dictionary
/// that holds it. The values go straight into `result` (no copy of the table per file).
void attempt(std::string_view text, std::size_t keyStart, Counting counting, bool whole,
             FieldReadResult& result) {
    Parser parser(text, keyStart, counting);
    ContactValues& values = result.values.emplace();
    // "3:fld" then the "d" that opens the field dictionary.
    const bool fieldsRead = parser.readString().has_value() && !parser.atEnd() &&
                            parser.peek() == 'd' && (parser.advance(), readPairs(parser, &values));
    if (!fieldsRead || (whole && !readPairs(parser, nullptr))) {
        result.values.reset();
    }
    result.errorOffset = parser.pos();
}

} // namespace

std::size_t findContactKey(std::string_view key) {
    // The indexes of the keys of each length, in order.
    static const auto ByLength = [] {
        std::array<std::vector<std::uint8_t>, 16> lengths;
        for (std::size_t index = 0; index < ContactKeys.size(); ++index) {
            lengths.at(ContactKeys[index].size()).push_back(static_cast<std::uint8_t>(index));
        }
        return lengths;
    }();
    if (key.empty() || key.size() >= ByLength.size()) {
        return ContactKeys.size();
    }
    for (const std::uint8_t index : ByLength[key.size()]) {
        const std::string_view candidate = ContactKeys[index];
        if (candidate[0] == key[0] && candidate == key) {
            return index;
        }
    }
    return ContactKeys.size();
}

std::optional<FieldReadResult> readFieldDictionary(std::string_view metadata) {
    // One object returned by every path, so that it is built where the caller keeps it.
    std::optional<FieldReadResult> result;
    auto marker = metadata.find(FieldMarker);
    if (marker == std::string_view::npos) {
        marker = metadata.find(LateFieldMarker);
    }
    if (marker == std::string_view::npos) {
        return result;
    }
    const std::size_t keyStart = marker + 1; // the "3:fld" key behind the "d" or "e"
    std::size_t furthest = 0;
    result.emplace();
    for (const bool whole : {true, false}) {
        for (const Counting counting : {Counting::Utf16Units, Counting::Bytes}) {
            attempt(metadata, keyStart, counting, whole, *result);
            if (result->values) {
                return result;
            }
            furthest = std::max(furthest, result->errorOffset);
        }
    }
    result->errorOffset = furthest;
    return result;
}

std::optional<ContactValues> readTopLevelFields(std::string_view metadata) {
    constexpr std::string_view Space = " \t\r\n";
    const auto first = metadata.find_first_not_of(Space);
    if (first == std::string_view::npos || metadata[first] != 'd') {
        return std::nullopt;
    }
    const auto text = metadata.substr(0, metadata.find_last_not_of(Space) + 1);
    for (const Counting counting : {Counting::Utf16Units, Counting::Bytes}) {
        Parser parser(text, first + 1, counting);
        ContactValues values;
        if (!readPairs(parser, &values) || !parser.atEnd()) {
            continue;
        }
        // "type" and "fileAs" alone make no contact: every other key read is a contact's value.
        for (std::size_t index = 0; index < values.size(); ++index) {
            if (values[index] && ContactKeys[index] != "type" && ContactKeys[index] != "fileAs") {
                return values;
            }
        }
        return std::nullopt;
    }
    return std::nullopt;
}

bool isWellFormedMetadata(std::string_view metadata) {
    constexpr std::string_view Space = " \t\r\n";
    const auto first = metadata.find_first_not_of(Space);
    if (first == std::string_view::npos || metadata[first] != 'd') {
        return false;
    }
    const auto last = metadata.find_last_not_of(Space);
    const auto text = metadata.substr(0, last + 1);
    for (const Counting counting : {Counting::Utf16Units, Counting::Bytes}) {
        Parser parser(text, first, counting);
        if (parser.skipValue() && parser.atEnd()) {
            return true;
        }
    }
    return false;
}

} // namespace plumbrae::core::detail
