#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace plumbrae::support {

/// Appends little-endian numbers and raw bytes to a byte string. Binary writers build each
/// record with one of these, then hand the finished record to their sink in one write.
class LeWriter {
public:
    LeWriter() = default;
    explicit LeWriter(std::string& target) : m_out(&target) {}

    LeWriter& u8(std::uint8_t value) {
        out().push_back(static_cast<char>(value));
        return *this;
    }
    LeWriter& u16(std::uint16_t value) { return put(value, 2); }
    LeWriter& u32(std::uint32_t value) { return put(value, 4); }
    LeWriter& u64(std::uint64_t value) { return put(value, 8); }
    LeWriter& i16(std::int16_t value) { return u16(static_cast<std::uint16_t>(value)); }
    LeWriter& i32(std::int32_t value) { return u32(static_cast<std::uint32_t>(value)); }
    LeWriter& f64(double value) { return u64(std::bit_cast<std::uint64_t>(value)); }
    LeWriter& bytes(std::string_view data) {
        out().append(data);
        return *this;
    }
    LeWriter& zeros(std::size_t count) {
        out().append(count, '\0');
        return *this;
    }

    /// The bytes written so far (the owned buffer, or the target given to the constructor).
    [[nodiscard]] const std::string& str() const { return m_out != nullptr ? *m_out : m_own; }
    [[nodiscard]] std::size_t size() const { return str().size(); }

private:
    std::string& out() { return m_out != nullptr ? *m_out : m_own; }
    LeWriter& put(std::uint64_t value, int count) {
        for (int i = 0; i < count; ++i) {
            out().push_back(static_cast<char>(value & 0xFFU));
            value >>= 8U;
        }
        return *this;
    }

    std::string m_own;
    std::string* m_out = nullptr;
};

/// Little-endian reads from a byte string; the caller checks the bounds.
inline std::uint16_t readLe16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                      (static_cast<std::uint8_t>(bytes[at + 1]) << 8U));
}

inline std::uint32_t readLe32(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(readLe16(bytes, at)) |
           (static_cast<std::uint32_t>(readLe16(bytes, at + 2)) << 16U);
}

inline std::uint64_t readLe64(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint64_t>(readLe32(bytes, at)) |
           (static_cast<std::uint64_t>(readLe32(bytes, at + 4)) << 32U);
}

} // namespace plumbrae::support
