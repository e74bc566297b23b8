#include "core/path_text.h"

#include "support/file_path.h"
#include "support/text.h"

namespace plumbrae::core {

std::string queuedFilePath(std::string_view rowText) {
#ifdef _WIN32
    return std::string(support::trimSpaces(rowText));
#else
    return std::string(rowText);
#endif
}

std::string GetParentPath(std::string_view path) {
    const auto last = path.find_last_of("/\\");
    if (last == std::string_view::npos) {
        return {};
    }
    return std::string(path.substr(0, last + 1));
}

bool isContactFileName(std::string_view path) {
    static constexpr std::string_view Extension = ".meta";
    const auto name = support::trimSpaces(path);
    return name.size() >= Extension.size() &&
           support::asciiLower(name.substr(name.size() - Extension.size())) == Extension;
}

std::string withTrailingSeparator(std::string_view folder) {
    std::string out(folder);
    if (out.empty() || (out.back() != PathSeparator && out.back() != '\\')) {
        out.push_back(PathSeparator);
    }
    return out;
}

std::string folderForDisplay(std::string_view folder) {
    const bool isRoot = folder.size() == 1 || (folder.size() == 3 && folder[1] == ':');
    if (!isRoot && !folder.empty() && (folder.back() == PathSeparator || folder.back() == '\\')) {
        folder.remove_suffix(1);
    }
    return std::string(folder);
}

std::string SourceFolderText(std::string_view path) {
    const auto colon = path.find(':');
    std::string_view rest;
    if (colon != std::string_view::npos) {
        // "C:\dir\sub\x.meta": the piece between the first and second colon, trimmed, without
        // the separator behind the drive's colon.
        rest = path.substr(colon + 1);
        rest = rest.substr(0, rest.find(':'));
        rest = support::trimSpaces(rest);
    } else {
        rest = path;
    }
    if (!rest.empty() && (rest.front() == '/' || rest.front() == '\\')) {
        rest.remove_prefix(1);
    }
    std::string folder = GetParentPath(rest);
    if (!folder.empty()) {
        folder.pop_back();
    }
    return folder;
}

std::string vCardFileName(std::string_view fullName, int contactNumber) {
    // Names are UTF-8 on every system, as the card's text is: a stray byte of an older export is
    // the Windows-1252 character it names, as the Windows build's file names have it.
    const std::string text = support::toValidUtf8(fullName);
    std::string name;
    name.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        // The nine characters Windows refuses in file names, then every control character;
        // character 0 too, since no file name can hold it.
        if (byte < 32 || c == ':' || c == '?' || c == '\\' || c == '/' || c == '*' || c == '"' ||
            c == '<' || c == '>' || c == '|') {
            continue;
        }
        name.push_back(c);
    }
    constexpr std::size_t MaxNameBytes = 220;
    if (name.size() > MaxNameBytes) {
        // Cut between characters: half a UTF-8 sequence would garble the name's last letter.
        auto cut = MaxNameBytes;
        while (cut > MaxNameBytes - 3 && (static_cast<unsigned char>(name[cut]) & 0xC0U) == 0x80U) {
            --cut;
        }
        name.resize(cut);
    }
    // The same name on every system, one that Windows accepts too (no device names).
    return support::portableFileName(std::string(support::trimSpaces(name)) +
                                     std::to_string(contactNumber) + ".vcf");
}

} // namespace plumbrae::core
