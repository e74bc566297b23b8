#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace plumbrae::core {

/// A list that keeps its entries in insertion order, addresses them by position from 1, and files
/// each entry under a text key that is unique within the list. The folder walker hands its results
/// out in these; callers mostly read them by position, so the index from key to position is
/// built only when a key is looked up or checked.
template <class T> class OrderedList {
public:
    /// Appends `value` under `key`. A key that is already in the list is a caller's mistake (a
    /// second walk into lists that were not emptied) and throws std::invalid_argument.
    void add(std::string key, T value) {
        buildIndex();
        if (!m_index.try_emplace(key, m_values.size() + 1).second) {
            throw std::invalid_argument("the key \"" + key + "\" is already in the list");
        }
        m_keys.push_back(std::move(key));
        m_values.push_back(std::move(value));
    }
    /// Appends `value` under a key the caller knows to be new (the walker numbers its entries
    /// into lists it started empty), without checking it now.
    void addNew(std::string key, T value) {
        m_keys.push_back(std::move(key));
        m_values.push_back(std::move(value));
    }

    [[nodiscard]] std::size_t count() const { return m_values.size(); }
    [[nodiscard]] bool isEmpty() const { return m_values.empty(); }

    /// The entry at `position` (1 to count()); throws std::out_of_range outside that range.
    [[nodiscard]] const T& item(std::size_t position) const {
        return m_values.at(checkedIndex(position));
    }
    /// The key of the entry at `position` (1 to count()).
    [[nodiscard]] const std::string& keyAt(std::size_t position) const {
        return m_keys.at(checkedIndex(position));
    }
    /// The position (from 1) of the entry filed under `key`, or 0 when there is none.
    [[nodiscard]] std::size_t positionOf(const std::string& key) const {
        buildIndex();
        const auto found = m_index.find(key);
        return found == m_index.end() ? 0 : found->second;
    }

    /// All entries in order, for callers that walk the whole list.
    [[nodiscard]] const std::vector<T>& values() const { return m_values; }

private:
    [[nodiscard]] static std::size_t checkedIndex(std::size_t position) {
        if (position == 0) {
            throw std::out_of_range("list positions start at 1");
        }
        return position - 1;
    }

    /// Brings the index up to the entries added since it was last used.
    void buildIndex() const {
        for (auto i = m_index.size(); i < m_keys.size(); ++i) {
            if (!m_index.try_emplace(m_keys[i], i + 1).second) {
                throw std::logic_error("the key \"" + m_keys[i] + "\" is in the list twice");
            }
        }
    }

    std::vector<T> m_values;
    std::vector<std::string> m_keys;
    mutable std::unordered_map<std::string, std::size_t> m_index;
};

} // namespace plumbrae::core
