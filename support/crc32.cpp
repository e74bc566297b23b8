#include "support/crc32.h"

#include <array>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PLUMBRAE_CRC_FOLDING 1
#include <immintrin.h>
#else
#define PLUMBRAE_CRC_FOLDING 0
#endif

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

/// Below this many bytes the tables are as quick as setting up the folding.
constexpr std::size_t FoldingMinimum = 64;

std::uint32_t tableCrc32(const unsigned char* p, std::size_t n, std::uint32_t crc) {
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

#if PLUMBRAE_CRC_FOLDING

// Carry-less multiplication folds 64 bytes at a time into four 128-bit lanes, then the lanes
// into one, which is reduced to the 32-bit register. The constants are powers of x modulo the
// polynomial, bit-reflected like the data: a pair that moves a lane 64 bytes ahead, a pair
// that moves it 16 bytes ahead, one that folds the last 64 bits to 32; then the polynomial and
// the quotient floor(x^64 / polynomial) for the Barrett reduction to the register.
constexpr std::uint64_t Fold512Low = 0x154442BD4U;
constexpr std::uint64_t Fold512High = 0x1C6E41596U;
constexpr std::uint64_t Fold128Low = 0x1751997D0U;
constexpr std::uint64_t Fold128High = 0x0CCAA009EU;
constexpr std::uint64_t Fold64 = 0x163CD6124U;
constexpr std::uint64_t Polynomial = 0x1DB710641U;
constexpr std::uint64_t BarrettQuotient = 0x1F7011641U;

__attribute__((target("pclmul,sse2"))) inline __m128i fold(__m128i lane, __m128i constants,
                                                           __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(lane, constants, 0x00);
    const __m128i high = _mm_clmulepi64_si128(lane, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

__attribute__((target("pclmul,sse2"))) inline __m128i load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

/// The checksum of `n` bytes, a multiple of 16 and at least 64.
__attribute__((target("pclmul,sse2"))) std::uint32_t foldedCrc32(const unsigned char* p,
                                                                 std::size_t n, std::uint32_t crc) {
    __m128i lane0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i lane1 = load(p + 16);
    __m128i lane2 = load(p + 32);
    __m128i lane3 = load(p + 48);
    p += 64;
    n -= 64;
    const __m128i by64 =
        _mm_set_epi64x(static_cast<long long>(Fold512High), static_cast<long long>(Fold512Low));
    for (; n >= 64; p += 64, n -= 64) {
        lane0 = fold(lane0, by64, load(p));
        lane1 = fold(lane1, by64, load(p + 16));
        lane2 = fold(lane2, by64, load(p + 32));
        lane3 = fold(lane3, by64, load(p + 48));
    }
    const __m128i by16 =
        _mm_set_epi64x(static_cast<long long>(Fold128High), static_cast<long long>(Fold128Low));
    __m128i x = fold(lane0, by16, lane1);
    x = fold(x, by16, lane2);
    x = fold(x, by16, lane3);
    for (; n >= 16; p += 16, n -= 16) {
        x = fold(x, by16, load(p));
    }
    // 128 bits to 64: the low half times x^64 (the high constant of `by16`), onto the high half.
    x = _mm_xor_si128(_mm_clmulepi64_si128(x, by16, 0x10), _mm_srli_si128(x, 8));
    // 64 bits to 32.
    const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
    const __m128i by8 = _mm_set_epi64x(0, static_cast<long long>(Fold64));
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, mask32), by8, 0x00),
                      _mm_srli_si128(x, 4));
    // Barrett reduction to the 32-bit remainder.
    const __m128i barrett =
        _mm_set_epi64x(static_cast<long long>(BarrettQuotient), static_cast<long long>(Polynomial));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, mask32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), barrett, 0x00);
    x = _mm_xor_si128(x, t);
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x, 4)));
}

bool canFold() {
    static const bool Supported = __builtin_cpu_supports("pclmul") != 0;
    return Supported;
}

#endif

} // namespace

std::uint32_t pstCrc32(std::string_view data, std::uint32_t initial) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t n = data.size();
    std::uint32_t crc = initial;
#if PLUMBRAE_CRC_FOLDING
    if (n >= FoldingMinimum && canFold()) {
        const std::size_t folded = n / 16 * 16;
        crc = foldedCrc32(p, folded, crc);
        p += folded;
        n -= folded;
    }
#endif
    return tableCrc32(p, n, crc);
}

} // namespace plumbrae::support
