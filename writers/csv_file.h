#pragma once

// A comma-separated text file as spreadsheet programs open it without asking: UTF-8 behind a
// byte-order mark (so the programs take it as UTF-8), fields separated by commas, rows ended by
// CR LF, and a field that holds a comma, a double quote or a line break enclosed in double
// quotes with each of its double quotes doubled. Values are never shortened.

#include "support/byte_sink.h"

#include <span>
#include <string>
#include <string_view>

namespace plumbrae::writers {

class CsvFile {
public:
    /// Starts the file on `sink` (kept until the object goes) with the byte-order mark.
    /// Throws support::SinkError.
    explicit CsvFile(support::ByteSink& sink);

    /// Writes one row. Bytes that are not UTF-8 are taken as Windows-1252 characters, so the
    /// file is always valid UTF-8. Throws support::SinkError.
    void writeRow(std::span<const std::string> fields);
    void writeRow(std::span<const std::string_view> fields);

    /// One field as it goes into the file.
    static void appendField(std::string& out, std::string_view value);

private:
    template <typename Text> void writeFields(std::span<const Text> fields);

    support::ByteSink& m_sink;
    std::string m_line;
};

} // namespace plumbrae::writers
