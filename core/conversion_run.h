#pragma once

#include "core/contact_file_reader.h"
#include "core/contact_output.h"
#include "core/contact_read_ahead.h"
#include "core/contact_record.h"
#include "core/conversion_host.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace plumbrae::core {

/// Gives the run the output of a saving option; nullptr when that option is not available.
using OutputProvider = std::function<ContactOutput*(OutputKind)>;

/// A queued file that could not be read, and why.
struct FileFailure {
    std::int32_t contactNumber = 0;
    std::string path;
    std::string reason;
};

/// What happened in one run, for the terminal program's summary and for tests.
struct RunReport {
    enum class Outcome {
        NoOption,    ///< no saving option chosen: the message was shown, nothing created
        Cancelled,   ///< the folder prompt was cancelled: nothing created
        Refused,     ///< the queue or the output could not be used: nothing read
        Completed,   ///< every queued file was handled (some may have failed to read)
        Failed,      ///< an output failure stopped the run
        Interrupted, ///< the host asked to stop; the output was closed properly
    };
    Outcome outcome = Outcome::NoOption;
    std::string outputFolder;
    std::int32_t converted = 0;
    std::vector<FileFailure> failures;
    /// True when a contact was written without some of its values (the output's notes list
    /// them): the run completed but the result is not whole.
    bool valuesLost = false;
    /// Queued files that hold another kind of item (a folder, a message): skipped.
    std::int32_t notContacts = 0;
    /// Contact groups the output took, and their members.
    std::int32_t groupsConverted = 0;
    std::int32_t groupMembers = 0;
    /// The names of the contact groups the output has no place for, in queue order: skipped.
    std::vector<std::string> contactGroups;
    /// The message shown at the end (success, summary, or the failure).
    Message finalMessage;

    /// True when every queued file was converted whole: the run completed, no file failed and
    /// no value was lost.
    [[nodiscard]] bool isComplete() const {
        return outcome == Outcome::Completed && failures.empty() && !valuesLost;
    }
};

/// The whole conversion that the window's "Convert &Contacts" and plumbrae-convert start, free of
/// any toolkit: it asks the host for
/// the option, folder and queue, reads every queued file in order and hands each contact to the
/// output of the chosen option, keeping the host's progress display current.
class ConversionRun {
public:
    ConversionRun(ConversionHost& host, OutputProvider outputs);

    /// Runs one conversion to its end, including the closing message.
    RunReport run();

    /// The first line of the closing message when every file converted; the output's lines
    /// naming what it wrote follow.
    static constexpr const char* SuccessText = "Zimbra Contacts converted successfully.";
    static constexpr const char* AppTitle = "Plumbrae";

private:
    bool convertRow(ContactOutput& output, ReadAheadFile& file, std::int32_t row,
                    RunReport& report);
    /// What the file holds as read; nothing when it could not be read (the report says why).
    static std::optional<ReadOutcome> readRow(const ContactOutput& output, ReadAheadFile& file,
                                              std::int32_t contactNumber, RunReport& report);
    void reportProgress(std::int32_t contactNumber, const std::string& sourceFolder);
    Message summary(const RunReport& report, const ContactOutput& output) const;
    /// The message of a run that a failure stopped: the output's words for the cause, then its
    /// notes.
    static Message stopMessage(const ContactOutput& output, const std::string& cause);

    ConversionHost& m_host;
    OutputProvider m_outputs;
    /// The progress shown after each row, made anew in place.
    Progress m_progress;
};

} // namespace plumbrae::core
