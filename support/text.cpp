#include "support/text.h"

#include <array>

namespace plumbrae::support {

std::string_view trimSpaces(std::string_view text) {
    std::size_t first = 0;
    while (first < text.size() && text[first] == ' ') {
        ++first;
    }
    std::size_t end = text.size();
    while (end > first && text[end - 1] == ' ') {
        --end;
    }
    return text.substr(first, end - first);
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string decimal(std::int64_t value) {
    return std::to_string(value);
}

std::int32_t decodeUtf8(std::string_view text, std::size_t pos, std::size_t& length) {
    length = 1;
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        return lead;
    }
    std::size_t need = 0;
    std::uint32_t cp = 0;
    std::uint32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        cp = lead & 0x1FU;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        cp = lead & 0x0FU;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        cp = lead & 0x07U;
        min = 0x10000;
    } else {
        return -1;
    }
    if (pos + need >= text.size()) {
        return -1;
    }
    for (std::size_t i = 1; i <= need; ++i) {
        const auto cont = static_cast<unsigned char>(text[pos + i]);
        if ((cont & 0xC0U) != 0x80U) {
            return -1;
        }
        cp = (cp << 6U) | (cont & 0x3FU);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return -1;
    }
    length = need + 1;
    return static_cast<std::int32_t>(cp);
}

void appendUtf8(std::string& out, char32_t codePoint) {
    const auto cp = static_cast<std::uint32_t>(codePoint);
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0U | (cp >> 6U)));
        out.push_back(static_cast<char>(0x80U | (cp & 0x3FU)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0U | (cp >> 12U)));
        out.push_back(static_cast<char>(0x80U | ((cp >> 6U) & 0x3FU)));
        out.push_back(static_cast<char>(0x80U | (cp & 0x3FU)));
    } else {
        out.push_back(static_cast<char>(0xF0U | (cp >> 18U)));
        out.push_back(static_cast<char>(0x80U | ((cp >> 12U) & 0x3FU)));
        out.push_back(static_cast<char>(0x80U | ((cp >> 6U) & 0x3FU)));
        out.push_back(static_cast<char>(0x80U | (cp & 0x3FU)));
    }
}

namespace {

// Windows-1252 for 0x80..0x9F; the five undefined bytes map to the C1 control of that number.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

char32_t decodeUtf8Lenient(std::string_view text, std::size_t pos, std::size_t& length) {
    const std::int32_t cp = decodeUtf8(text, pos, length);
    if (cp >= 0) {
        return static_cast<char32_t>(cp);
    }
    const auto byte = static_cast<unsigned char>(text[pos]);
    return byte >= 0x80 && byte <= 0x9F ? Cp1252High[byte - 0x80U] : char32_t{byte};
}

std::string toValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendValidUtf8(out, text);
    return out;
}

void appendValidUtf8(std::string& out, std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        // The valid run from here goes across in one append.
        std::size_t end = pos;
        std::size_t length = 1;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) < 0x80 ||
                                     decodeUtf8(text, end, length) >= 0)) {
            end += static_cast<unsigned char>(text[end]) < 0x80 ? 1 : length;
        }
        out.append(text.data() + pos, end - pos);
        if (end == text.size()) {
            break;
        }
        appendUtf8(out, decodeUtf8Lenient(text, end, length));
        pos = end + length;
    }
}

std::u16string toUtf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t length = 0;
        const char32_t cp = decodeUtf8Lenient(bytes, pos, length);
        if (cp >= 0x10000) {
            const auto v = static_cast<std::uint32_t>(cp) - 0x10000U;
            out.push_back(static_cast<char16_t>(0xD800U + (v >> 10U)));
            out.push_back(static_cast<char16_t>(0xDC00U + (v & 0x3FFU)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        pos += length;
    }
    return out;
}

std::string fromUtf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            const char32_t cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10U) +
                                (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            appendUtf8(out, cp);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

} // namespace plumbrae::support
