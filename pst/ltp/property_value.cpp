#include "pst/ltp/property_value.h"

#include "support/le_writer.h"
#include "support/text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

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

/// The character a well-formed two- or three-byte UTF-8 sequence at `p` (with `left` bytes from
/// it on) encodes and the bytes it takes; 0 bytes for anything else.
std::pair<std::uint32_t, std::size_t> commonSequence(const unsigned char* p, std::size_t left) {
    if (p[0] >= 0xC2 && p[0] <= 0xDF && left >= 2 && (p[1] & 0xC0U) == 0x80U) {
        return {((p[0] & 0x1FU) << 6U) | (p[1] & 0x3FU), 2};
    }
    if (p[0] >= 0xE0 && p[0] <= 0xEF && left >= 3 && (p[1] & 0xC0U) == 0x80U &&
        (p[2] & 0xC0U) == 0x80U) {
        const std::uint32_t cp = ((p[0] & 0x0FU) << 12U) | ((p[1] & 0x3FU) << 6U) | (p[2] & 0x3FU);
        // Not overlong, not a surrogate.
        if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) {
            return {cp, 3};
        }
    }
    return {0, 0};
}

} // namespace

void appendStringValue(std::string& out, std::string_view utf8) {
    // Each UTF-8 byte gives at most one UTF-16 unit, so twice the bytes is room enough; the
    // last eight bytes are widened whole, with up to sixteen bytes of room after them.
    constexpr std::size_t Slack = 16;
    const std::size_t start = out.size();
    out.resize(start + 2 * utf8.size() + Slack);
    char* to = out.data() + start;
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        // Most contact text is plain ASCII, where each byte is its own unit: eight at a time.
        const std::size_t left = utf8.size() - pos;
        std::array<char, 8> chunk{};
        if (left >= chunk.size()) {
            std::memcpy(chunk.data(), bytes + pos, chunk.size());
        } else {
            std::copy_n(bytes + pos, left, chunk.begin());
        }
        std::uint64_t word = 0;
        std::memcpy(&word, chunk.data(), sizeof word);
        if ((word & HighBits) == 0) {
            widenAscii8(chunk.data(), to);
            const std::size_t taken = std::min(left, chunk.size());
            to += 2 * taken;
            pos += taken;
            continue;
        }
        auto [cp, length] = commonSequence(bytes + pos, left);
        if (bytes[pos] < 0x80) {
            cp = bytes[pos];
            length = 1;
        } else if (length == 0) {
            cp = static_cast<std::uint32_t>(support::decodeUtf8Lenient(utf8, pos, length));
        }
        pos += length;
        auto unit = [&to](std::uint32_t value) {
            *to++ = static_cast<char>(value & 0xFFU);
            *to++ = static_cast<char>(value >> 8U);
        };
        if (cp >= 0x10000) {
            const auto v = cp - 0x10000U;
            unit(0xD800U + (v >> 10U));
            unit(0xDC00U + (v & 0x3FFU));
        } else {
            unit(cp);
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
