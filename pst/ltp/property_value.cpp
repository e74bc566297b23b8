#include "pst/ltp/property_value.h"

#include "support/le_writer.h"
#include "support/text.h"

#include <algorithm>

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

std::string stringValue(std::string_view utf8) {
    // Most contact text is plain ASCII, where each byte is its own UTF-16 unit.
    if (std::all_of(utf8.begin(), utf8.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        std::string bytes(utf8.size() * 2, '\0');
        for (std::size_t i = 0; i < utf8.size(); ++i) {
            bytes[2 * i] = utf8[i];
        }
        return bytes;
    }
    const auto text = support::toUtf16(utf8);
    std::string bytes;
    bytes.reserve(text.size() * 2);
    support::LeWriter writer(bytes);
    for (const auto unit : text) {
        writer.u16(static_cast<std::uint16_t>(unit));
    }
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
