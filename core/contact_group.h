#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plumbrae::core {

/// One member of a contact group: the name it is shown by (empty when the group gives none) and
/// its address. A member written without an address in angle brackets is its address as written,
/// with or without an "@".
struct GroupMember {
    std::string name;
    std::string address;
    bool operator==(const GroupMember&) const = default;
};

/// A contact group (a list of addresses the client keeps beside the contacts): its name and its
/// members in the order the group lists them.
struct ContactGroup {
    std::string name;
    std::vector<GroupMember> members;
    bool operator==(const ContactGroup&) const = default;
};

/// The members of a group's member list (`dlist`): comma-separated, each a bare address
/// ("ann@example.org") or a name and an address ("Ann Lee <ann@example.org>",
/// "\"Lee, Ann\" <ann@example.org>"). A comma inside double quotes belongs to the name (a quote
/// that is never closed groups nothing), and the quotes around a whole name go; white space
/// around members, names and addresses is dropped and empty members are skipped.
std::vector<GroupMember> parseGroupMembers(std::string_view dlist);

} // namespace plumbrae::core
