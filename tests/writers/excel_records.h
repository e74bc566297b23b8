#pragma once

// Splits a BIFF2 byte stream back into records, so tests can look at single cells.

#include "support/le_writer.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plumbrae::testing {

struct BiffRecord {
    std::uint16_t id = 0;
    std::string body;
};

/// The records of `bytes`; one that runs past the end comes back shorter than its length says,
/// and `complete` is false.
inline std::vector<BiffRecord> splitRecords(std::string_view bytes, bool& complete) {
    std::vector<BiffRecord> records;
    std::size_t at = 0;
    for (; at + 4 <= bytes.size(); at += 4U + support::readLe16(bytes, at + 2)) {
        records.push_back({support::readLe16(bytes, at),
                           std::string(bytes.substr(at + 4, support::readLe16(bytes, at + 2)))});
    }
    complete = at == bytes.size();
    return records;
}

} // namespace plumbrae::testing
