#pragma once

#include "core/conversion_host.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace plumbrae::core {

/// What plumbrae-convert was asked to do.
struct CommandLine {
    OutputKind kind = OutputKind::None;
    std::string outputFolder;
    std::vector<std::string> paths;
};

/// Parses the arguments (the program's name first); returns an exit status when the program
/// should end right away (help, version, a usage error, said on the standard streams).
std::optional<int> parseCommandLine(const std::vector<std::string>& args, CommandLine& options);

/// The queue: files as given, folders walked like the window's Add folder does, each file once
/// (how many were given more than once is said). Folders that could not be listed are reported
/// and counted. An exit status when a path is missing.
std::optional<int> buildQueue(const CommandLine& options, std::vector<std::string>& queue,
                              int& unreadableFolders);

/// Says a usage error on standard error; returns the exit status 2.
int usageError(const std::string& message);

/// The run's host on a terminal: the queue comes from the command line, messages go to the
/// standard streams, progress is a one-line bar on standard error when that is a terminal.
class TerminalHost : public ConversionHost {
public:
    TerminalHost(OutputKind kind, std::string folder, std::vector<std::string> queue);

    OutputKind savingOption() override { return m_kind; }
    std::string chooseOutputFolder(const std::string& /*title*/) override { return m_folder; }
    void showMessage(const Message& message) override;
    std::int32_t queueRowCount() override { return static_cast<std::int32_t>(m_queue.size()); }
    std::string queueRowText(std::int32_t row) override {
        return m_queue[static_cast<std::size_t>(row)];
    }
    void setCurrentRow(std::int32_t /*row*/) override {}
    void prepareProgress() override {}
    void showProgress(const Progress& progress) override;
    void disableConvert() override {}
    void yield() override {}

private:
    void endBar();

    OutputKind m_kind;
    std::string m_folder;
    std::vector<std::string> m_queue;
    bool m_showBar;
    bool m_barShown = false;
    std::chrono::steady_clock::time_point m_lastBar{};
};

} // namespace plumbrae::core
