#pragma once

#include "ui/services/dialogs.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace plumbrae::testing {

/// Dialogs answered from a script; everything asked is recorded. A dialog that is shown with no
/// scripted answer left gets the cancel answer (No, "", no files).
class FakeDialogs : public ui::Dialogs {
public:
    struct Shown {
        core::Message message;
        ui::MessageButtons buttons;
    };
    struct OpenFilesCall {
        std::string filter;
        bool showHidden;
    };

    std::deque<ui::MessageAnswer> answers;
    std::deque<std::string> folders;
    std::deque<std::vector<std::string>> fileSelections;
    /// Run when the open-files dialog or the folder picker is shown, before it answers.
    std::function<void()> onOpenFiles;
    std::function<void()> onChooseFolder;

    std::vector<Shown> shown;
    std::vector<std::string> folderTitles;
    std::vector<OpenFilesCall> openFilesCalls;

    ui::MessageAnswer message(QWidget* /*owner*/, const core::Message& message,
                              ui::MessageButtons buttons) override {
        shown.push_back(Shown{message, buttons});
        if (buttons == ui::MessageButtons::Ok) {
            return ui::MessageAnswer::Ok;
        }
        return next(answers, ui::MessageAnswer::No);
    }
    std::string chooseFolder(QWidget* /*owner*/, const std::string& title) override {
        folderTitles.push_back(title);
        if (onChooseFolder) {
            onChooseFolder();
        }
        return next(folders, std::string());
    }
    std::vector<std::string> openFiles(QWidget* /*owner*/, const std::string& filter,
                                       bool showHidden) override {
        openFilesCalls.push_back(OpenFilesCall{filter, showHidden});
        if (onOpenFiles) {
            onOpenFiles();
        }
        return next(fileSelections, std::vector<std::string>());
    }

private:
    template <class T> static T next(std::deque<T>& script, T whenEmpty) {
        if (script.empty()) {
            return whenEmpty;
        }
        T answer = std::move(script.front());
        script.pop_front();
        return answer;
    }
};

} // namespace plumbrae::testing
