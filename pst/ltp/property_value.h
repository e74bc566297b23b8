#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plumbrae::pst::ltp {

/// Property types used by this writer (the low 16 bits of a property tag).
enum class PropertyType : std::uint16_t {
    Int16 = 0x0002,
    Int32 = 0x0003,
    Boolean = 0x000B,
    Int64 = 0x0014,
    String = 0x001F,
    Time = 0x0040,
    Guid = 0x0048,
    Binary = 0x0102,
    MultiInt32 = 0x1003,
    MultiString = 0x101F,
    MultiBinary = 0x1102,
};

using PropertyTag = std::uint32_t;

constexpr PropertyTag makeTag(std::uint16_t id, PropertyType type) {
    return (static_cast<std::uint32_t>(id) << 16U) | static_cast<std::uint16_t>(type);
}
constexpr std::uint16_t tagId(PropertyTag tag) {
    return static_cast<std::uint16_t>(tag >> 16U);
}
constexpr PropertyType tagType(PropertyTag tag) {
    return static_cast<PropertyType>(tag & 0xFFFFU);
}

/// Bytes a fixed-size type takes in a row or inline; 0 for variable-size types.
std::size_t fixedSize(PropertyType type);

/// One property: its tag and its value as stored (little-endian numbers, UTF-16LE text
/// without a terminator, the multi-valued layouts of the format).
struct Property {
    PropertyTag tag = 0;
    std::string value;
};

/// A property whose value bytes live elsewhere, in a buffer kept while the view is used: a
/// message's values built one after another into one buffer instead of a string each.
struct PropertyView {
    PropertyTag tag = 0;
    std::string_view value;
};

/// Value encoders.
std::string int16Value(std::int16_t value);
std::string int32Value(std::int32_t value);
std::string int64Value(std::int64_t value);
std::string booleanValue(bool value);
/// UTF-8 bytes as UTF-16LE (invalid UTF-8 bytes read as Windows-1252).
std::string stringValue(std::string_view utf8);
/// Appends `utf8` as stringValue gives it.
void appendStringValue(std::string& out, std::string_view utf8);
/// Several UTF-8 texts as a multi-valued string: count, offsets, then the UTF-16LE texts.
std::string multiStringValue(const std::vector<std::string>& utf8Values);
std::string multiInt32Value(const std::vector<std::int32_t>& values);
/// Binary values as one multi-valued property holds them: the count, each value's offset, the
/// values.
std::string multiBinaryValue(const std::vector<std::string>& values);

} // namespace plumbrae::pst::ltp
