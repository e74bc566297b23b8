#pragma once

// A heap on a node: the node's data blocks carry small allocations addressed by heap ids.
//
//   block 0:        header (12 bytes: page-map offset, 0xEC, client signature, user root,
//                   fill levels), allocations, page map
//   blocks 1..:     page-map offset (2 bytes), allocations, page map
//   blocks 8, 136, 264, ...: page-map offset and 64 fill-level bytes instead
//   page map:       allocation count, free count (0), then count + 1 start offsets (the last
//                   one is where the last allocation ends)
//
// A heap id is (block index << 16) | (allocation number, 1-based, << 5).

#include "pst/ndb/node_content.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plumbrae::pst::ltp {

using Hid = std::uint32_t;

/// Client signatures: what the heap's user root describes.
enum class HeapClient : std::uint8_t {
    TableContext = 0x7C,
    BTree = 0xB5,
    PropertyContext = 0xBC,
};

/// The largest allocation a heap takes; bigger values go into subnodes.
inline constexpr std::size_t MaxHeapAllocation = 3580;

class HeapBuilder {
public:
    explicit HeapBuilder(HeapClient client) : m_client(client) {}

    /// Adds an allocation (at most MaxHeapAllocation bytes) and returns its id.
    Hid allocate(std::string_view bytes);
    /// Replaces the bytes of an earlier allocation with as many new ones. Readers built on
    /// Outlook's files expect a context's B-tree header at the first heap id, so the header's
    /// place is taken before the values and filled once the tree is known.
    void fill(Hid hid, std::string_view bytes);
    void setUserRoot(Hid root) { m_userRoot = root; }

    /// The node's data blocks, each at most one block's payload.
    [[nodiscard]] std::vector<ndb::DataBlock> finish() const;

    /// How far the heap is filled: allocations made after it can be taken back with rollback().
    struct Mark {
        std::size_t pages = 0;
        std::size_t lastPageBytes = 0;
        std::size_t lastPageAllocations = 0;
    };
    [[nodiscard]] Mark mark() const;
    void rollback(const Mark& mark);

    [[nodiscard]] std::size_t pageCount() const { return m_pages.size(); }
    /// Keeps only the print of each page from the second up to `end` (exclusive): for pages
    /// that take no more allocations and whose bytes the node in the file already holds (see
    /// ndb::DataBlock). The first page is never frozen: its header names the user root.
    void freezePages(std::size_t end);

private:
    struct Page {
        std::string bytes;                     // the allocations, one after another
        std::vector<std::uint16_t> starts;     // where each allocation starts in `bytes`
        std::optional<ndb::BlockPrint> frozen; // set: the bytes are let go
    };
    [[nodiscard]] static std::size_t headerSize(std::size_t pageIndex);
    [[nodiscard]] static bool fits(std::size_t pageIndex, const Page& page, std::size_t bytes);
    [[nodiscard]] std::string pageBlock(std::size_t index, const Page& page) const;

    HeapClient m_client;
    Hid m_userRoot = 0;
    std::vector<Page> m_pages;
};

/// The heap id's block index and 1-based allocation number.
constexpr std::uint32_t heapBlockIndex(Hid hid) {
    return hid >> 16U;
}
constexpr std::uint32_t heapAllocationIndex(Hid hid) {
    return (hid >> 5U) & 0x7FFU;
}

/// Adds a B-tree on the heap holding `records` (one after another, each key then data, sorted
/// by key) and returns the id of its header. Leaves that would pass the allocation limit
/// are split under index levels. With `headerAt`, the header goes into that allocation (taken
/// earlier with HeapBTreeHeaderSize bytes) instead of a new one.
Hid buildHeapBTree(HeapBuilder& heap, std::uint8_t keySize, std::uint8_t dataSize,
                   std::string_view records, Hid headerAt = 0);

/// The size of a B-tree header on the heap, for taking its place before the tree is built.
inline constexpr std::size_t HeapBTreeHeaderSize = 8;

} // namespace plumbrae::pst::ltp
