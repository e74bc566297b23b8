#include "pst/ndb/btree_pages.h"

#include "support/le_writer.h"

#include <algorithm>
#include <iterator>

namespace plumbrae::pst::ndb {
namespace {

constexpr std::size_t BranchMax = BTreeEntryBytes / sizeof(BTreeBranchEntry);

} // namespace

BTreePages::Level BTreePages::layOut(std::string_view entries, std::size_t entrySize,
                                     std::size_t maxEntries, std::uint8_t level,
                                     const WritePage& write) {
    const auto count = entries.size() / entrySize;
    Level out;
    for (std::size_t first = 0; first < count || first == 0; first += maxEntries) {
        const auto inPage = std::min(maxEntries, count - first);
        Page page;
        page.firstKey = inPage == 0 ? 0 : support::readLe64(entries, first * entrySize);
        page.entries = entries.substr(first * entrySize, inPage * entrySize);
        page.ref = write(page.entries, inPage, entrySize, maxEntries, level);
        out.push_back(std::move(page));
        if (inPage == 0) {
            break; // an empty tree still has its root page
        }
    }
    return out;
}

std::vector<std::uint64_t> BTreePages::updateLevel(Level& pages, std::vector<std::uint64_t> changed,
                                                   std::size_t entrySize, std::size_t maxEntries,
                                                   std::uint8_t level, const EntriesIn& entriesIn,
                                                   const WritePage& write,
                                                   const ReleasePage& release) {
    // The pages whose key range holds a changed key; a key before the first page's belongs to
    // the first page.
    std::vector<std::size_t> dirty;
    dirty.reserve(changed.size());
    for (const auto key : changed) {
        const auto after = std::upper_bound(
            pages.begin(), pages.end(), key,
            [](std::uint64_t wanted, const Page& page) { return wanted < page.firstKey; });
        dirty.push_back(
            after == pages.begin() ? 0 : static_cast<std::size_t>(after - pages.begin() - 1));
    }
    std::sort(dirty.begin(), dirty.end());
    dirty.erase(std::unique(dirty.begin(), dirty.end()), dirty.end());
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges; // [first, end) of each
    ranges.reserve(dirty.size());
    for (const auto index : dirty) {
        ranges.emplace_back(index == 0 ? 0 : pages[index].firstKey,
                            index + 1 < pages.size() ? pages[index + 1].firstKey : NoKey);
    }
    // New pages are written in key order, as a whole level is; they replace the old ones
    // afterwards, from the last range back, so that the indexes of the ranges stay valid.
    changed.clear();
    std::vector<Level> replacements(dirty.size());
    std::string entries;
    for (std::size_t i = 0; i < dirty.size(); ++i) {
        auto& old = pages[dirty[i]];
        bool kept = false;
        entries.clear();
        entriesIn(ranges[i].first, ranges[i].second, entries);
        const auto count = entries.size() / entrySize;
        for (std::size_t first = 0; first < count; first += maxEntries) {
            const auto inPage = std::min(maxEntries, count - first);
            Page page;
            page.firstKey = support::readLe64(entries, first * entrySize);
            const auto pageEntries =
                std::string_view(entries).substr(first * entrySize, inPage * entrySize);
            if (!kept && old.firstKey == page.firstKey && old.entries == pageEntries) {
                page.entries = std::move(old.entries);
                page.ref = old.ref;
                kept = true;
            } else {
                page.entries = pageEntries;
                page.ref = write(page.entries, inPage, entrySize, maxEntries, level);
                changed.push_back(page.firstKey);
            }
            replacements[i].push_back(std::move(page));
        }
        if (!kept) {
            release(old.ref);
            changed.push_back(old.firstKey);
        }
    }
    for (std::size_t i = dirty.size(); i-- > 0;) {
        auto& with = replacements[i];
        const auto at = pages.begin() + static_cast<std::ptrdiff_t>(dirty[i]);
        if (with.empty()) {
            pages.erase(at);
            continue;
        }
        *at = std::move(with.front());
        pages.insert(std::next(at), std::make_move_iterator(std::next(with.begin())),
                     std::make_move_iterator(with.end()));
    }
    return changed;
}

BlockRef BTreePages::update(const std::vector<std::uint64_t>& changed, const EntriesIn& leafEntries,
                            const WritePage& write, const ReleasePage& release) {
    std::vector<std::uint64_t> changedHere = changed;
    for (std::uint8_t level = 0;; ++level) {
        const auto entrySize = level == 0 ? m_leafSize : sizeof(BTreeBranchEntry);
        const auto maxEntries = level == 0 ? m_leafMax : BranchMax;
        const EntriesIn branchEntries = [this, level](std::uint64_t first, std::uint64_t end,
                                                      std::string& out) {
            const auto& below = m_levels[level - 1U];
            auto page = std::lower_bound(
                below.begin(), below.end(), first,
                [](const Page& p, std::uint64_t wanted) { return p.firstKey < wanted; });
            for (; page != below.end() && page->firstKey < end; ++page) {
                appendRecord(out, BTreeBranchEntry{page->firstKey, page->ref});
            }
        };
        const auto& entriesIn = level == 0 ? leafEntries : branchEntries;
        if (level == m_levels.size()) {
            std::string entries;
            entriesIn(0, NoKey, entries);
            auto laid = layOut(entries, entrySize, maxEntries, level, write);
            m_levels.push_back(std::move(laid));
        } else {
            changedHere = updateLevel(m_levels[level], std::move(changedHere), entrySize,
                                      maxEntries, level, entriesIn, write, release);
            if (m_levels[level].empty()) {
                m_levels[level] = layOut({}, entrySize, maxEntries, level, write);
            }
        }
        if (m_levels[level].size() == 1) {
            for (std::size_t above = level + 1U; above < m_levels.size(); ++above) {
                for (const auto& page : m_levels[above]) {
                    release(page.ref);
                }
            }
            m_levels.resize(level + 1U);
            return m_levels.back().front().ref;
        }
    }
}

} // namespace plumbrae::pst::ndb
