#include "pst/ltp/heap_builder.h"

#include "pst/ltp/ltp_format.h"
#include "pst/ndb/disk_format.h"
#include "support/le_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

namespace plumbrae::pst::ltp {
namespace {

constexpr std::uint8_t HeapSignature = 0xEC;
constexpr std::size_t FirstHeaderSize = 12;
constexpr std::size_t PageHeaderSize = 2;
constexpr std::size_t BitmapHeaderSize = 66;
constexpr std::size_t MaxAllocationsPerPage = 0x7FF;
constexpr std::size_t TypicalAllocationsPerPage = 128;

std::size_t pageMapSize(std::size_t allocations) {
    return 4 + 2 * (allocations + 1);
}

/// How full a block is, in the 4-bit grades a client reads before adding an allocation: 0 for
/// 3584 free bytes or more, up to 15 for fewer than 8.
std::uint8_t fillLevel(std::size_t freeBytes) {
    constexpr std::array<std::size_t, 15> AtLeast = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768,
                                                     512,  256,  128,  64,   32,   16,   8};
    std::uint8_t level = 0;
    while (level < AtLeast.size() && freeBytes < AtLeast[level]) {
        ++level;
    }
    return level;
}

/// Writes each block's fill level where the heap keeps it: blocks 0-7 in the first block's
/// header (from byte 8), the next 128 in the header of block 8, 136, ... (from byte 2), two
/// levels a byte, the lower block in the low half.
/// A block kept only by its print already holds the levels of the blocks it keeps them for.
void setFillLevels(std::vector<ndb::DataBlock>& blocks) {
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const std::size_t owner = i < 8 ? 0 : 8 + (i - 8) / 128 * 128;
        if (blocks[owner].kept) {
            continue;
        }
        const std::size_t at = (owner == 0 ? 8 : 2) + (i - owner) / 2;
        const auto level = fillLevel(ndb::MaxBlockData - blocks[i].size());
        auto& byte = blocks[owner].bytes[at];
        byte = static_cast<char>(static_cast<unsigned char>(byte) |
                                 (level << (4 * ((i - owner) % 2))));
    }
}

} // namespace

std::size_t HeapBuilder::headerSize(std::size_t pageIndex) {
    if (pageIndex == 0) {
        return FirstHeaderSize;
    }
    return pageIndex % 128 == 8 ? BitmapHeaderSize : PageHeaderSize;
}

bool HeapBuilder::fits(std::size_t pageIndex, const Page& page, std::size_t bytes) {
    // One padding byte may sit before the page map to keep it at an even offset.
    const auto total =
        headerSize(pageIndex) + page.bytes.size() + bytes + 1 + pageMapSize(page.starts.size() + 1);
    return total <= ndb::MaxBlockData && page.starts.size() < MaxAllocationsPerPage;
}

Hid HeapBuilder::allocate(std::string_view bytes) {
    if (bytes.size() > MaxHeapAllocation) {
        throw std::length_error("heap allocation larger than the format allows");
    }
    if (m_pages.empty() || m_pages.back().frozen ||
        !fits(m_pages.size() - 1, m_pages.back(), bytes.size())) {
        m_pages.emplace_back();
        // A page's allocations are appended one by one: room for a full block at once.
        m_pages.back().bytes.reserve(ndb::MaxBlockData);
        m_pages.back().starts.reserve(TypicalAllocationsPerPage);
    }
    auto& page = m_pages.back();
    page.starts.push_back(static_cast<std::uint16_t>(page.bytes.size()));
    page.bytes.append(bytes);
    const auto block = static_cast<std::uint32_t>(m_pages.size() - 1);
    const auto index = static_cast<std::uint32_t>(page.starts.size());
    return (block << 16U) | (index << 5U);
}

void HeapBuilder::fill(Hid hid, std::string_view bytes) {
    const auto block = heapBlockIndex(hid);
    const auto index = heapAllocationIndex(hid);
    if (block >= m_pages.size() || m_pages[block].frozen || index == 0 ||
        index > m_pages[block].starts.size()) {
        throw std::out_of_range("heap id outside the heap");
    }
    auto& page = m_pages[block];
    const std::size_t start = page.starts[index - 1];
    const std::size_t end = index < page.starts.size() ? page.starts[index] : page.bytes.size();
    if (end - start != bytes.size()) {
        throw std::length_error("heap allocation filled with a different size");
    }
    page.bytes.replace(start, bytes.size(), bytes);
}

std::string HeapBuilder::pageBlock(std::size_t index, const Page& page) const {
    const auto header = headerSize(index);
    std::string block;
    block.reserve(header + page.bytes.size() + 1 + pageMapSize(page.starts.size()));
    block.assign(header, '\0');
    block.append(page.bytes);
    if (block.size() % 2 != 0) {
        block.push_back('\0');
    }
    const auto mapOffset = static_cast<std::uint16_t>(block.size());
    ndb::appendRecord(block, HeapPageMapHeader{static_cast<std::uint16_t>(page.starts.size()), 0});
    // Each allocation's start, then where the last one ends, as 16-bit offsets in the block.
    const auto mapAt = block.size();
    block.resize(mapAt + 2 * (page.starts.size() + 1));
    char* entry = block.data() + mapAt;
    const auto put16 = [&entry](std::size_t offset) {
        *entry++ = static_cast<char>(offset & 0xFFU);
        *entry++ = static_cast<char>((offset >> 8U) & 0xFFU);
    };
    for (const auto start : page.starts) {
        put16(header + start);
    }
    put16(header + page.bytes.size());
    if (index == 0) {
        const HeapHeader head{mapOffset, HeapSignature, static_cast<std::uint8_t>(m_client),
                              m_userRoot, 0};
        std::memcpy(block.data(), &head, sizeof head);
    } else {
        std::memcpy(block.data(), &mapOffset, sizeof mapOffset);
    }
    return block;
}

std::vector<ndb::DataBlock> HeapBuilder::finish() const {
    std::vector<ndb::DataBlock> blocks;
    if (m_pages.empty()) {
        blocks.emplace_back(pageBlock(0, Page{}));
        return blocks;
    }
    blocks.reserve(m_pages.size());
    for (std::size_t index = 0; index < m_pages.size(); ++index) {
        const auto& page = m_pages[index];
        if (page.frozen) {
            blocks.emplace_back(*page.frozen);
        } else {
            blocks.emplace_back(pageBlock(index, page));
        }
    }
    setFillLevels(blocks);
    return blocks;
}

HeapBuilder::Mark HeapBuilder::mark() const {
    if (m_pages.empty()) {
        return {};
    }
    return {m_pages.size(), m_pages.back().bytes.size(), m_pages.back().starts.size()};
}

void HeapBuilder::rollback(const Mark& mark) {
    m_pages.resize(mark.pages);
    if (!m_pages.empty() && !m_pages.back().frozen) {
        m_pages.back().bytes.resize(mark.lastPageBytes);
        m_pages.back().starts.resize(mark.lastPageAllocations);
    }
}

void HeapBuilder::freezePages(std::size_t end) {
    end = std::min(end, m_pages.size());
    // A block that keeps the fill levels of the 128 after it is final only when they are.
    const auto blocks = finish();
    for (std::size_t index = 1; index < end; ++index) {
        auto& page = m_pages[index];
        if (!page.frozen && (index % 128 != 8 || index + 128 <= end)) {
            page.frozen = ndb::blockPrint(blocks[index].bytes);
            page.bytes = std::string();
            page.starts = std::vector<std::uint16_t>();
        }
    }
}

Hid buildHeapBTree(HeapBuilder& heap, std::uint8_t keySize, std::uint8_t dataSize,
                   std::string_view records, Hid headerAt) {
    std::uint8_t indexLevels = 0;
    Hid root = 0;
    if (!records.empty()) {
        // Each level's allocations hold as many whole records as fit; the level above lists
        // the first key and heap id of each, until one allocation holds them all.
        std::string_view level = records;
        std::string above;
        std::string kept; // the level being split, once it is no longer `records`
        std::size_t recordSize = std::size_t{keySize} + dataSize;
        for (;;) {
            const auto perAllocation = MaxHeapAllocation / recordSize * recordSize;
            above.clear();
            for (std::size_t at = 0; at < level.size(); at += perAllocation) {
                const auto hid = heap.allocate(level.substr(at, perAllocation));
                above.append(level.substr(at, keySize));
                support::LeWriter(above).u32(hid);
                root = hid;
            }
            if (above.size() == std::size_t{keySize} + 4) {
                break;
            }
            kept.swap(above);
            level = kept;
            recordSize = std::size_t{keySize} + 4;
            ++indexLevels;
        }
    }
    const HeapBTreeHeader header{static_cast<std::uint8_t>(HeapClient::BTree), keySize, dataSize,
                                 indexLevels, root};
    static_assert(sizeof header == HeapBTreeHeaderSize);
    if (headerAt != 0) {
        heap.fill(headerAt, ndb::recordBytes(header));
        return headerAt;
    }
    return heap.allocate(ndb::recordBytes(header));
}

} // namespace plumbrae::pst::ltp
