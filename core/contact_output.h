#pragma once

#include "core/contact_group.h"
#include "core/contact_record.h"
#include "core/conversion_host.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace plumbrae::core {

/// An output could not be opened or written. The message says which file or call failed and
/// why; the run stops at once.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// One contact as the run hands it to an output.
struct ContactToWrite {
    /// The record with spaces trimmed from every field: what writers write.
    const ContactRecord& trimmed;
    /// The record as the reader left it (the vCard file name is built from its `FullName`).
    const ContactRecord& asRead;
    /// 1-based number of the queued file (queue row + 1).
    std::int32_t contactNumber;
    /// The contact's UID, the same in every run (see contactUid); may be repeated within a run.
    std::string_view uid = {};
};

/// One contact group as the run hands it to an output: its name and members, each without the
/// spaces around it.
struct GroupToWrite {
    const ContactGroup& group;
    /// 1-based number of the queued file (queue row + 1).
    std::int32_t contactNumber;
    /// The group's UID, stable across runs (see contactUid).
    std::string_view uid = {};
};

/// One saving option's output. The run opens it once, writes each contact, and closes it at the
/// end; outputs are plugged in by the programs, so the run never knows the writers.
class ContactOutput {
public:
    virtual ~ContactOutput() = default;
    ContactOutput() = default;
    ContactOutput(const ContactOutput&) = delete;
    ContactOutput& operator=(const ContactOutput&) = delete;

    /// Refuses a queue this output cannot hold before anything is created: returns the message
    /// to show, or "" when the queue is fine.
    [[nodiscard]] virtual std::string checkQueueSize(std::int32_t rowCount) const {
        (void)rowCount;
        return {};
    }
    /// Opens the output in `outputFolder` (which ends in the separator). Throws OutputError.
    virtual void open(const std::string& outputFolder) = 0;
    /// Writes one contact. Throws OutputError, which stops the run.
    virtual void write(const ContactToWrite& contact) = 0;
    /// Writes one contact group where this option keeps groups. Returns false when the output has
    /// no place for groups: the run then names the group as not converted. Throws OutputError,
    /// which stops the run.
    virtual bool writeGroup(const GroupToWrite& group) {
        (void)group;
        return false;
    }
    /// The queued file `contactNumber` gave no contact (it could not be read, or holds a group or
    /// another item); no contact is written for it, but an output that numbers its rows may keep
    /// its place.
    virtual void skipped(std::int32_t contactNumber) { (void)contactNumber; }
    /// False for an output that writes no UID: the run then does not work the UIDs out.
    [[nodiscard]] virtual bool usesUid() const { return true; }
    /// True when a file that cannot be read must end the run as a failure of this output
    /// (the PST export); otherwise the file is skipped and the run goes on.
    [[nodiscard]] virtual bool readFailureEndsRun() const { return false; }
    /// Finishes the output after the last contact. Throws OutputError.
    virtual void close() = 0;
    /// The run stopped early (a failed write, any other exception, or a stop request): finish
    /// what can be finished so that no damaged file is left behind, and release what the output
    /// holds. Must not throw; what could not be finished is told by notes().
    virtual void abandon() noexcept {}
    /// The message for a failure that stopped the run: the cause, in this output's words.
    [[nodiscard]] virtual Message failureMessage(const std::string& cause) const {
        return Message{"Plumbrae", cause, MessageIcon::Exclamation};
    }
    /// The lines of the closing message that follow its first: what the run wrote and where
    /// (the output folder as open() was given it), so the user knows what to open.
    [[nodiscard]] virtual std::vector<std::string> writtenFiles() const { return {}; }
    /// What the closing message adds at its end (for example the contacts whose value did not
    /// fit a cell, each named): the box shows the first few entries of each, its details and the
    /// terminal every one.
    [[nodiscard]] virtual std::vector<MessageList> notes() const { return {}; }
    /// True when a contact of this run was written without some of its values. An output
    /// whose notes say something else than lost values answers this itself.
    [[nodiscard]] virtual bool valuesLost() const { return !notes().empty(); }
};

} // namespace plumbrae::core
