#pragma once

#include "core/contact_output.h"
#include "core/conversion_host.h"

#include <functional>
#include <string>
#include <vector>

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
    void setCurrentRow(std::int32_t /*row*/) override {}
    void prepareProgress() override {}
    void showProgress(const core::Progress& shown) override { progress.push_back(shown); }
    void disableConvert() override {}
    void yield() override { ++yields; }
    bool stopRequested() override {
        return stopAfter >= 0 && static_cast<int>(progress.size()) >= stopAfter;
    }
};

/// An output that records each call ("open FOLDER", "write N", "group N", "close", "abandon")
/// and the contacts and groups it is given; `onWrite` acts (or throws) after a contact or group
/// is recorded. It takes groups when `takesGroups` says so.
class RecordingOutput : public core::ContactOutput {
public:
    std::vector<std::string> calls;
    std::vector<core::ContactRecord> written, asRead;
    std::vector<core::ContactGroup> groups;
    bool takesGroups = true;
    std::function<void(std::int32_t)> onWrite;
    bool failOpen = false;
    bool endsOnReadFailure = false;
    std::string refusal;
    /// What writtenFiles() and notes() answer.
    std::vector<std::string> filesLines;
    std::vector<core::MessageList> notesLists;

    [[nodiscard]] std::string checkQueueSize(std::int32_t /*rows*/) const override {
        return refusal;
    }
    void open(const std::string& folder) override {
        calls.push_back("open " + folder);
        if (failOpen) {
            throw core::OutputError("cannot create " + folder + "x: permission denied");
        }
    }
    void write(const core::ContactToWrite& contact) override {
        calls.push_back("write " + std::to_string(contact.contactNumber));
        written.push_back(contact.trimmed);
        asRead.push_back(contact.asRead);
        if (onWrite) {
            onWrite(contact.contactNumber);
        }
    }
    bool writeGroup(const core::GroupToWrite& group) override {
        if (!takesGroups) {
            return false;
        }
        calls.push_back("group " + std::to_string(group.contactNumber));
        groups.push_back(group.group);
        if (onWrite) {
            onWrite(group.contactNumber);
        }
        return true;
    }
    [[nodiscard]] bool readFailureEndsRun() const override { return endsOnReadFailure; }
    void close() override { calls.push_back("close"); }
    void abandon() noexcept override { calls.push_back("abandon"); }
    [[nodiscard]] std::vector<std::string> writtenFiles() const override { return filesLines; }
    [[nodiscard]] std::vector<core::MessageList> notes() const override { return notesLists; }
};

} // namespace plumbrae::testing
