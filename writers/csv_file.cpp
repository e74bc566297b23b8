#include "writers/csv_file.h"

#include "support/text.h"

namespace plumbrae::writers {

namespace {
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view RowEnd = "\r\n";
} // namespace

CsvFile::CsvFile(support::ByteSink& sink) : m_sink(sink) {
    m_sink.write(ByteOrderMark);
}

void CsvFile::appendField(std::string& out, std::string_view value) {
    const std::string valid = support::toValidUtf8(value);
    if (valid.find_first_of(",\"\r\n") == std::string::npos) {
        out.append(valid);
        return;
    }
    out.push_back('"');
    for (const char c : valid) {
        if (c == '"') {
            out.push_back('"');
        }
        out.push_back(c);
    }
    out.push_back('"');
}

void CsvFile::writeRow(std::span<const std::string> fields) {
    m_line.clear();
    bool first = true;
    for (const auto& field : fields) {
        if (!first) {
            m_line.push_back(',');
        }
        first = false;
        appendField(m_line, field);
    }
    m_line.append(RowEnd);
    m_sink.write(m_line);
}

} // namespace plumbrae::writers
