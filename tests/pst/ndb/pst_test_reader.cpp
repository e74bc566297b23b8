#include "tests/pst/ndb/pst_test_reader.h"

#include <algorithm>
#include <cstdio>

namespace plumbrae::testing {

std::uint32_t referenceCrc(std::string_view data) {
    std::uint32_t crc = 0;
    for (const char c : data) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1U) != 0 ? (crc >> 1U) ^ 0xEDB88320U : crc >> 1U;
        }
    }
    return crc;
}

namespace {
std::uint16_t signatureOf(std::uint64_t offset, std::uint64_t bid) {
    const auto value = static_cast<std::uint32_t>(offset ^ bid);
    return static_cast<std::uint16_t>((value >> 16U) ^ (value & 0xFFFFU));
}
std::string hex(std::uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}
} // namespace

TestPstReader::TestPstReader(std::string bytes) : m_bytes(std::move(bytes)) {
    if (m_bytes.size() < 0x4600 || m_bytes.compare(0, 4, "!BDN") != 0) {
        problem("not a personal folders file");
        return;
    }
    if (referenceCrc(std::string_view(m_bytes).substr(8, 471)) != u32(4)) {
        problem("partial header CRC");
    }
    if (referenceCrc(std::string_view(m_bytes).substr(8, 516)) != u32(524)) {
        problem("full header CRC");
    }
    walk(u64(180 + 44), u64(180 + 36), 0x81, 1, m_nodeDepth);
    walk(u64(180 + 60), u64(180 + 52), 0x80, 1, m_blockDepth);
}

std::uint16_t TestPstReader::u16(std::size_t at) const {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(m_bytes.at(at)) |
                                      static_cast<std::uint8_t>(m_bytes.at(at + 1)) << 8U);
}
std::uint32_t TestPstReader::u32(std::size_t at) const {
    return u16(at) | static_cast<std::uint32_t>(u16(at + 2)) << 16U;
}
std::uint64_t TestPstReader::u64(std::size_t at) const {
    return u32(at) | static_cast<std::uint64_t>(u32(at + 4)) << 32U;
}

void TestPstReader::walk(std::uint64_t offset, std::uint64_t bid, std::uint8_t type, int depth,
                         int& maxDepth) {
    if (offset % 512 != 0 || offset + 512 > m_bytes.size()) {
        problem("page outside the file at " + hex(offset));
        return;
    }
    m_pages.push_back(offset);
    const auto page = static_cast<std::size_t>(offset);
    if (static_cast<std::uint8_t>(m_bytes[page + 496]) != type ||
        static_cast<std::uint8_t>(m_bytes[page + 497]) != type) {
        problem("page type at " + hex(offset));
    }
    if (u16(page + 498) != signatureOf(offset, bid)) {
        problem("page signature at " + hex(offset));
    }
    if (u32(page + 500) != referenceCrc(std::string_view(m_bytes).substr(page, 496))) {
        problem("page CRC at " + hex(offset));
    }
    if (u64(page + 504) != bid) {
        problem("page bid at " + hex(offset));
    }
    const auto count = static_cast<std::uint8_t>(m_bytes[page + 488]);
    const auto entrySize = static_cast<std::uint8_t>(m_bytes[page + 490]);
    const auto level = static_cast<std::uint8_t>(m_bytes[page + 491]);
    maxDepth = std::max(maxDepth, depth);
    std::uint64_t previousKey = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto entry = page + i * entrySize;
        const auto key = u64(entry);
        if (i > 0 && key <= previousKey) {
            problem("keys out of order at " + hex(offset));
        }
        previousKey = key;
        if (level > 0) {
            walk(u64(entry + 16), u64(entry + 8), type, depth + 1, maxDepth);
        } else if (type == 0x81) {
            m_nodes[static_cast<std::uint32_t>(key)] = {u64(entry + 8), u64(entry + 16),
                                                        u32(entry + 24)};
        } else {
            m_blocks[key] = {u64(entry + 8), u16(entry + 16), u16(entry + 18)};
        }
    }
}

std::string TestPstReader::blockData(std::uint64_t bid) {
    const auto found = m_blocks.find(bid & ~std::uint64_t{1});
    if (found == m_blocks.end()) {
        problem("block " + hex(bid) + " not in the block tree");
        return {};
    }
    const auto& block = found->second;
    const auto total = (block.size + 16U + 63U) / 64U * 64U;
    const auto trailer = static_cast<std::size_t>(block.offset) + total - 16;
    if (block.offset % 64 != 0 || trailer + 16 > m_bytes.size()) {
        problem("block " + hex(bid) + " misplaced");
        return {};
    }
    auto data = m_bytes.substr(static_cast<std::size_t>(block.offset), block.size);
    if (u16(trailer) != block.size || u16(trailer + 2) != signatureOf(block.offset, bid) ||
        u32(trailer + 4) != referenceCrc(data) || u64(trailer + 8) != bid) {
        problem("block trailer of " + hex(bid));
    }
    return data;
}

std::vector<std::string> TestPstReader::nodeData(std::uint64_t bid) {
    m_lastLevel = 0;
    if (bid == 0) {
        return {};
    }
    auto data = blockData(bid);
    if ((bid & 2U) == 0) {
        return {data};
    }
    m_lastLevel = static_cast<std::uint8_t>(data.at(1));
    std::vector<std::string> out;
    const std::string_view view(data);
    const auto entries = static_cast<std::size_t>(static_cast<std::uint8_t>(view[2]) |
                                                  static_cast<std::uint8_t>(view[3]) << 8U);
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < entries; ++i) {
        std::uint64_t child = 0;
        for (int b = 7; b >= 0; --b) {
            child = child << 8U |
                    static_cast<std::uint8_t>(view[8 + i * 8 + static_cast<std::size_t>(b)]);
        }
        const int level = m_lastLevel;
        auto pieces = nodeData(child);
        m_lastLevel = level;
        for (auto& piece : pieces) {
            total += piece.size();
            out.push_back(std::move(piece));
        }
    }
    std::uint32_t declared = 0;
    for (int b = 3; b >= 0; --b) {
        declared =
            declared << 8U | static_cast<std::uint8_t>(view[4 + static_cast<std::size_t>(b)]);
    }
    if (declared != total) {
        problem("data tree " + hex(bid) + " declares " + std::to_string(declared) + " bytes");
    }
    return out;
}

std::map<std::uint32_t, ReadSubnode> TestPstReader::subnodes(std::uint64_t bid) {
    std::map<std::uint32_t, ReadSubnode> out;
    if (bid == 0) {
        return out;
    }
    const auto data = blockData(bid);
    if (data.size() < 8 || data[0] != 2) {
        problem("subnode block " + hex(bid));
        return out;
    }
    auto at = [&](std::size_t offset) {
        std::uint64_t value = 0;
        for (int b = 7; b >= 0; --b) {
            value =
                value << 8U | static_cast<std::uint8_t>(data[offset + static_cast<std::size_t>(b)]);
        }
        return value;
    };
    const auto level = data[1];
    const auto entries = static_cast<std::size_t>(static_cast<std::uint8_t>(data[2]) |
                                                  static_cast<std::uint8_t>(data[3]) << 8U);
    for (std::size_t i = 0; i < entries; ++i) {
        if (level == 0) {
            const auto base = 8 + i * 24;
            out[static_cast<std::uint32_t>(at(base))] = {at(base + 8), at(base + 16)};
        } else {
            for (const auto& [nid, entry] : subnodes(at(8 + i * 16 + 8))) {
                out[nid] = entry;
            }
        }
    }
    return out;
}

} // namespace plumbrae::testing
