#include "core/contact_group.h"

namespace plumbrae::core {
namespace {

constexpr std::string_view WhiteSpace = " \t\r\n";

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(WhiteSpace);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(WhiteSpace) - first + 1);
}

/// Where the double quote opened at `open` closes (a backslash escapes the character after
/// it), or npos when it never does.
std::size_t closingQuote(std::string_view text, std::size_t open) {
    for (std::size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            return i;
        }
    }
    return std::string_view::npos;
}

/// A name without the double quotes around it (and the backslashes that escape inside them);
/// a name that is not quoted whole stays as written.
std::string unquoted(std::string_view name) {
    if (name.size() < 2 || name.front() != '"' || closingQuote(name, 0) != name.size() - 1) {
        return std::string(name);
    }
    std::string out;
    out.reserve(name.size() - 2);
    for (std::size_t i = 1; i + 1 < name.size(); ++i) {
        if (name[i] == '\\' && i + 2 < name.size()) {
            ++i;
        }
        out.push_back(name[i]);
    }
    return out;
}

/// One member's text, already trimmed and not empty. "name <address>" when it ends in an
/// address in angle brackets opened outside quotes; anything else is the address as written.
GroupMember parseMember(std::string_view text) {
    if (text.back() == '>') {
        std::size_t open = std::string_view::npos;
        for (std::size_t i = 0; i + 1 < text.size(); ++i) {
            if (text[i] == '"') {
                const auto close = closingQuote(text, i);
                i = close == std::string_view::npos ? i : close;
            } else if (text[i] == '<') {
                open = i;
            }
        }
        if (open != std::string_view::npos) {
            return {unquoted(trimmed(text.substr(0, open))),
                    std::string(trimmed(text.substr(open + 1, text.size() - open - 2)))};
        }
    }
    return {{}, unquoted(text)};
}

} // namespace

std::vector<GroupMember> parseGroupMembers(std::string_view dlist) {
    std::vector<GroupMember> members;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= dlist.size(); ++i) {
        if (i < dlist.size() && dlist[i] == '"') {
            // A quote that never closes is an ordinary character.
            const auto close = closingQuote(dlist, i);
            i = close == std::string_view::npos ? i : close;
            continue;
        }
        if (i == dlist.size() || dlist[i] == ',') {
            const auto member = trimmed(dlist.substr(start, i - start));
            if (!member.empty()) {
                members.push_back(parseMember(member));
            }
            start = i + 1;
        }
    }
    return members;
}

} // namespace plumbrae::core
