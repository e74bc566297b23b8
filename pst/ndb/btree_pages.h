#pragma once

#include "pst/ndb/disk_format.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace plumbrae::pst::ndb {

/// The pages of one of the file's two B-trees (nodes or blocks) across commits.
///
/// Entries stay in the key ranges the pages had at the last commit, so that pages whose range
/// did not change are kept as they are; a range that outgrew one page is split, one left with
/// no entries goes. A commit lays out again only the ranges a changed key falls into, level by
/// level: a tree that grows at its end and changes in a few places costs what changed, not
/// what it holds.
class BTreePages {
public:
    /// Appends the leaf entries of the keys from `first` up to `end` (exclusive) to `out`.
    using EntriesIn = std::function<void(std::uint64_t first, std::uint64_t end, std::string& out)>;
    /// Writes a page of `count` entries into new space and returns where it went.
    using WritePage =
        std::function<BlockRef(std::string_view entries, std::size_t count, std::size_t entrySize,
                               std::size_t maxEntries, std::uint8_t level)>;
    /// Gives back a page that no longer belongs to the tree.
    using ReleasePage = std::function<void(const BlockRef& page)>;

    static constexpr std::uint64_t NoKey = std::numeric_limits<std::uint64_t>::max();

    BTreePages(std::size_t leafSize, std::size_t leafMax)
        : m_leafSize(leafSize), m_leafMax(leafMax) {}

    /// Lays the tree out again where the leaf entries of `changed` keys (added, changed or
    /// removed since the last update, in any order) fall, and returns the root page.
    BlockRef update(const std::vector<std::uint64_t>& changed, const EntriesIn& leafEntries,
                    const WritePage& write, const ReleasePage& release);

private:
    struct Page {
        std::uint64_t firstKey = 0;
        std::string entries;
        BlockRef ref{};
    };
    using Level = std::vector<Page>;

    /// A level laid out whole, for the first time.
    static Level layOut(std::string_view entries, std::size_t entrySize, std::size_t maxEntries,
                        std::uint8_t level, const WritePage& write);
    /// The ranges of `pages` that hold a changed key laid out again; returns the first keys of
    /// the pages written and released, which the level above lists.
    static std::vector<std::uint64_t> updateLevel(Level& pages, std::vector<std::uint64_t> changed,
                                                  std::size_t entrySize, std::size_t maxEntries,
                                                  std::uint8_t level, const EntriesIn& entriesIn,
                                                  const WritePage& write,
                                                  const ReleasePage& release);

    std::size_t m_leafSize;
    std::size_t m_leafMax;
    std::vector<Level> m_levels; // leaves first
};

} // namespace plumbrae::pst::ndb
