#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plumbrae::support {

/// Removes spaces (character 32 only; tabs and every other character stay) at both ends.
std::string_view trimSpaces(std::string_view text);

/// Lower-cases ASCII letters; other bytes stay as they are.
std::string asciiLower(std::string_view text);

/// Decimal digits of a number, without separators.
std::string decimal(std::int64_t value);

/// Decodes the next character of `text` at `pos` as UTF-8. Returns the code point and sets
/// `length` to the bytes it took; a byte that does not start a well-formed sequence (overlong,
/// surrogate, beyond U+10FFFF, truncated) yields -1 with `length` 1.
std::int32_t decodeUtf8(std::string_view text, std::size_t pos, std::size_t& length);

/// The next character of `text` at `pos`, read as UTF-8; a byte that is not part of valid
/// UTF-8 is the Windows-1252 character it names (the five bytes that page leaves undefined are
/// the control character of the same number), so no byte is ever lost or replaced. Sets
/// `length` to the bytes taken.
char32_t decodeUtf8Lenient(std::string_view text, std::size_t pos, std::size_t& length);

/// `text` as valid UTF-8, read as `decodeUtf8Lenient` reads it (valid UTF-8 comes back as it
/// is).
std::string toValidUtf8(std::string_view text);

/// Appends `text` as `toValidUtf8` gives it, without a copy of its own: runs of valid UTF-8
/// go across whole.
void appendValidUtf8(std::string& out, std::string_view text);

/// Appends the UTF-8 encoding of a code point (U+0000 to U+10FFFF, no surrogates).
void appendUtf8(std::string& out, char32_t codePoint);

/// Bytes as UTF-16, for formats that store text that way. The bytes are read as UTF-8, which
/// is what the contact files hold; a byte that is not part of valid UTF-8 is taken as the
/// Windows-1252 character it names (the five bytes that code page leaves undefined as the
/// control character of the same number), so no byte is ever lost or replaced.
std::u16string toUtf16(std::string_view bytes);

/// The UTF-16 text back as UTF-8 (unpaired surrogates become U+FFFD).
std::string fromUtf16(std::u16string_view text);

} // namespace plumbrae::support
