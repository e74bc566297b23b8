#pragma once

#include "ui/services/dialogs.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace plumbrae::testing {

/// Dialogs answered from a script; everything asked is recorded.
class FakeDialogs : public ui::Dialogs {
public:
    using Texts = std::vector<std::string>;
    std::deque<ui::MessageAnswer> answers;
    std::deque<std::string> folders;
    std::deque<Texts> fileSelections;
    /// Runs whenever a folder is asked for (before the answer is given).
    std::function<void()> onChooseFolder;

    struct Shown {
        core::Message message;
    };
    std::vector<Shown> shown;
    Texts texts;                                              // of the messages shown
    std::vector<std::pair<std::string, bool>> openFilesCalls; // filter, hidden files shown

    ui::MessageAnswer message(QWidget* /*owner*/, const core::Message& message,
                              ui::MessageButtons buttons) override {
        shown.push_back({message});
        texts.push_back(message.text);
        return buttons == ui::MessageButtons::Ok ? ui::MessageAnswer::Ok : next(answers);
    }
    std::string chooseFolder(QWidget* /*owner*/, const std::string& /*title*/) override {
        if (onChooseFolder) {
            onChooseFolder();
        }
        return next(folders);
    }
    Texts openFiles(QWidget* /*owner*/, const std::string& filter, bool showHidden) override {
        openFilesCalls.emplace_back(filter, showHidden);
        return next(fileSelections);
    }

private:
    /// The next scripted answer; with none left, one that is not Yes, "" or no files.
    template <class T> static T next(std::deque<T>& script) {
        if (script.empty()) {
            return T();
        }
        T answer = std::move(script.front());
        script.pop_front();
        return answer;
    }
};

} // namespace plumbrae::testing
