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

/// The records of `bytes`; a record that runs past the end is a test failure for the caller
/// (it comes back shorter than its length field says, and `complete` is false).
inline std::vector<BiffRecord> splitRecords(std::string_view bytes, bool* complete = nullptr) {
    std::vector<BiffRecord> records;
    std::size_t at = 0;
    bool whole = true;
    while (at + 4 <= bytes.size()) {
        const auto id = support::readLe16(bytes, at);
        const auto length = support::readLe16(bytes, at + 2);
        if (at + 4 + length > bytes.size()) {
            whole = false;
        }
        records.push_back({id, std::string(bytes.substr(at + 4, length))});
        at += 4U + length;
    }
    if (complete != nullptr) {
        *complete = whole && at == bytes.size();
    }
    return records;
}

/// A LABEL record's fields.
struct LabelCell {
    std::uint16_t row = 0;
    std::uint16_t column = 0;
    std::uint8_t attribute1 = 0;
    std::uint8_t attribute2 = 0;
    std::uint8_t attribute3 = 0;
    std::string text;
};

inline LabelCell readLabel(const BiffRecord& record) {
    const std::string_view body = record.body;
    LabelCell cell;
    cell.row = support::readLe16(body, 0);
    cell.column = support::readLe16(body, 2);
    cell.attribute1 = static_cast<std::uint8_t>(body[4]);
    cell.attribute2 = static_cast<std::uint8_t>(body[5]);
    cell.attribute3 = static_cast<std::uint8_t>(body[6]);
    cell.text = std::string(body.substr(8, static_cast<std::uint8_t>(body[7])));
    return cell;
}

/// Bytes from a list of values, for spelling out expected records.
inline std::string bytesOf(std::initializer_list<int> values) {
    std::string out;
    for (const int value : values) {
        out.push_back(static_cast<char>(value));
    }
    return out;
}

} // namespace plumbrae::testing
