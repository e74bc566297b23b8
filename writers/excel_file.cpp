#include "writers/excel_file.h"

#include "support/atomic_file_sink.h"
#include "support/file_path.h"
#include "support/le_writer.h"
#include "support/text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace plumbrae::writers {

namespace {

// Record identifiers of the BIFF2 records this writer produces.
constexpr std::uint16_t RecordBof = 0x0009;
constexpr std::uint16_t RecordEof = 0x000A;
constexpr std::uint16_t RecordFormatCount = 0x001F;
constexpr std::uint16_t RecordFormat = 0x001E;
constexpr std::uint16_t RecordFont = 0x0031;
constexpr std::uint16_t RecordHeader = 0x0014;
constexpr std::uint16_t RecordFooter = 0x0015;
constexpr std::uint16_t RecordInteger = 0x0002;
constexpr std::uint16_t RecordNumber = 0x0003;
constexpr std::uint16_t RecordLabel = 0x0004;
constexpr std::uint16_t RecordColWidth = 0x0024;
constexpr std::uint16_t RecordDefaultRowHeight = 0x0025;
constexpr std::uint16_t RecordRow = 0x0008;
constexpr std::uint16_t RecordPrintGridLines = 0x002B;
constexpr std::uint16_t RecordProtect = 0x0012;
constexpr std::uint16_t RecordFilePass = 0x002F;
constexpr std::uint16_t RecordPageBreaks = 0x001B;
constexpr std::uint16_t RecordCodePage = 0x0042;
constexpr std::uint16_t RecordXf = 0x0043;

constexpr std::uint16_t BiffVersion = 2;
// Document type "worksheet". (0x000A is not a BIFF2 document type; readers refuse it.)
constexpr std::uint16_t DocumentWorksheet = 0x0010;
// FORMATCOUNT holds the highest format index, not the number of FORMAT records.
constexpr std::uint16_t HighestFormatIndex = 23;

constexpr std::size_t MaxTextLength = 255;
constexpr std::int64_t MaxRowOrColumn = 65536;
// The page-break record's length (2k + 2) must fit its 16-bit field.
constexpr std::size_t MaxPageBreaks = 32766;
constexpr std::int32_t TwipsPerPoint = 20;
constexpr std::int32_t WidthUnitsPerCharacter = 256;

constexpr std::size_t CellHeadLength = 7; // row, column, three attribute bytes
constexpr std::uint16_t ColumnsInRow = 256;

bool fitsByte(std::int64_t value) {
    return value >= 0 && value <= 255;
}

bool fitsInt16(std::int64_t value) {
    return value >= std::numeric_limits<std::int16_t>::min() &&
           value <= std::numeric_limits<std::int16_t>::max();
}

bool validRowOrColumn(std::int64_t oneBased) {
    return oneBased >= 1 && oneBased <= MaxRowOrColumn;
}

/// The record head; the caller appends exactly `bodyLength` bytes of body.
support::LeWriter startRecord(std::string& buffer, std::uint16_t id, std::size_t bodyLength) {
    buffer.reserve(4 + bodyLength);
    support::LeWriter out(buffer);
    out.u16(id).u16(static_cast<std::uint16_t>(bodyLength));
    return out;
}

/// A record whose body is one length byte and the text.
std::string shortTextRecord(std::uint16_t id, std::string_view text) {
    std::string record;
    startRecord(record, id, text.size() + 1).u8(static_cast<std::uint8_t>(text.size())).bytes(text);
    return record;
}

std::string flagRecord(std::uint16_t id, bool on) {
    std::string record;
    startRecord(record, id, 2).u16(on ? 1 : 0);
    return record;
}

/// Outcome of turning a cell value into a number: the number, or the error code.
struct Converted {
    double number = 0.0;
    std::int16_t error = ExcelFile::NoError;
};

/// Text as a number: optional spaces around an optional sign and a decimal number.
Converted parseNumber(std::string_view text) {
    text = support::trimSpaces(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    double number = 0.0;
    const auto* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (error == std::errc::result_out_of_range) {
        return {0.0, ExcelFile::ValueDoesNotFit};
    }
    if (text.empty() || error != std::errc{} || stop != end || !std::isfinite(number)) {
        return {0.0, ExcelFile::CannotConvert};
    }
    return {number, ExcelFile::NoError};
}

Converted toNumber(const CellValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        return parseNumber(*text);
    }
    if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        return {static_cast<double>(*integer), ExcelFile::NoError};
    }
    const double number = std::get<double>(value);
    // A spreadsheet cell has no place for infinities or NaN.
    if (!std::isfinite(number)) {
        return {0.0, ExcelFile::ValueDoesNotFit};
    }
    return {number, ExcelFile::NoError};
}

std::string toText(const CellValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        return *text;
    }
    if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        return support::decimal(*integer);
    }
    std::array<char, 32> digits{};
    const auto result =
        std::to_chars(digits.data(), digits.data() + digits.size(), std::get<double>(value));
    return {digits.data(), result.ptr};
}

/// The part of a cell record after its attributes, and the record it goes in.
struct CellPayload {
    std::int16_t error = ExcelFile::NoError;
    std::string message;
    std::uint16_t id = 0;
    std::string bytes;
    /// Characters of a text that became "?".
    std::size_t replaced = 0;
};

CellPayload cellPayload(std::int32_t valueType, const CellValue& value,
                        support::CodePageEncoder& encoder) {
    CellPayload payload;
    if (valueType == ExcelFile::TextCell) {
        // The length byte goes first; it is filled in once the converted length is known.
        payload.bytes.push_back('\0');
        payload.replaced = encoder.append(toText(value), payload.bytes);
        const std::size_t length = payload.bytes.size() - 1;
        if (length > MaxTextLength) {
            payload.error = ExcelFile::ValueDoesNotFit;
            payload.message = "a text of " + support::decimal(static_cast<std::int64_t>(length)) +
                              " characters does not fit a cell (at most 255)";
            return payload;
        }
        payload.id = RecordLabel;
        payload.bytes[0] = static_cast<char>(length);
        return payload;
    }
    const Converted number = toNumber(value);
    if (number.error != ExcelFile::NoError) {
        payload.error = number.error;
        payload.message = "the value is not a number that fits the cell";
        return payload;
    }
    if (valueType == ExcelFile::NumberCell) {
        payload.id = RecordNumber;
        support::LeWriter(payload.bytes).f64(number.number);
        return payload;
    }
    // The default rounding mode rounds halves to the even neighbour.
    const double rounded = std::nearbyint(number.number);
    if (!(rounded >= std::numeric_limits<std::int16_t>::min() &&
          rounded <= std::numeric_limits<std::int16_t>::max())) {
        payload.error = ExcelFile::ValueDoesNotFit;
        payload.message = "the number does not fit a 16-bit integer cell";
        return payload;
    }
    payload.id = RecordInteger;
    support::LeWriter(payload.bytes).i16(static_cast<std::int16_t>(rounded));
    return payload;
}

} // namespace

const std::vector<std::string_view>& ExcelFile::defaultFormats() {
    static const std::vector<std::string_view> formats = {
        "General",
        "0",
        "0.00",
        "#,##0",
        "#,##0.00",
        R"(#,##0\ "$";\-#,##0\ "$")",
        R"(#,##0\ "$";[Red]\-#,##0\ "$")",
        R"(#,##0.00\ "$";\-#,##0.00\ "$")",
        R"(#,##0.00\ "$";[Red]\-#,##0.00\ "$")",
        "0%",
        "0.00%",
        "0.00E+00",
        "dd/mm/yy",
        R"(dd/\ mmm\ yy)",
        R"(dd/\ mmm)",
        R"(mmm\ yy)",
        R"(h:mm\ AM/PM)",
        R"(h:mm:ss\ AM/PM)",
        "hh:mm",
        "hh:mm:ss",
        R"(dd/mm/yy\ hh:mm)",
        "##0.0E+0",
        "mm:ss",
        "@",
    };
    return formats;
}

ExcelFile::ExcelFile() = default;

ExcelFile::~ExcelFile() = default;

std::int16_t ExcelFile::fail(std::int16_t code, std::string message) {
    m_lastError = std::move(message);
    return code;
}

std::int16_t ExcelFile::notOpen() {
    const std::string name = m_fileName.empty() ? std::string("the worksheet") : m_fileName;
    return fail(FileNotOpen, "cannot write " + name + ": the file is not open");
}

bool ExcelFile::convertShort(std::string_view text, std::string& out) {
    out.clear();
    m_encoder.append(text, out);
    return out.size() <= MaxTextLength;
}

std::int16_t ExcelFile::put(const std::string& record) {
    if (m_sink == nullptr) {
        return notOpen();
    }
    try {
        m_sink->write(record);
    } catch (const support::SinkError& error) {
        return fail(WriteFailed, error.what());
    }
    return NoError;
}

std::int16_t ExcelFile::CreateFile(const std::string& FileName) {
    if (isOpen()) {
        CloseFile();
    }
    m_assigned = true;
    m_fileName = FileName;
    m_ownedSink.reset();
    m_pageBreaks.clear();
    // Written aside and put in place by CloseFile: until then a file of that name keeps its
    // old contents, and a failure or a kill leaves it so.
    const std::filesystem::path path = support::pathFromUtf8(FileName);
    try {
        m_ownedSink = std::make_unique<support::AtomicFileSink>(path, true);
    } catch (const support::SinkError& failure) {
        fail(FileNotOpen, failure.what());
        return NoError;
    }
    if (startFile(*m_ownedSink) != NoError) {
        m_ownedSink.reset();
    }
    return NoError;
}

void ExcelFile::DiscardFile() noexcept {
    m_sink = nullptr;
    m_ownedSink.reset();
}

std::int16_t ExcelFile::CreateFile(support::ByteSink& sink) {
    if (isOpen()) {
        CloseFile();
    }
    m_assigned = true;
    m_fileName.clear();
    m_ownedSink.reset();
    m_pageBreaks.clear();
    startFile(sink);
    return NoError;
}

std::int16_t ExcelFile::startFile(support::ByteSink& sink) {
    m_lastError.clear();
    m_sink = &sink;
    m_substitutedCells = 0;
    std::string bof;
    startRecord(bof, RecordBof, 4).u16(BiffVersion).u16(DocumentWorksheet);
    startRecord(bof, RecordCodePage, 2).u16(m_encoder.codePage());
    try {
        m_sink->write(bof);
        WriteDefaultFormats();
    } catch (const support::SinkError& error) {
        m_sink = nullptr;
        return fail(WriteFailed, error.what());
    }
    return NoError;
}

std::int16_t ExcelFile::WriteDefaultFormats() {
    if (m_sink == nullptr) {
        notOpen();
        throw support::SinkError(m_lastError);
    }
    std::string count;
    startRecord(count, RecordFormatCount, 2).u16(HighestFormatIndex);
    m_sink->write(count);
    for (const auto format : defaultFormats()) {
        m_sink->write(shortTextRecord(RecordFormat, format));
    }
    return NoError;
}

std::int16_t ExcelFile::WriteDefaultXf() {
    if (m_sink == nullptr) {
        return notOpen();
    }
    std::string record;
    startRecord(record, RecordXf, 4)
        .u8(0)  // font 0
        .u8(0)  // unused
        .u8(0)  // format 0, not locked, not hidden
        .u8(0); // general alignment, no borders, no shading
    return put(record);
}

std::int16_t ExcelFile::CloseFile() {
    if (!m_assigned) {
        return NoError;
    }
    if (m_sink == nullptr) {
        return notOpen();
    }
    std::string tail;
    support::LeWriter out(tail);
    if (!m_pageBreaks.empty()) {
        std::sort(m_pageBreaks.begin(), m_pageBreaks.end());
        out.u16(RecordPageBreaks).u16(static_cast<std::uint16_t>(2 * m_pageBreaks.size() + 2));
        out.u16(static_cast<std::uint16_t>(m_pageBreaks.size()));
        for (const auto row : m_pageBreaks) {
            out.bytes(MKI(static_cast<std::int16_t>(row)));
        }
    }
    out.u16(RecordEof).u16(0);
    std::int16_t result = NoError;
    try {
        m_sink->write(tail);
        m_sink->close();
    } catch (const support::SinkError& error) {
        result = fail(WriteFailed, error.what());
    }
    // The object keeps referring to the closed file: later operations fail.
    m_sink = nullptr;
    m_ownedSink.reset();
    return result;
}

std::int16_t ExcelFile::InsertHorizPageBreak(std::int32_t lrow) {
    if (m_sink == nullptr) {
        return notOpen();
    }
    if (!validRowOrColumn(lrow) || m_pageBreaks.size() >= MaxPageBreaks) {
        return fail(ValueDoesNotFit, "the page break does not fit the worksheet");
    }
    m_pageBreaks.push_back(static_cast<std::uint16_t>(lrow - 1));
    return NoError;
}

std::int16_t ExcelFile::WriteValue(std::int32_t ValueType, std::int32_t CellFontUsed,
                                   std::int32_t Alignment, std::int32_t HiddenLocked,
                                   std::int32_t lrow, std::int32_t lcol, const CellValue& value,
                                   std::int32_t CellFormat) {
    if (m_sink == nullptr) {
        return notOpen();
    }
    if (!validRowOrColumn(lrow) || !validRowOrColumn(lcol)) {
        return fail(ValueDoesNotFit, "the cell's row or column is outside the worksheet");
    }
    if (ValueType != IntegerCell && ValueType != NumberCell && ValueType != TextCell) {
        return NoError;
    }
    if (ValueType == TextCell) {
        if (const auto* text = std::get_if<std::string>(&value)) {
            return WriteText(CellFontUsed, Alignment, HiddenLocked, lrow, lcol, *text, CellFormat);
        }
    }
    const CellPayload payload = cellPayload(ValueType, value, m_encoder);
    if (payload.error != NoError) {
        return fail(payload.error, payload.message);
    }
    const std::int64_t fontAndFormat = std::int64_t{CellFontUsed} + CellFormat;
    if (!fitsByte(HiddenLocked) || !fitsByte(fontAndFormat) || !fitsByte(Alignment)) {
        return fail(ValueDoesNotFit, "the cell's attributes do not fit their bytes");
    }
    std::string record;
    startRecord(record, payload.id, CellHeadLength + payload.bytes.size())
        .u16(static_cast<std::uint16_t>(lrow - 1))
        .u16(static_cast<std::uint16_t>(lcol - 1))
        .u8(static_cast<std::uint8_t>(HiddenLocked))
        .u8(static_cast<std::uint8_t>(fontAndFormat))
        .u8(static_cast<std::uint8_t>(Alignment))
        .bytes(payload.bytes);
    const std::int16_t result = put(record);
    if (result == NoError && payload.replaced > 0) {
        ++m_substitutedCells;
    }
    return result;
}

std::int16_t ExcelFile::WriteText(std::int32_t CellFontUsed, std::int32_t Alignment,
                                  std::int32_t HiddenLocked, std::int32_t lrow, std::int32_t lcol,
                                  std::string_view text, std::int32_t CellFormat) {
    if (m_sink == nullptr) {
        return notOpen();
    }
    if (!validRowOrColumn(lrow) || !validRowOrColumn(lcol)) {
        return fail(ValueDoesNotFit, "the cell's row or column is outside the worksheet");
    }
    // The head and the length byte are filled in once the converted text's length is known.
    constexpr std::size_t TextStart = 4 + CellHeadLength + 1;
    m_cell.assign(TextStart, '\0');
    const std::size_t replaced = text.empty() ? 0 : m_encoder.append(text, m_cell);
    const std::size_t length = m_cell.size() - TextStart;
    if (length > MaxTextLength) {
        return fail(ValueDoesNotFit, "a text of " +
                                         support::decimal(static_cast<std::int64_t>(length)) +
                                         " characters does not fit a cell (at most 255)");
    }
    const std::int64_t fontAndFormat = std::int64_t{CellFontUsed} + CellFormat;
    if (!fitsByte(HiddenLocked) || !fitsByte(fontAndFormat) || !fitsByte(Alignment)) {
        return fail(ValueDoesNotFit, "the cell's attributes do not fit their bytes");
    }
    const auto setU16 = [this](std::size_t at, std::int64_t value) {
        m_cell[at] = static_cast<char>(value & 0xFF);
        m_cell[at + 1] = static_cast<char>((value >> 8) & 0xFF);
    };
    setU16(0, RecordLabel);
    setU16(2, static_cast<std::int64_t>(CellHeadLength + 1 + length));
    setU16(4, lrow - 1);
    setU16(6, lcol - 1);
    m_cell[8] = static_cast<char>(HiddenLocked);
    m_cell[9] = static_cast<char>(fontAndFormat);
    m_cell[10] = static_cast<char>(Alignment);
    m_cell[11] = static_cast<char>(length);
    const std::int16_t result = put(m_cell);
    if (result == NoError && replaced > 0) {
        ++m_substitutedCells;
    }
    return result;
}

std::int16_t ExcelFile::SetMargin(std::int32_t Margin, double MarginValue) {
    if (m_sink == nullptr) {
        return notOpen();
    }
    if (!fitsInt16(Margin)) {
        return fail(ValueDoesNotFit, "the margin record identifier does not fit 16 bits");
    }
    std::string record;
    startRecord(record, static_cast<std::uint16_t>(Margin), 8).f64(MarginValue);
    return put(record);
}

std::int16_t ExcelFile::SetColumnWidth(std::uint8_t FirstColumn, std::uint8_t LastColumn,
                                       std::int16_t WidthValue) {
    if (m_sink == nullptr) {
        return notOpen();
    }
    const std::int32_t width = WidthValue * WidthUnitsPerCharacter;
    if (FirstColumn == 0 || LastColumn == 0 || !fitsInt16(width)) {
        return fail(ValueDoesNotFit, "the column width does not fit the worksheet");
    }
    std::string record;
    startRecord(record, RecordColWidth, 4)
        .u8(static_cast<std::uint8_t>(FirstColumn - 1))
        .u8(static_cast<std::uint8_t>(LastColumn - 1))
        .i16(static_cast<std::int16_t>(width));
    return put(record);
}

std::int16_t ExcelFile::SetFont(const std::string& FontName, std::int16_t FontHeight,
                                std::int32_t FontFormat) {
    if (m_sink == nullptr) {
        return notOpen();
    }
    const std::int32_t height = FontHeight * TwipsPerPoint;
    std::string name;
    if (!fitsInt16(height) || !fitsByte(FontFormat) || !convertShort(FontName, name)) {
        return fail(ValueDoesNotFit, "the font does not fit the worksheet");
    }
    std::string record;
    startRecord(record, RecordFont, name.size() + 5)
        .i16(static_cast<std::int16_t>(height))
        .u8(static_cast<std::uint8_t>(FontFormat))
        .u8(0)
        .u8(static_cast<std::uint8_t>(name.size()))
        .bytes(name);
    return put(record);
}

std::int16_t ExcelFile::SetHeader(const std::string& HeaderText) {
    if (m_sink == nullptr) {
        return notOpen();
    }
    std::string text;
    if (!convertShort(HeaderText, text)) {
        return fail(ValueDoesNotFit, "the page header is longer than 255 characters");
    }
    return put(shortTextRecord(RecordHeader, text));
}

std::int16_t ExcelFile::SetFooter(const std::string& FooterText) {
    if (m_sink == nullptr) {
        return notOpen();
    }
    std::string text;
    if (!convertShort(FooterText, text)) {
        return fail(ValueDoesNotFit, "the page footer is longer than 255 characters");
    }
    return put(shortTextRecord(RecordFooter, text));
}

std::int16_t ExcelFile::SetFilePassword(const std::string& PasswordText) {
    if (m_sink == nullptr) {
        return notOpen();
    }
    if (PasswordText.size() > std::numeric_limits<std::uint16_t>::max()) {
        return fail(ValueDoesNotFit, "the password does not fit its record");
    }
    std::string record;
    startRecord(record, RecordFilePass, PasswordText.size()).bytes(PasswordText);
    return put(record);
}

void ExcelFile::PrintGridLines(bool newvalue) {
    put(flagRecord(RecordPrintGridLines, newvalue));
}

void ExcelFile::ProtectSpreadsheet(bool newvalue) {
    put(flagRecord(RecordProtect, newvalue));
}

std::string ExcelFile::MKI(std::int16_t x) {
    std::string bytes;
    support::LeWriter(bytes).i16(x);
    return bytes;
}

std::int16_t ExcelFile::SetDefaultRowHeight(std::int16_t HeightValue) {
    if (m_sink == nullptr) {
        return notOpen();
    }
    const std::int32_t height = HeightValue * TwipsPerPoint;
    if (!fitsInt16(height)) {
        return fail(ValueDoesNotFit, "the row height does not fit the worksheet");
    }
    std::string record;
    startRecord(record, RecordDefaultRowHeight, 2).i16(static_cast<std::int16_t>(height));
    return put(record);
}

std::int16_t ExcelFile::SetRowHeight(std::int32_t lrow, std::int16_t HeightValue) {
    if (m_sink == nullptr) {
        return notOpen();
    }
    const std::int32_t height = HeightValue * TwipsPerPoint;
    if (!validRowOrColumn(lrow) || !fitsInt16(height)) {
        return fail(ValueDoesNotFit, "the row or its height does not fit the worksheet");
    }
    std::string record;
    startRecord(record, RecordRow, 16)
        .u16(static_cast<std::uint16_t>(lrow - 1))
        .u16(0)            // first column
        .u16(ColumnsInRow) // last column plus one
        .i16(static_cast<std::int16_t>(height))
        .u16(0)    // reserved
        .u8(0)     // default-attributes flag
        .u16(0)    // offset of the row's cell records
        .zeros(3); // cell attributes
    return put(record);
}

} // namespace plumbrae::writers
