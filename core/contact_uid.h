#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plumbrae::core {

/// The UID a contact's cards carry, so that importing them again updates the contacts instead of
/// adding them twice. It is, in this order of preference:
/// - the contact's own `vcardUID` (spaces at both ends removed), when it has one;
/// - when the JSON export (`itemId`) or the file name ("257.meta", "257-Ann Lee.meta") gives the
///   Zimbra item id: the name-based UUID (version 5) of that id and the names of the two folders
///   above the file (the account's folder and the Zimbra folder in an export), which stay the
///   same in every export of that account, whatever its contents or where the export is kept;
/// - otherwise the name-based UUID of the contact's metadata, which changes only with the
///   contact.
std::string contactUid(std::string_view vcardUid, std::optional<std::int64_t> itemId,
                       const std::string& path, std::string_view metadata);

/// A UID for the `copy`-th (2, 3, ...) contact of one run that has the UID `uid` already, so
/// that no two cards of one file share one; it is the same in every run.
std::string repeatedUid(std::string_view uid, int copy);

} // namespace plumbrae::core
