#pragma once

#include <string>
#include <vector>

#include "core/conversion_host.h"

namespace plumbrae::testing {

/// A conversion host driven by a script: the option, the folder answer and the queue are set
/// up front, and everything the run shows is recorded.
class ScriptedHost : public core::ConversionHost {
public:
    core::OutputKind option = core::OutputKind::None;
    std::string folderAnswer;
    std::vector<std::string> queue{""};

    std::vector<std::string> folderTitles;
    std::vector<core::Message> messages;
    std::vector<core::Progress> progress;
    std::vector<int> currentRows;
    int prepareCalls = 0;
    int disableCalls = 0;
    int yields = 0;
    /// Ask to stop once this many progress reports have been shown (-1: never).
    int stopAfter = -1;

    core::OutputKind savingOption() override { return option; }
    std::string chooseOutputFolder(const std::string& title) override {
        folderTitles.push_back(title);
        return folderAnswer;
    }
    void showMessage(const core::Message& message) override { messages.push_back(message); }
    std::int32_t queueRowCount() override { return static_cast<std::int32_t>(queue.size()); }
    std::string queueRowText(std::int32_t row) override {
        return queue.at(static_cast<std::size_t>(row));
    }
    void setCurrentRow(std::int32_t row) override { currentRows.push_back(row); }
    void prepareProgress() override { ++prepareCalls; }
    void showProgress(const core::Progress& shown) override { progress.push_back(shown); }
    void disableConvert() override { ++disableCalls; }
    void yield() override { ++yields; }
    bool stopRequested() override {
        return stopAfter >= 0 && static_cast<int>(progress.size()) >= stopAfter;
    }
};

} // namespace plumbrae::testing
