#pragma once

// A BIFF2 worksheet is a plain run of records, no file header:
//
//   record  = id (u16) | body length (u16) | body
//   file    = BOF, CODEPAGE, FORMATCOUNT, 24 x FORMAT, then whatever the caller writes
//             (FONT, XF, HEADER, FOOTER, cells, COLWIDTH, ROW, margins, ...),
//             HORIZONTALPAGEBREAKS (only when there are any), EOF
//
// Every number is little-endian. Text is stored in the Windows code page that CODEPAGE names,
// with a one-byte length in front where the record has one, so no text field holds more than
// 255 bytes (one per character in the single-byte pages, one or two in the East Asian ones).
// Callers hand text over as UTF-8; it is converted on the way out. Cells name an XF record by
// number (their first attribute byte), so a sheet whose cells use XF 0 must write one. Rows and
// columns are 0-based u16 in the file; this interface counts them from 1.

#include "support/byte_sink.h"
#include "support/code_page.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace plumbrae::writers {

/// What a cell may be given: text (UTF-8; bytes that are not UTF-8 are Windows-1252
/// characters), a floating-point number or an integer. `WriteValue` converts it to the kind its
/// value type asks for.
using CellValue = std::variant<std::string, double, std::int64_t>;

/// Streaming writer of one BIFF2 worksheet. Every operation appends its record to the open file
/// at once; nothing but the page-break list is kept in memory, so a sheet of any size costs the
/// same. Operations return 0 on success or an error code; a call that fails has written nothing,
/// because every check and conversion is done before the record goes out in one write.
class ExcelFile {
public:
    /// Error codes. `ValueDoesNotFit` is the one callers test for: a text longer than 255
    /// characters, a number outside its field, an attribute outside 0 to 255.
    static constexpr std::int16_t NoError = 0;
    static constexpr std::int16_t ValueDoesNotFit = 6;
    /// A value that cannot be turned into the kind of cell asked for (text that is no number).
    static constexpr std::int16_t CannotConvert = 13;
    /// No file is open: never created, creation failed, or already closed.
    static constexpr std::int16_t FileNotOpen = 52;
    /// The sink refused the bytes (disk full, device error); `lastError()` says why.
    static constexpr std::int16_t WriteFailed = 57;

    /// Value types of `WriteValue`.
    static constexpr std::int32_t IntegerCell = 0;
    static constexpr std::int32_t NumberCell = 1;
    static constexpr std::int32_t TextCell = 2;

    /// Identifiers of the four margin records, for `SetMargin`.
    static constexpr std::int32_t LeftMargin = 0x0026;
    static constexpr std::int32_t RightMargin = 0x0027;
    static constexpr std::int32_t TopMargin = 0x0028;
    static constexpr std::int32_t BottomMargin = 0x0029;

    /// Font attribute flags for `SetFont`.
    static constexpr std::int32_t FontBold = 1;
    static constexpr std::int32_t FontItalic = 2;
    static constexpr std::int32_t FontUnderlined = 4;
    static constexpr std::int32_t FontStruckOut = 8;

    /// The 24 number formats every file starts with, in index order.
    static const std::vector<std::string_view>& defaultFormats();

    ExcelFile();
    ~ExcelFile();
    ExcelFile(const ExcelFile&) = delete;
    ExcelFile& operator=(const ExcelFile&) = delete;

    /// The Windows code page of the files created from now on (1252 until set): named by the
    /// CODEPAGE record, and the page every text is converted to. A character the page lacks is
    /// written "?".
    void setCodePage(std::uint16_t codePage) { m_encoder = support::CodePageEncoder(codePage); }
    [[nodiscard]] std::uint16_t codePage() const { return m_encoder.codePage(); }

    /// Replaces any file of that name by a new worksheet (BOF, CODEPAGE, default formats) and
    /// empties the page-break list. Always returns 0, as callers expect; whether the file was
    /// created is told by `isOpen()`, and why not by `lastError()`. A half-written file is
    /// removed. A worksheet still open on this object is first closed properly.
    std::int16_t CreateFile(const std::string& FileName);
    /// The same on a sink the caller owns and keeps alive until `CloseFile`.
    std::int16_t CreateFile(support::ByteSink& sink);

    /// Writes the page breaks (sorted, when there are any) and EOF, then closes the file.
    /// Returns 0 when no file was ever created on this object.
    std::int16_t CloseFile();

    /// Drops an open worksheet without completing it: a file of that name keeps what it held.
    void DiscardFile() noexcept;

    /// Remembers a page break above the 1-based row `lrow`; written by `CloseFile`.
    std::int16_t InsertHorizPageBreak(std::int32_t lrow);

    /// Writes one cell at the 1-based `lrow`, `lcol`: value type 0 an INTEGER (rounded half to
    /// even), 1 a NUMBER, 2 a LABEL. Any other value type writes nothing and returns 0.
    std::int16_t WriteValue(std::int32_t ValueType, std::int32_t CellFontUsed,
                            std::int32_t Alignment, std::int32_t HiddenLocked, std::int32_t lrow,
                            std::int32_t lcol, const CellValue& value, std::int32_t CellFormat = 0);

    /// The same for a text cell (value type 2) given as bytes the caller keeps: no copy of
    /// the text is made on the way out.
    std::int16_t WriteText(std::int32_t CellFontUsed, std::int32_t Alignment,
                           std::int32_t HiddenLocked, std::int32_t lrow, std::int32_t lcol,
                           std::string_view text, std::int32_t CellFormat = 0);

    /// Writes the margin record `Margin` (one of the four margin identifiers) in inches.
    std::int16_t SetMargin(std::int32_t Margin, double MarginValue);
    /// Sets the width of 1-based columns `FirstColumn` to `LastColumn`, in characters (0..127).
    std::int16_t SetColumnWidth(std::uint8_t FirstColumn, std::uint8_t LastColumn,
                                std::int16_t WidthValue);
    /// Defines the next font: height in points, `FontFormat` a combination of the font flags.
    std::int16_t SetFont(const std::string& FontName, std::int16_t FontHeight,
                         std::int32_t FontFormat);
    std::int16_t SetHeader(const std::string& HeaderText);
    std::int16_t SetFooter(const std::string& FooterText);
    std::int16_t SetFilePassword(const std::string& PasswordText);

    /// Write-only switches; a failure is not reported (see `lastError()`).
    void PrintGridLines(bool newvalue);
    void ProtectSpreadsheet(bool newvalue);

    /// Writes the cell style XF 0: font 0, format 0 ("General"), neither locked nor hidden,
    /// general alignment. Goes after the fonts.
    std::int16_t WriteDefaultXf();

    /// Writes FORMATCOUNT and the 24 FORMAT records. Does not catch: throws support::SinkError
    /// when no file is open or the sink fails. Returns 0.
    std::int16_t WriteDefaultFormats();

    /// The two bytes of `x`, low byte first.
    static std::string MKI(std::int16_t x);

    /// Height of rows without a ROW record, in points.
    std::int16_t SetDefaultRowHeight(std::int16_t HeightValue);
    /// Height of the 1-based row `lrow`, in points.
    std::int16_t SetRowHeight(std::int32_t lrow, std::int16_t HeightValue);

    /// True between a successful `CreateFile` and `CloseFile`.
    [[nodiscard]] bool isOpen() const { return m_sink != nullptr; }
    /// The name given to `CreateFile` ("" for a caller's sink).
    [[nodiscard]] const std::string& fileName() const { return m_fileName; }
    /// Text cells of the current file in which a character became "?" (the page lacks it).
    [[nodiscard]] std::size_t substitutedCells() const { return m_substitutedCells; }
    /// Why the last failing operation failed, in words for the user (names the file and the
    /// cause for file errors); "" after a successful `CreateFile`.
    [[nodiscard]] const std::string& lastError() const { return m_lastError; }

private:
    std::int16_t startFile(support::ByteSink& sink);
    /// Writes one finished record; a sink failure becomes `WriteFailed`.
    std::int16_t put(const std::string& record);
    std::int16_t fail(std::int16_t code, std::string message);
    std::int16_t notOpen();
    /// `text` in the file's code page; false when it needs more than 255 bytes there.
    bool convertShort(std::string_view text, std::string& out);

    std::unique_ptr<support::ByteSink> m_ownedSink;
    support::ByteSink* m_sink = nullptr;
    bool m_assigned = false;
    std::string m_fileName;
    std::string m_lastError;
    /// 0-based rows, in insertion order until `CloseFile` sorts them.
    std::vector<std::uint16_t> m_pageBreaks;
    support::CodePageEncoder m_encoder{1252};
    std::size_t m_substitutedCells = 0;
    /// The text cell being built, kept so that its storage serves every cell.
    std::string m_cell;
};

} // namespace plumbrae::writers
