#include "pst/ltp/heap_builder.h"

#include "pst/ltp/ltp_format.h"
#include "pst/ndb/disk_format.h"
#include "support/le_writer.h"

#include <array>
#include <stdexcept>

namespace plumbrae::pst::ltp {
namespace {

constexpr std::uint8_t HeapSignature = 0xEC;
constexpr std::size_t FirstHeaderSize = 12;
constexpr std::size_t PageHeaderSize = 2;
constexpr std::size_t BitmapHeaderSize = 66;
constexpr std::size_t MaxAllocationsPerPage = 0x7FF;

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
void setFillLevels(std::vector<std::string>& blocks) {
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const std::size_t owner = i < 8 ? 0 : 8 + (i - 8) / 128 * 128;
        const std::size_t at = (owner == 0 ? 8 : 2) + (i - owner) / 2;
        const auto level = fillLevel(ndb::MaxBlockData - blocks[i].size());
        auto& byte = blocks[owner][at];
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
    if (m_pages.empty() || !fits(m_pages.size() - 1, m_pages.back(), bytes.size())) {
        m_pages.emplace_back();
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
    if (block >= m_pages.size() || index == 0 || index > m_pages[block].starts.size()) {
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

std::vector<std::string> HeapBuilder::finish() const {
    std::vector<std::string> blocks;
    const auto pageCount = std::max<std::size_t>(m_pages.size(), 1);
    for (std::size_t index = 0; index < pageCount; ++index) {
        const Page empty;
        const auto& page = index < m_pages.size() ? m_pages[index] : empty;
        const auto header = headerSize(index);
        std::string block;
        block.reserve(header + page.bytes.size() + 1 + pageMapSize(page.starts.size()));
        block.assign(header, '\0');
        block.append(page.bytes);
        if (block.size() % 2 != 0) {
            block.push_back('\0');
        }
        const auto mapOffset = static_cast<std::uint16_t>(block.size());
        ndb::appendRecord(block,
                          HeapPageMapHeader{static_cast<std::uint16_t>(page.starts.size()), 0});
        support::LeWriter map(block);
        for (const auto start : page.starts) {
            map.u16(static_cast<std::uint16_t>(header + start));
        }
        map.u16(static_cast<std::uint16_t>(header + page.bytes.size()));
        if (index == 0) {
            const HeapHeader head{mapOffset, HeapSignature, static_cast<std::uint8_t>(m_client),
                                  m_userRoot, 0};
            block.replace(0, sizeof head, ndb::recordBytes(head));
        } else {
            block.replace(0, sizeof mapOffset, support::LeWriter().u16(mapOffset).str());
        }
        blocks.push_back(std::move(block));
    }
    setFillLevels(blocks);
    return blocks;
}

Hid buildHeapBTree(HeapBuilder& heap, std::uint8_t keySize, std::uint8_t dataSize,
                   const std::vector<std::string>& records, Hid headerAt) {
    std::uint8_t indexLevels = 0;
    Hid root = 0;
    if (!records.empty()) {
        std::vector<std::string> level = records;
        std::size_t recordSize = std::size_t{keySize} + dataSize;
        for (;;) {
            const auto perAllocation = MaxHeapAllocation / recordSize;
            std::vector<std::string> parents;
            for (std::size_t first = 0; first < level.size(); first += perAllocation) {
                const auto count = std::min(perAllocation, level.size() - first);
                std::string bytes;
                for (std::size_t i = first; i < first + count; ++i) {
                    bytes.append(level[i]);
                }
                const auto hid = heap.allocate(bytes);
                std::string parent = level[first].substr(0, keySize);
                support::LeWriter(parent).u32(hid);
                parents.push_back(std::move(parent));
                root = hid;
            }
            if (parents.size() == 1) {
                break;
            }
            level = std::move(parents);
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
