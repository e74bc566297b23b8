#include "pst/ndb/space_map.h"

#include "pst/ndb/output_file.h"

#include <stdexcept>

namespace plumbrae::pst::ndb {
namespace {

// Beyond this the file would need free page maps; a contacts file never comes close.
constexpr std::uint64_t LargestFile = 0x7C000000;

constexpr std::uint64_t alignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

} // namespace

std::uint64_t SpaceMap::reservedAtRangeStart(std::size_t range) {
    std::uint64_t bytes = PageSize; // the allocation map itself
    if (range % PageMapEvery == 0) {
        bytes += PageSize;
    }
    if (hasFreeMap(range)) {
        bytes += PageSize;
    }
    return bytes;
}

std::uint64_t SpaceMap::fileSize() const {
    return allocationMapOffset(m_maps.size());
}

void SpaceMap::clearChanges() {
    std::fill(m_changed.begin(), m_changed.end(), false);
    m_committedRanges = m_maps.size();
    for (const auto& [offset, bytes] : m_released) {
        mark(offset, bytes, false);
        addFreeRun(offset, bytes);
        m_freeBytes += bytes;
    }
    m_released.clear();
}

void SpaceMap::openRange() {
    const auto range = m_maps.size();
    const auto start = allocationMapOffset(range);
    if (start + AllocationMapRange > LargestFile) {
        throw PstIoError("the file would grow beyond 1.9 GB, more than a personal folders file "
                         "of this kind can hold");
    }
    m_maps.emplace_back();
    m_maps.back().fill(0);
    m_changed.push_back(true);
    const auto reserved = reservedAtRangeStart(range);
    mark(start, reserved, true);
    addFreeRun(start + reserved, AllocationMapRange - reserved);
    m_freeBytes += AllocationMapRange - reserved;
}

void SpaceMap::mark(std::uint64_t offset, std::uint64_t bytes, bool used) {
    const auto range =
        static_cast<std::size_t>((offset - FirstAllocationMapOffset) / AllocationMapRange);
    const auto first = (offset - allocationMapOffset(range)) / UnitSize;
    auto& map = m_maps[range];
    for (auto unit = first; unit < first + bytes / UnitSize; ++unit) {
        const auto bit = static_cast<std::uint8_t>(0x80U >> (unit % 8));
        auto& byte = map[static_cast<std::size_t>(unit / 8)];
        byte = static_cast<std::uint8_t>(used ? (byte | bit) : (byte & ~bit));
    }
    m_changed[range] = true;
}

void SpaceMap::insertRun(std::uint64_t offset, std::uint64_t bytes) {
    m_free.emplace(offset, bytes);
    m_bySize.emplace(bytes, offset);
}

void SpaceMap::eraseRun(std::map<std::uint64_t, std::uint64_t>::iterator run) {
    m_bySize.erase({run->second, run->first});
    m_free.erase(run);
}

void SpaceMap::addFreeRun(std::uint64_t offset, std::uint64_t bytes) {
    if (bytes == 0) {
        return;
    }
    auto next = m_free.lower_bound(offset);
    if (next != m_free.end() && offset + bytes == next->first) {
        bytes += next->second;
        auto following = std::next(next);
        eraseRun(next);
        next = following;
    }
    if (next != m_free.begin()) {
        auto previous = std::prev(next);
        if (previous->first + previous->second == offset) {
            offset = previous->first;
            bytes += previous->second;
            eraseRun(previous);
        }
    }
    insertRun(offset, bytes);
}

std::uint64_t SpaceMap::allocate(std::uint64_t bytes, std::uint64_t alignment) {
    for (;;) {
        // The smallest free run that holds the allocation (blocks and pages are small, so the
        // runs tried before one fits are few).
        for (auto candidate = m_bySize.lower_bound({bytes, 0}); candidate != m_bySize.end();
             ++candidate) {
            const auto [length, start] = *candidate;
            const auto end = start + length;
            const auto offset = alignUp(start, alignment);
            if (offset + bytes > end) {
                continue;
            }
            eraseRun(m_free.find(start));
            addFreeRun(start, offset - start);
            addFreeRun(offset + bytes, end - offset - bytes);
            mark(offset, bytes, true);
            m_freeBytes -= bytes;
            return offset;
        }
        openRange();
    }
}

void SpaceMap::release(std::uint64_t offset, std::uint64_t bytes) {
    m_released.emplace_back(offset, bytes);
}

} // namespace plumbrae::pst::ndb
