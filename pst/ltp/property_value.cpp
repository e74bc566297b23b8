#include "pst/ltp/property_value.h"

#include "support/le_writer.h"
#include "support/text.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace plumbrae::pst::ltp {

std::size_t fixedSize(PropertyType type) {
    switch (type) {
    case PropertyType::Boolean:
        return 1;
    case PropertyType::Int16:
        return 2;
    case PropertyType::Int32:
        return 4;
    case PropertyType::Int64:
    case PropertyType::Time:
        return 8;
    default:
        return 0;
    }
}

std::string int16Value(std::int16_t value) {
    return support::LeWriter().i16(value).str();
}
std::string int32Value(std::int32_t value) {
    return support::LeWriter().i32(value).str();
}
std::string int64Value(std::int64_t value) {
    return support::LeWriter().u64(static_cast<std::uint64_t>(value)).str();
}
std::string booleanValue(bool value) {
    return std::string(1, value ? '\x01' : '\x00');
}

namespace {

/// Eight ASCII bytes as the sixteen bytes of their UTF-16LE units.
void widenAscii8(const char* from, char* to) {
    std::uint64_t bytes = 0;
    std::memcpy(&bytes, from, sizeof bytes);
    if constexpr (std::endian::native == std::endian::little) {
        for (std::size_t half = 0; half < 2; ++half, bytes >>= 32U) {
            std::uint64_t units = bytes & 0xFFFFFFFFU;
            units = (units | (units << 16U)) & 0x0000FFFF0000FFFFU;
            units = (units | (units << 8U)) & 0x00FF00FF00FF00FFU;
            std::memcpy(to + 8 * half, &units, sizeof units);
        }
    } else {
        for (std::size_t i = 0; i < 8; ++i) {
            to[2 * i] = from[i];
            to[2 * i + 1] = '\0';
        }
    }
}

constexpr std::uint64_t HighBits = 0x8080808080808080U;

} // namespace

void appendStringValue(std::string& out, std::string_view utf8) {
    // Each UTF-8 byte gives at most one UTF-16 unit, so twice the bytes is room enough.
    const std::size_t start = out.size();
    out.resize(start + 2 * utf8.size());
    char* to = out.data() + start;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        // Most contact text is plain ASCII, where each byte is its own unit: eight at a time.
        std::uint64_t chunk = HighBits;
        if (utf8.size() - pos >= 8) {
            std::memcpy(&chunk, utf8.data() + pos, sizeof chunk);
        }
        if ((chunk & HighBits) == 0) {
            widenAscii8(utf8.data() + pos, to);
            to += 16;
            pos += 8;
            continue;
        }
        std::size_t length = 1;
        const char32_t cp = static_cast<unsigned char>(utf8[pos]) < 0x80
                                ? static_cast<char32_t>(utf8[pos])
                                : support::decodeUtf8Lenient(utf8, pos, length);
        pos += length;
        auto unit = [&to](std::uint32_t value) {
            *to++ = static_cast<char>(value & 0xFFU);
            *to++ = static_cast<char>(value >> 8U);
        };
        if (cp >= 0x10000) {
            const auto v = static_cast<std::uint32_t>(cp) - 0x10000U;
            unit(0xD800U + (v >> 10U));
            unit(0xDC00U + (v & 0x3FFU));
        } else {
            unit(static_cast<std::uint32_t>(cp));
        }
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
}

std::string stringValue(std::string_view utf8) {
    std::string bytes;
    appendStringValue(bytes, utf8);
    return bytes;
}

std::string multiStringValue(const std::vector<std::string>& utf8Values) {
    std::vector<std::string> texts;
    texts.reserve(utf8Values.size());
    for (const auto& value : utf8Values) {
        texts.push_back(stringValue(value));
    }
    return multiBinaryValue(texts);
}

std::string multiBinaryValue(const std::vector<std::string>& texts) {
    std::string bytes;
    support::LeWriter writer(bytes);
    writer.u32(static_cast<std::uint32_t>(texts.size()));
    auto offset = static_cast<std::uint32_t>(4 + 4 * texts.size());
    for (const auto& text : texts) {
        writer.u32(offset);
        offset += static_cast<std::uint32_t>(text.size());
    }
    for (const auto& text : texts) {
        writer.bytes(text);
    }
    return bytes;
}

std::string multiInt32Value(const std::vector<std::int32_t>& values) {
    std::string bytes;
    support::LeWriter writer(bytes);
    for (const auto value : values) {
        writer.i32(value);
    }
    return bytes;
}

} // namespace plumbrae::pst::ltp
