#pragma once

#include "pst/ndb/disk_format.h"

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace plumbrae::pst::ndb {

/// Which parts of the file are in use, in the allocation maps' own geometry: the file is a
/// whole number of ranges of 0x3E000 bytes from 0x4400, each opening with its allocation map
/// (and, for some ranges, a page map or free map) and mapped one bit per 64 bytes. Free space
/// is also kept as runs, by offset and by length, so that an allocation finds the smallest hole
/// that holds it (often one left by a released block) without scanning the bitmaps.
///
/// Space released during a commit stays marked, and is not handed out again, until the
/// commit's header is written: until then the header on disk still reaches it.
class SpaceMap {
public:
    using Bitmap = std::array<std::uint8_t, 496>;

    /// Finds `bytes` (a multiple of 64) at an offset that is a multiple of `alignment`, in the
    /// smallest free run that holds it, adding ranges at the end when none does.
    std::uint64_t allocate(std::uint64_t bytes, std::uint64_t alignment);
    /// Gives back what allocate() returned, from the next clearChanges() on.
    void release(std::uint64_t offset, std::uint64_t bytes);

    [[nodiscard]] std::size_t rangeCount() const { return m_maps.size(); }
    [[nodiscard]] const Bitmap& bitmap(std::size_t range) const { return m_maps[range]; }
    [[nodiscard]] std::uint64_t freeBytes() const { return m_freeBytes; }
    [[nodiscard]] std::uint64_t fileSize() const;

    /// Ranges whose bitmap changed since the last clearChanges(), and ranges added since then.
    [[nodiscard]] bool changed(std::size_t range) const { return m_changed[range]; }
    [[nodiscard]] bool added(std::size_t range) const { return range >= m_committedRanges; }
    /// Called once a commit's header is written: what was released since the last call becomes
    /// free (and its ranges changed, for the next commit to write).
    void clearChanges();

    /// Bytes at the start of a range taken by the map pages that live there.
    static std::uint64_t reservedAtRangeStart(std::size_t range);

private:
    void openRange();
    void mark(std::uint64_t offset, std::uint64_t bytes, bool used);
    void addFreeRun(std::uint64_t offset, std::uint64_t bytes);
    void insertRun(std::uint64_t offset, std::uint64_t bytes);
    void eraseRun(std::map<std::uint64_t, std::uint64_t>::iterator run);

    std::vector<Bitmap> m_maps;
    std::vector<bool> m_changed;
    std::size_t m_committedRanges = 0;
    std::map<std::uint64_t, std::uint64_t> m_free;              // offset -> length, coalesced
    std::set<std::pair<std::uint64_t, std::uint64_t>> m_bySize; // (length, offset) of the same
    std::uint64_t m_freeBytes = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_released; // (offset, length)
};

/// File offset of the allocation map that starts range `range`.
constexpr std::uint64_t allocationMapOffset(std::uint64_t range) {
    return FirstAllocationMapOffset + range * AllocationMapRange;
}

/// True when a free map page follows the allocation map (and page map) of `range`.
constexpr bool hasFreeMap(std::uint64_t range) {
    return range >= FirstFreeMapIndex && (range - FirstFreeMapIndex) % FreeMapEvery == 0;
}

} // namespace plumbrae::pst::ndb
