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
inline std::vector<BiffRecord> splitRecords(std::string_view bytes, bool* complete = nullptr) {
    std::vector<BiffRecord> records;
    std::size_t at = 0;
    while (at + 4 <= bytes.size()) {
        const auto length = support::readLe16(bytes, at + 2);
        records.push_back(
            {support::readLe16(bytes, at), std::string(bytes.substr(at + 4, length))});
        at += 4U + length;
    }
    if (complete != nullptr) {
        *complete = at == bytes.size();
    }
    return records;
}

/// A LABEL record's cell and text.
struct LabelCell {
    std::uint16_t row = 0;
    std::uint16_t column = 0;
    std::string text;
};

inline LabelCell readLabel(const BiffRecord& record) {
    const std::string_view body = record.body;
    return {support::readLe16(body, 0), support::readLe16(body, 2),
            std::string(body.substr(8, static_cast<std::uint8_t>(body[7])))};
}

} // namespace plumbrae::testing
