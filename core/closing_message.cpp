#include "core/closing_message.h"

namespace plumbrae::core {
namespace {

constexpr const char* Ellipsis = "\xE2\x80\xA6";

bool isContinuationByte(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0U) == 0x80U;
}

/// Characters (UTF-8 sequences; any other byte counts as one) in `text`.
std::size_t characterCount(const std::string& text) {
    std::size_t count = 0;
    for (const char byte : text) {
        count += isContinuationByte(byte) ? 0U : 1U;
    }
    return count;
}

/// The byte offset where character number `characters` begins.
std::size_t offsetOf(const std::string& text, std::size_t characters) {
    std::size_t pos = 0;
    for (std::size_t seen = 0; pos < text.size(); ++pos) {
        if (!isContinuationByte(text[pos]) && seen++ == characters) {
            break;
        }
    }
    return pos;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        if (!text.empty()) {
            text.append("\r\n");
        }
        text.append(line);
    }
    return text;
}

} // namespace

std::string elideMiddle(const std::string& text, std::size_t length) {
    const std::size_t count = characterCount(text);
    if (count <= length || length < 3) {
        return text;
    }
    const std::size_t kept = length - 1;
    const std::size_t head = offsetOf(text, (kept + 1) / 2);
    const std::size_t tail = offsetOf(text, count - kept / 2);
    return text.substr(0, head) + Ellipsis + text.substr(tail);
}

void ClosingMessage::add(std::string line) {
    if (const auto end = line.find("\r\n"); end != std::string::npos) {
        add(line.substr(0, end));
        add(line.substr(end + 2));
        return;
    }
    const std::string shown = elideMiddle(line, LineLengthInBox);
    m_shortened = m_shortened || shown.size() != line.size();
    m_box.push_back(shown);
    m_whole.push_back(std::move(line));
}

void ClosingMessage::add(const MessageList& list) {
    add(list.heading);
    const auto& entries = list.entries;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        m_whole.push_back(entries[i]);
        if (i < EntriesInBox) {
            const std::string& entry =
                i < list.shortEntries.size() ? list.shortEntries[i] : entries[i];
            const std::string shown = elideMiddle(entry, EntryLengthInBox);
            m_shortened = m_shortened || shown != entries[i];
            m_box.push_back(shown);
        }
    }
    if (entries.size() > EntriesInBox) {
        m_shortened = true;
        m_box.push_back("and " + std::to_string(entries.size() - EntriesInBox) +
                        " more (every one under Show Details)");
    }
}

Message ClosingMessage::message(std::string caption, MessageIcon icon) const {
    Message message{std::move(caption), joinLines(m_box), icon};
    if (m_shortened) {
        message.details = joinLines(m_whole);
    }
    return message;
}

} // namespace plumbrae::core
