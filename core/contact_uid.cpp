#include "core/contact_uid.h"

#include "support/file_path.h"
#include "support/name_uuid.h"
#include "support/text.h"

#include <filesystem>

namespace plumbrae::core {
namespace {

/// The namespace of every UUID Plumbrae derives from a name.
constexpr support::Uuid PlumbraeNamespace = {0xEC, 0xBD, 0xAC, 0x64, 0xB5, 0x54, 0x44, 0x70,
                                             0x8C, 0x20, 0x92, 0xAD, 0x62, 0xA0, 0x03, 0xDC};

/// The item id a file name starts with: its leading digits, when a "." or "-" follows them.
std::optional<std::string> idFromFileName(std::string_view name) {
    const auto end = name.find_first_not_of("0123456789");
    if (end == 0 || end == std::string_view::npos || (name[end] != '.' && name[end] != '-')) {
        return std::nullopt;
    }
    return std::string(name.substr(0, end));
}

} // namespace

std::string contactUid(std::string_view vcardUid, std::optional<std::int64_t> itemId,
                       const std::string& path, std::string_view metadata) {
    const auto own = support::trimSpaces(vcardUid);
    if (!own.empty()) {
        return std::string(own);
    }
    const auto file = support::pathFromUtf8(path);
    std::optional<std::string> id = itemId ? std::optional(support::decimal(*itemId))
                                           : idFromFileName(support::pathToUtf8(file.filename()));
    if (id) {
        const auto folder = file.parent_path();
        const std::string account = support::pathToUtf8(folder.parent_path().filename());
        const std::string zimbraFolder = support::pathToUtf8(folder.filename());
        return support::nameBasedUuid(PlumbraeNamespace,
                                      {"item:", account, "/", zimbraFolder, "/", *id});
    }
    return support::nameBasedUuid(PlumbraeNamespace, {"content:", metadata});
}

std::string repeatedUid(std::string_view uid, int copy) {
    const std::string number = support::decimal(copy);
    return support::nameBasedUuid(PlumbraeNamespace, {"copy:", number, ":", uid});
}

} // namespace plumbrae::core
