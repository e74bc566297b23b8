#pragma once

#include "core/contact_group.h"
#include "core/contact_record.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace plumbrae::core {

/// A contact file could not be read. `what()` names the file and the reason; `reason()` is the
/// reason alone.
class ContactFileError : public std::runtime_error {
public:
    ContactFileError(const std::string& path, const std::string& reason);
    [[nodiscard]] const std::string& path() const { return m_path; }
    [[nodiscard]] const std::string& reason() const { return m_reason; }

private:
    std::string m_path;
    std::string m_reason;
};

/// What a `.meta` file of an export holds. Exports keep the files of folders, messages and other
/// items beside the contacts.
enum class ItemKind {
    Contact,      ///< a contact: the record is filled
    ContactGroup, ///< a contact group (a list of addresses): not a person, the record stays empty
    NotContact,   ///< a folder, a message or another item: the record stays empty
};

/// Whether the reader works out the UID of a contact or a group (see contactUid).
enum class UidWanted { No, Yes };

struct ReadOutcome {
    ItemKind kind = ItemKind::Contact;
    /// A contact group's name and members.
    ContactGroup group;
    /// A contact's UID: the same for the same Zimbra item in every run (see contactUid); empty
    /// when it was not asked for.
    std::string uid;
};

/// Reads one Zimbra contact file (`*.meta`) into `record`, which the caller has cleared.
/// Every key of the contact's field dictionary that has a field is taken (first occurrence
/// wins, values as read); `FullName` is set last. Files that are well formed but hold another
/// kind of item are told apart and leave the record empty; a file that cannot be made sense of
/// throws ContactFileError. The file is streamed: memory is needed only for its last line, or
/// for the one JSON object of a desktop export. `yield` (optional) is called regularly while a
/// large file is read.
ReadOutcome ReadContactFile(const std::string& path, ContactRecord& record,
                            const std::function<void()>& yield = {},
                            UidWanted uid = UidWanted::Yes);

/// The same, on the file's bytes already in memory (used by the fuzzer and the tests).
ReadOutcome ReadContactBytes(std::string_view bytes, const std::string& path,
                             ContactRecord& record);

} // namespace plumbrae::core
