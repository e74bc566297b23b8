#include "support/crc32.h"

#include <array>

namespace plumbrae::support {
namespace {

// Slicing-by-4 tables: the PST writer checksums every block it writes, so this is on a hot path.
constexpr std::array<std::array<std::uint32_t, 256>, 4> makeTables() {
    std::array<std::array<std::uint32_t, 256>, 4> tables{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1U) : c >> 1U;
        }
        tables[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i) {
        for (std::size_t t = 1; t < 4; ++t) {
            const std::uint32_t prev = tables[t - 1][i];
            tables[t][i] = (prev >> 8U) ^ tables[0][prev & 0xFFU];
        }
    }
    return tables;
}

constexpr auto Tables = makeTables();

} // namespace

std::uint32_t pstCrc32(std::string_view data, std::uint32_t initial) {
    std::uint32_t crc = initial;
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t n = data.size();
    while (n >= 4) {
        crc ^= static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8U) |
               (static_cast<std::uint32_t>(p[2]) << 16U) |
               (static_cast<std::uint32_t>(p[3]) << 24U);
        crc = Tables[3][crc & 0xFFU] ^ Tables[2][(crc >> 8U) & 0xFFU] ^
              Tables[1][(crc >> 16U) & 0xFFU] ^ Tables[0][crc >> 24U];
        p += 4;
        n -= 4;
    }
    while (n-- > 0) {
        crc = Tables[0][(crc ^ *p++) & 0xFFU] ^ (crc >> 8U);
    }
    return crc;
}

} // namespace plumbrae::support
