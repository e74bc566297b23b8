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
    // One look at every byte decides: a plain ASCII value goes across as it is.
    bool ascii = true;
    bool quoted = false;
    for (const char c : value) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        quoted = quoted || c == ',' || c == '"' || c == '\r' || c == '\n';
    }
    if (!quoted) {
        if (ascii) {
            out.append(value);
        } else {
            support::appendValidUtf8(out, value);
        }
        return;
    }
    // A double quote is never part of a longer UTF-8 sequence, so the pieces between them are
    // made valid on their own, each exactly as the whole value would be.
    out.push_back('"');
    std::size_t pos = 0;
    for (;;) {
        const auto quote = value.find('"', pos);
        support::appendValidUtf8(out, value.substr(pos, quote - pos));
        if (quote == std::string_view::npos) {
            break;
        }
        out.append("\"\"");
        pos = quote + 1;
    }
    out.push_back('"');
}

template <typename Text> void CsvFile::writeFields(std::span<const Text> fields) {
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

void CsvFile::writeRow(std::span<const std::string> fields) {
    writeFields(fields);
}

void CsvFile::writeRow(std::span<const std::string_view> fields) {
    writeFields(fields);
}

} // namespace plumbrae::writers
