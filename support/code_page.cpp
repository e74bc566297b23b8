#include "support/code_page.h"

#include "support/text.h"

namespace plumbrae::support {

void CodePageChooser::add(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
            continue;
        }
        std::size_t length = 0;
        ++m_counts[decodeUtf8Lenient(text, pos, length)];
        pos += length;
    }
}

std::uint16_t CodePageChooser::best() const {
    std::array<std::size_t, WindowsAnsiCodePages.size()> held{};
    std::string scratch;
    for (const auto& [character, count] : m_counts) {
        for (std::size_t page = 0; page < WindowsAnsiCodePages.size(); ++page) {
            scratch.clear();
            if (encodeCharacter(WindowsAnsiCodePages[page], character, scratch)) {
                held[page] += count;
            }
        }
    }
    std::size_t winner = 0;
    for (std::size_t page = 1; page < held.size(); ++page) {
        if (held[page] > held[winner]) {
            winner = page;
        }
    }
    return WindowsAnsiCodePages[winner];
}

const CodePageEncoder::Encoded& CodePageEncoder::lookUp(char32_t character) {
    const auto found = m_cache.find(character);
    if (found != m_cache.end()) {
        return found->second;
    }
    Encoded encoded;
    std::string bytes;
    if (encodeCharacter(m_codePage, character, bytes) && !bytes.empty() &&
        bytes.size() <= encoded.bytes.size()) {
        bytes.copy(encoded.bytes.data(), bytes.size());
        encoded.length = static_cast<std::uint8_t>(bytes.size());
    }
    return m_cache.emplace(character, encoded).first->second;
}

std::size_t CodePageEncoder::append(std::string_view text, std::string& out) {
    std::size_t replaced = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        // Runs of ASCII go across as they are.
        std::size_t end = pos;
        while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80) {
            ++end;
        }
        if (end > pos) {
            out.append(text.substr(pos, end - pos));
            pos = end;
            continue;
        }
        std::size_t length = 0;
        const Encoded& encoded = lookUp(decodeUtf8Lenient(text, pos, length));
        if (encoded.length == 0) {
            out.push_back('?');
            ++replaced;
        } else {
            out.append(encoded.bytes.data(), encoded.length);
        }
        pos += length;
    }
    return replaced;
}

} // namespace plumbrae::support
