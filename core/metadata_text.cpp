#include "core/metadata_text_p.h"
#include "support/text.h"

#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

namespace plumbrae::core::detail {
namespace {

/// Four hexadecimal digits at `pos`, or nothing.
std::optional<unsigned> hex4(std::string_view text, std::size_t pos) {
    if (pos + 4 > text.size()) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (std::size_t i = pos; i < pos + 4; ++i) {
        const char c = text[i];
        value <<= 4U;
        if (c >= '0' && c <= '9') {
            value |= static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            value |= static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            value |= static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
    }
    return value;
}

/// One string token of the JSON text: the bytes between its quotes.
struct StringToken {
    std::size_t begin;
    std::size_t end;
};

/// Lists the string tokens of a JSON text in source order and makes a copy that a strict parser
/// accepts: bytes that are not valid UTF-8 become "?" and lone surrogate escapes "\uFFFD". The
/// copy is only validated; the chosen token is decoded from the original bytes. One pass of
/// one state machine over the text, kept whole so that the states stay side by side.
// NOLINTNEXTLINE(readability-function-cognitive-complexity)
bool scanStrings(std::string_view text, std::vector<StringToken>& tokens, std::string& strict) {
    strict.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        // Outside strings the bytes go across as they are, up to the next quote.
        const auto quote = text.find('"', pos);
        if (quote == std::string_view::npos) {
            strict.append(text.substr(pos));
            break;
        }
        strict.append(text.substr(pos, quote + 1 - pos));
        const std::size_t begin = pos = quote + 1;
        for (;;) {
            if (pos >= text.size()) {
                return false;
            }
            // Plain ASCII (no quote, no backslash) goes across in runs.
            std::size_t plain = pos;
            while (plain < text.size() && static_cast<unsigned char>(text[plain]) < 0x80 &&
                   text[plain] != '"' && text[plain] != '\\') {
                ++plain;
            }
            if (plain > pos) {
                strict.append(text.substr(pos, plain - pos));
                pos = plain;
                continue;
            }
            const char s = text[pos];
            if (s == '"') {
                break;
            }
            if (s == '\\' && pos + 1 < text.size()) {
                if (text[pos + 1] == 'u') {
                    const auto unit = hex4(text, pos + 2);
                    const bool high = unit && *unit >= 0xD800 && *unit <= 0xDBFF;
                    const bool low = unit && *unit >= 0xDC00 && *unit <= 0xDFFF;
                    const auto next = high && pos + 7 < text.size() && text[pos + 6] == '\\' &&
                                              text[pos + 7] == 'u'
                                          ? hex4(text, pos + 8)
                                          : std::nullopt;
                    const bool pairs = next && *next >= 0xDC00 && *next <= 0xDFFF;
                    const std::size_t take = pairs ? 12 : 6;
                    if (!unit) {
                        strict.append(text.substr(pos, 2)); // invalid: the parser refuses it
                        pos += 2;
                    } else if ((high || low) && !pairs) {
                        strict.append("\\uFFFD");
                        pos += 6;
                    } else {
                        strict.append(text.substr(pos, take));
                        pos += take;
                    }
                    continue;
                }
                strict.append(text.substr(pos, 2));
                pos += 2;
                continue;
            }
            std::size_t length = 0;
            if (support::decodeUtf8(text, pos, length) < 0) {
                strict.push_back('?');
            } else {
                strict.append(text.substr(pos, length));
            }
            pos += length;
        }
        tokens.push_back({begin, pos});
        strict.push_back('"');
        ++pos;
    }
    return true;
}

/// Follows the parse and remembers which string token is the value of the top-level object's
/// last "metadata" member, and whether that member is a string at all.
class MetadataFinder : public nlohmann::json_sax<nlohmann::json> {
public:
    bool null() override { return value(false); }
    bool boolean(bool /*val*/) override { return value(false); }
    bool number_integer(number_integer_t val) override {
        noteNumber(static_cast<std::int64_t>(val));
        return value(false);
    }
    bool number_unsigned(number_unsigned_t val) override {
        noteNumber(val > static_cast<number_unsigned_t>(std::numeric_limits<std::int64_t>::max())
                       ? -1
                       : static_cast<std::int64_t>(val));
        return value(false);
    }
    bool number_float(number_float_t /*val*/, const string_t& /*s*/) override {
        return value(false);
    }
    bool string(string_t& /*val*/) override {
        const bool result = value(true);
        ++m_strings;
        return result;
    }
    bool binary(binary_t& /*val*/) override { return value(false); }
    bool start_object(std::size_t /*elements*/) override {
        if (m_depth == 0) {
            m_topIsObject = true;
        }
        value(false);
        ++m_depth;
        return true;
    }
    bool key(string_t& val) override {
        m_metadataKey = m_depth == 1 && val == "metadata";
        m_typeKey = m_depth == 1 && val == "type";
        m_idKey = m_depth == 1 && val == "id";
        ++m_strings;
        return true;
    }
    bool end_object() override {
        --m_depth;
        return true;
    }
    bool start_array(std::size_t /*elements*/) override {
        value(false);
        ++m_depth;
        return true;
    }
    bool end_array() override {
        --m_depth;
        return true;
    }
    bool parse_error(std::size_t /*position*/, const std::string& /*last_token*/,
                     const nlohmann::detail::exception& /*ex*/) override {
        return false;
    }

    /// The index of the token holding the metadata, if the last "metadata" member is a string.
    [[nodiscard]] std::optional<std::size_t> token() const {
        return m_topIsObject ? m_metadataToken : std::nullopt;
    }
    /// The item type the top-level object states, if its last "type" member is a number.
    [[nodiscard]] std::optional<std::int64_t> itemType() const {
        return m_topIsObject ? m_type : std::nullopt;
    }
    /// The item id the top-level object states, if its last "id" member is a number.
    [[nodiscard]] std::optional<std::int64_t> itemId() const {
        return m_topIsObject ? m_id : std::nullopt;
    }

private:
    void noteNumber(std::int64_t number) {
        if (m_typeKey) {
            m_type = number;
        }
        if (m_idKey && number >= 0) {
            m_id = number;
        }
    }
    bool value(bool isString) {
        if (m_metadataKey) {
            m_metadataToken = isString ? std::optional<std::size_t>(m_strings) : std::nullopt;
            m_metadataKey = false;
        }
        m_typeKey = false;
        m_idKey = false;
        return true;
    }

    int m_depth = 0;
    std::size_t m_strings = 0;
    bool m_topIsObject = false;
    bool m_metadataKey = false;
    bool m_typeKey = false;
    bool m_idKey = false;
    std::optional<std::size_t> m_metadataToken;
    std::optional<std::int64_t> m_type;
    std::optional<std::int64_t> m_id;
};

/// Resolves the escapes of one string token (already validated by the parser).
std::string decodeToken(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    std::size_t pos = 0;
    while (pos < raw.size()) {
        const auto next = raw.find('\\', pos);
        if (next == std::string_view::npos) {
            out.append(raw.substr(pos));
            break;
        }
        out.append(raw.substr(pos, next - pos));
        const char kind = raw[next + 1];
        pos = next + 2;
        switch (kind) {
        case 'b':
            out.push_back('\b');
            break;
        case 'f':
            out.push_back('\f');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case 'r':
            out.push_back('\r');
            break;
        case 't':
            out.push_back('\t');
            break;
        case 'u': {
            char32_t cp = hex4(raw, pos).value_or(0xFFFD);
            pos += 4;
            if (cp >= 0xD800 && cp <= 0xDBFF && pos + 6 <= raw.size() && raw[pos] == '\\' &&
                raw[pos + 1] == 'u') {
                const char32_t low = hex4(raw, pos + 2).value_or(0);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    cp = 0x10000 + ((cp - 0xD800) << 10U) + (low - 0xDC00);
                    pos += 6;
                }
            }
            if (cp >= 0xD800 && cp <= 0xDFFF) {
                cp = 0xFFFD;
            }
            support::appendUtf8(out, cp);
            break;
        }
        default:
            out.push_back(kind);
            break; // '"', '\\' and '/'
        }
    }
    return out;
}

/// The end of the JSON string whose opening quote is at `pos` (the position of its closing
/// quote), or nothing when it is not a well-formed string: escapes are checked, and a control
/// character must be escaped.
std::optional<std::size_t> jsonStringEnd(std::string_view text, std::size_t pos) {
    constexpr std::string_view Escaped = "\"\\/bfnrt";
    for (++pos; pos < text.size(); ++pos) {
        const auto c = static_cast<unsigned char>(text[pos]);
        if (c == '"') {
            return pos;
        }
        if (c < 0x20) {
            return std::nullopt;
        }
        if (c == '\\') {
            if (pos + 1 >= text.size()) {
                return std::nullopt;
            }
            if (text[pos + 1] == 'u') {
                if (!hex4(text, pos + 2)) {
                    return std::nullopt;
                }
                pos += 5;
            } else if (Escaped.find(text[pos + 1]) == std::string_view::npos) {
                return std::nullopt;
            } else {
                ++pos;
            }
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::vector<std::string>> jsonStringArray(std::string_view value) {
    constexpr std::string_view Space = " \t\r\n";
    const auto skipSpace = [&](std::size_t pos) {
        return std::min(value.find_first_not_of(Space, pos), value.size());
    };
    std::size_t pos = skipSpace(0);
    if (pos >= value.size() || value[pos] != '[') {
        return std::nullopt;
    }
    std::vector<std::string> elements;
    for (;;) {
        pos = skipSpace(pos + 1);
        if (pos >= value.size() || value[pos] != '"') {
            return std::nullopt;
        }
        const auto end = jsonStringEnd(value, pos);
        if (!end) {
            return std::nullopt;
        }
        elements.push_back(decodeToken(value.substr(pos + 1, *end - pos - 1)));
        pos = skipSpace(*end + 1);
        if (pos < value.size() && value[pos] == ']') {
            break;
        }
        if (pos >= value.size() || value[pos] != ',') {
            return std::nullopt;
        }
    }
    if (skipSpace(pos + 1) != value.size()) {
        return std::nullopt;
    }
    return elements;
}

std::optional<JsonItem> metadataFromJson(std::string_view file) {
    const auto first = file.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos || file[first] != '{') {
        return std::nullopt;
    }
    std::vector<StringToken> tokens;
    std::string strict;
    if (!scanStrings(file, tokens, strict)) {
        return std::nullopt;
    }
    MetadataFinder finder;
    if (!nlohmann::json::sax_parse(strict, &finder, nlohmann::json::input_format_t::json, true)) {
        return std::nullopt;
    }
    const auto type = finder.itemType();
    if (type && *type != ContactItemType) {
        return JsonItem{false, true, {}, {}};
    }
    const auto token = finder.token();
    if (!token || *token >= tokens.size()) {
        return std::nullopt;
    }
    const auto& [begin, end] = tokens[*token];
    return JsonItem{true, type.has_value(), decodeToken(file.substr(begin, end - begin)),
                    finder.itemId()};
}

void MetadataLineFinder::noteMarker(std::string_view chunk, std::size_t from, std::size_t to) {
    if (m_lineHasMarker || from >= to) {
        return;
    }
    const auto segment = chunk.substr(from, to - from);
    // A marker split by the previous chunk: look at the saved tail joined with this start.
    std::string joint = m_tail;
    joint.append(segment.substr(0, FieldMarker.size() - 1));
    const auto hasMarker = [](std::string_view text) {
        return text.find(FieldMarker) != std::string_view::npos ||
               text.find(LateFieldMarker) != std::string_view::npos;
    };
    if (hasMarker(joint) || hasMarker(segment)) {
        m_lineHasMarker = true;
        return;
    }
    joint.append(segment.substr(std::min(segment.size(), FieldMarker.size() - 1)));
    const std::size_t keep = FieldMarker.size() - 1;
    m_tail = joint.size() > keep ? joint.substr(joint.size() - keep) : joint;
}

void MetadataLineFinder::endLine(std::size_t endOffset, std::size_t nextStart) {
    m_lastLineStart = m_lineStart;
    m_lastLineEnd = endOffset;
    m_hasLastLine = true;
    m_lastLineHasMarker = m_lineHasMarker;
    if (m_lineHasMarker) {
        m_markerLineStart = m_lineStart;
    }
    m_lineHasMarker = false;
    m_tail.clear();
    m_lineStart = nextStart;
}

void MetadataLineFinder::feed(std::string_view chunk) {
    std::size_t pos = 0;
    if (m_pendingCr && !chunk.empty()) {
        m_pendingCr = false;
        if (chunk[0] == '\n') {
            m_lineStart = m_offset + 1;
            pos = 1;
        }
    }
    while (pos < chunk.size()) {
        const auto cr = chunk.find('\r', pos);
        const std::size_t segmentEnd = cr == std::string_view::npos ? chunk.size() : cr;
        noteMarker(chunk, pos, segmentEnd);
        if (cr == std::string_view::npos) {
            break;
        }
        std::size_t next = cr + 1;
        if (next < chunk.size() && chunk[next] == '\n') {
            ++next;
        } else if (next == chunk.size()) {
            m_pendingCr = true;
        }
        endLine(m_offset + cr, m_offset + next);
        pos = next;
    }
    m_offset += chunk.size();
}

std::pair<std::size_t, std::size_t> MetadataLineFinder::range() const {
    std::size_t start = m_lastLineStart;
    std::size_t end = m_lastLineEnd;
    bool hasMarker = m_lastLineHasMarker;
    if (m_lineStart < m_offset || !m_hasLastLine) {
        // The file does not end with a line end: the unfinished line is the last one.
        start = m_lineStart;
        end = m_offset;
        hasMarker = m_lineHasMarker;
    }
    if (!hasMarker && m_markerLineStart) {
        return {*m_markerLineStart, m_offset};
    }
    return {start, end};
}

} // namespace plumbrae::core::detail
