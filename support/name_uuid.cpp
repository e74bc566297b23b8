#include "support/name_uuid.h"

#include <algorithm>

namespace plumbrae::support {
namespace {

constexpr std::uint32_t rotateLeft(std::uint32_t value, unsigned bits) {
    return (value << bits) | (value >> (32U - bits));
}

} // namespace

void Sha1::compress(const std::uint8_t* block) {
    std::array<std::uint32_t, 80> w{};
    for (std::size_t i = 0; i < 16; ++i) {
        w[i] = (std::uint32_t{block[4 * i]} << 24U) | (std::uint32_t{block[4 * i + 1]} << 16U) |
               (std::uint32_t{block[4 * i + 2]} << 8U) | std::uint32_t{block[4 * i + 3]};
    }
    for (std::size_t i = 16; i < 80; ++i) {
        w[i] = rotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    }
    auto [a, b, c, d, e] = m_state;
    for (std::size_t i = 0; i < 80; ++i) {
        std::uint32_t f = 0;
        std::uint32_t k = 0;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999U;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1U;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCU;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6U;
        }
        const std::uint32_t next = rotateLeft(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rotateLeft(b, 30);
        b = a;
        a = next;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
    m_state[4] += e;
}

void Sha1::update(std::string_view bytes) {
    m_length += bytes.size();
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::size_t left = bytes.size();
    while (left > 0) {
        if (m_blockSize == 0 && left >= m_block.size()) {
            compress(data);
            data += m_block.size();
            left -= m_block.size();
            continue;
        }
        const std::size_t take = std::min(left, m_block.size() - m_blockSize);
        std::copy_n(data, take, m_block.begin() + static_cast<std::ptrdiff_t>(m_blockSize));
        m_blockSize += take;
        data += take;
        left -= take;
        if (m_blockSize == m_block.size()) {
            compress(m_block.data());
            m_blockSize = 0;
        }
    }
}

Sha1::Digest Sha1::finish() {
    const std::uint64_t bits = m_length * 8U;
    // The padding: one set bit, zeros up to 8 bytes short of a block, then the length in bits.
    static constexpr std::array<char, 64> Padding = {'\x80'};
    update(std::string_view(Padding.data(), (m_blockSize < 56 ? 56 : 120) - m_blockSize));
    std::array<char, 8> length{};
    for (std::size_t i = 0; i < 8; ++i) {
        length[i] = static_cast<char>((bits >> (56U - 8U * i)) & 0xFFU);
    }
    update(std::string_view(length.data(), length.size()));
    Digest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        digest[i] = static_cast<std::uint8_t>((m_state[i / 4] >> (24U - 8U * (i % 4))) & 0xFFU);
    }
    return digest;
}

std::string nameBasedUuid(const Uuid& nameSpace,
                          std::initializer_list<std::string_view> nameParts) {
    Sha1 sha;
    sha.update(std::string_view(reinterpret_cast<const char*>(nameSpace.data()), nameSpace.size()));
    for (const auto part : nameParts) {
        sha.update(part);
    }
    const auto digest = sha.finish();
    Uuid uuid{};
    std::copy_n(digest.begin(), uuid.size(), uuid.begin());
    uuid[6] = static_cast<std::uint8_t>((uuid[6] & 0x0FU) | 0x50U); // version 5
    uuid[8] = static_cast<std::uint8_t>((uuid[8] & 0x3FU) | 0x80U); // the RFC 4122 variant
    static constexpr std::string_view Hex = "0123456789abcdef";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < uuid.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text.push_back('-');
        }
        text.push_back(Hex[uuid[i] >> 4U]);
        text.push_back(Hex[uuid[i] & 0x0FU]);
    }
    return text;
}

} // namespace plumbrae::support
