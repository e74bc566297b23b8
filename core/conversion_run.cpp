#include "core/conversion_run.h"

#include "core/closing_message.h"
#include "core/contact_file_reader.h"
#include "core/contact_read_ahead.h"
#include "core/path_text.h"
#include "support/text.h"

#include <array>
#include <charconv>

namespace plumbrae::core {
namespace {

constexpr std::size_t ListedGroups = 20;

/// The closing lines about the queued files that were skipped because they hold no contact.
std::vector<std::string> skippedLines(const RunReport& report) {
    std::vector<std::string> lines;
    if (report.notContacts == 1) {
        lines.emplace_back("1 file was not a contact (a folder or a message) and was skipped");
    } else if (report.notContacts > 1) {
        lines.push_back(std::to_string(report.notContacts) +
                        " files were not contacts (folders, messages) and were skipped");
    }
    if (report.groupsConverted > 0) {
        const auto members = std::to_string(report.groupMembers) +
                             (report.groupMembers == 1 ? " member)" : " members)");
        lines.push_back(report.groupsConverted == 1
                            ? "1 contact group was converted (" + members
                            : std::to_string(report.groupsConverted) +
                                  " contact groups were converted (" + members);
    }
    const auto& groups = report.contactGroups;
    if (!groups.empty()) {
        std::string line = groups.size() == 1 ? "1 contact group was not converted: "
                                              : std::to_string(groups.size()) +
                                                    " contact groups were not converted: ";
        for (std::size_t i = 0; i < groups.size() && i < ListedGroups; ++i) {
            line.append(i == 0 ? "" : ", ").append(groups[i].empty() ? "(no name)" : groups[i]);
        }
        if (groups.size() > ListedGroups) {
            line.append(", \xE2\x80\xA6"); // an ellipsis
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace

ConversionRun::ConversionRun(ConversionHost& host, OutputProvider outputs)
    : m_host(host), m_outputs(std::move(outputs)) {}

RunReport ConversionRun::run() {
    RunReport report;
    const OutputKind kind = m_host.savingOption();
    ContactOutput* output = kind == OutputKind::None ? nullptr : m_outputs(kind);
    if (output == nullptr) {
        report.finalMessage = {AppTitle, "Please Select Saving Option to Save Contacts",
                               MessageIcon::Information};
        m_host.showMessage(report.finalMessage);
        return report;
    }
    const std::int32_t rowCount = m_host.queueRowCount();
    if (rowCount < 1 || (rowCount == 1 && m_host.queueRowText(0).empty())) {
        report.outcome = RunReport::Outcome::Refused;
        report.finalMessage = {AppTitle,
                               "There are no contact files in the list.\r\nPlease add Zimbra "
                               "contact files (*.meta) first, then convert them.",
                               MessageIcon::Information};
        m_host.showMessage(report.finalMessage);
        return report;
    }
    if (auto refusal = output->checkQueueSize(rowCount); !refusal.empty()) {
        report.outcome = RunReport::Outcome::Refused;
        report.finalMessage = {AppTitle, refusal, MessageIcon::Exclamation};
        m_host.showMessage(report.finalMessage);
        return report;
    }
    const std::string folder = m_host.chooseOutputFolder("Choose Folder to Save...");
    if (folder.empty()) {
        report.outcome = RunReport::Outcome::Cancelled;
        return report;
    }
    report.outputFolder = withTrailingSeparator(folder);
    m_host.yield();
    m_host.prepareProgress();
    m_host.yield();

    try {
        output->open(report.outputFolder);
    } catch (const OutputError& error) {
        report.outcome = RunReport::Outcome::Refused;
        report.finalMessage = output->failureMessage(error.what());
        m_host.showMessage(report.finalMessage);
        return report;
    }

    const std::int32_t lastRow = rowCount - 1;
    try {
        ContactReadAhead readAhead(output->usesUid() ? UidWanted::Yes : UidWanted::No);
        std::int32_t nextRequest = 0;
        for (std::int32_t row = 0; row <= lastRow; ++row) {
            while (nextRequest <= lastRow && readAhead.hasRoom()) {
                // Paths are opened exactly as queued: a Linux file name may end in a space.
                readAhead.request(queuedFilePath(m_host.queueRowText(nextRequest)));
                ++nextRequest;
            }
            ReadAheadFile& file = readAhead.next([this] { m_host.yield(); });
            const bool goOn = convertRow(*output, file, row, report);
            readAhead.release();
            if (!goOn) {
                break;
            }
        }
        m_host.yield();
        if (report.outcome == RunReport::Outcome::Interrupted) {
            output->abandon();
            return report;
        }
        output->close();
    } catch (const std::exception& error) {
        // Whatever ended the run (a failed write, a file the output cannot do without, a
        // fault anywhere else), the output finishes what it can: a complete worksheet up to
        // the last row, a committed PST file, no half-written card.
        output->abandon();
        report.outcome = RunReport::Outcome::Failed;
        const bool outputFailure = dynamic_cast<const OutputError*>(&error) != nullptr;
        report.finalMessage = stopMessage(
            *output,
            outputFailure ? error.what() : std::string("The conversion stopped: ") + error.what());
        m_host.showMessage(report.finalMessage);
        return report;
    } catch (...) {
        output->abandon();
        throw;
    }
    report.outcome = RunReport::Outcome::Completed;
    report.valuesLost = output->valuesLost();
    report.finalMessage = summary(report, *output);
    m_host.showMessage(report.finalMessage);
    return report;
}

bool ConversionRun::convertRow(ContactOutput& output, ReadAheadFile& file, std::int32_t row,
                               RunReport& report) {
    m_host.setCurrentRow(row);
    m_host.yield();
    const std::int32_t contactNumber = row + 1;
    const std::string sourceFolder = SourceFolderText(file.path);

    const auto outcome = readRow(output, file, contactNumber, report);
    if (outcome && outcome->kind == ItemKind::Contact) {
        output.write(ContactToWrite{file.trimmed, file.record, contactNumber, outcome->uid});
        ++report.converted;
    } else {
        if (outcome && outcome->kind == ItemKind::ContactGroup) {
            const auto& group = outcome->group;
            if (output.writeGroup(GroupToWrite{group, contactNumber, outcome->uid})) {
                ++report.groupsConverted;
                report.groupMembers += static_cast<std::int32_t>(group.members.size());
            } else {
                report.contactGroups.push_back(group.name);
            }
        }
        output.skipped(contactNumber);
    }
    m_host.disableConvert();
    reportProgress(contactNumber, sourceFolder);
    if (m_host.stopRequested()) {
        report.outcome = RunReport::Outcome::Interrupted;
        return false;
    }
    return true;
}

std::optional<ReadOutcome> ConversionRun::readRow(const ContactOutput& output, ReadAheadFile& file,
                                                  std::int32_t contactNumber, RunReport& report) {
    try {
        if (file.error) {
            std::rethrow_exception(file.error);
        }
        if (file.outcome->kind == ItemKind::NotContact) {
            ++report.notContacts;
        }
        return std::move(file.outcome);
    } catch (const ContactFileError& error) {
        if (output.readFailureEndsRun()) {
            throw OutputError(std::string("The contact file could not be read: ") + error.what());
        }
        report.failures.push_back({contactNumber, file.path, error.reason()});
    }
    return std::nullopt;
}

void ConversionRun::reportProgress(std::int32_t contactNumber, const std::string& sourceFolder) {
    const std::int32_t rows = m_host.queueRowCount();
    const auto decimalIn = [](std::array<char, 16>& buffer, std::int32_t value) {
        const char* end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value).ptr;
        return std::string_view(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
    };
    std::array<char, 16> numberText{};
    std::array<char, 16> rowsText{};
    const std::string_view number = decimalIn(numberText, contactNumber);
    const std::string_view total = decimalIn(rowsText, rows);
    // Made in the run's own Progress, so that its texts' storage serves every row.
    Progress& progress = m_progress;
    progress.frameCaption.assign("Details : Converting - (")
        .append(number)
        .append(" of ")
        .append(total)
        .append(") file(s)");
    progress.folderCaption.assign("Converting Contacts... from (").append(sourceFolder).append(")");
    progress.sourceFolder.assign(sourceFolder);
    progress.countCaption.assign("Contact(s) ")
        .append(number)
        .append(" (of ")
        .append(total)
        .append(")");
    progress.value =
        static_cast<float>(static_cast<double>(contactNumber) / static_cast<double>(rows) * 100.0);
    m_host.showProgress(progress);
}

// Every closing message of a run is built here, so that what each output and each kind of skipped
// file adds to it takes its place in one order: the outcome, what was written and where, what
// could not be read, what was skipped, what the output has to say.
Message ConversionRun::summary(const RunReport& report, const ContactOutput& output) const {
    ClosingMessage message;
    const auto notes = output.notes();
    if (report.failures.empty() && notes.empty()) {
        message.add(SuccessText);
    } else {
        const auto total = report.converted + static_cast<std::int32_t>(report.failures.size());
        message.add(std::to_string(report.converted) + " of " + std::to_string(total) +
                    " Zimbra Contacts converted.");
    }
    for (auto& line : output.writtenFiles()) {
        message.add(std::move(line));
    }
    if (!report.failures.empty()) {
        MessageList failures{std::to_string(report.failures.size()) +
                                 " file(s) could not be read and were not converted:",
                             {}};
        for (const auto& failure : report.failures) {
            failures.entries.push_back(failure.path + ": " + failure.reason);
            if (failures.shortEntries.size() < ClosingMessage::EntriesInBox) {
                // The box names the file; the details give its folder too.
                const auto name = failure.path.substr(GetParentPath(failure.path).size());
                failures.shortEntries.push_back(name + ": " + failure.reason);
            }
        }
        message.add(failures);
    }
    for (auto& line : skippedLines(report)) {
        message.add(std::move(line));
    }
    for (const auto& note : notes) {
        message.add(note);
    }
    return message.message(AppTitle, MessageIcon::Information);
}

Message ConversionRun::stopMessage(const ContactOutput& output, const std::string& cause) {
    const Message failure = output.failureMessage(cause);
    ClosingMessage message;
    message.add(failure.text);
    for (const auto& note : output.notes()) {
        message.add(note);
    }
    return message.message(failure.caption, failure.icon);
}

} // namespace plumbrae::core
