#pragma once

#include "core/conversion_host.h"

#include <memory>
#include <string>
#include <vector>

class QMessageBox;
class QWidget;

namespace plumbrae::ui {

enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

/// Every dialog the window opens goes through this interface, so that tests can script the
/// answers and read what was asked. Texts and paths are bytes in the local 8-bit encoding.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    Dialogs() = default;
    Dialogs(const Dialogs&) = delete;
    Dialogs& operator=(const Dialogs&) = delete;

    /// A modal message box with the message's caption, text and icon.
    virtual MessageAnswer message(QWidget* owner, const core::Message& message,
                                  MessageButtons buttons) = 0;
    /// A folder picker: the chosen folder ("/" for the root, no trailing separator otherwise),
    /// or "" when the user cancels.
    virtual std::string chooseFolder(QWidget* owner, const std::string& title) = 0;
    /// A multi-select open dialog: the chosen files as full paths in the dialog's order, or
    /// nothing when the user cancels. `showHidden` lists hidden files too.
    virtual std::vector<std::string> openFiles(QWidget* owner, const std::string& filter,
                                               bool showHidden) = 0;
};

/// The box QtDialogs shows for a message, not yet shown: the text, and under "Show Details..."
/// the message's details in a scrollable area.
std::unique_ptr<QMessageBox> messageBox(QWidget* owner, const core::Message& message,
                                        MessageButtons buttons);

/// The dialogs a person sees: QMessageBox and Qt's own file dialogs.
class QtDialogs : public Dialogs {
public:
    MessageAnswer message(QWidget* owner, const core::Message& message,
                          MessageButtons buttons) override;
    std::string chooseFolder(QWidget* owner, const std::string& title) override;
    std::vector<std::string> openFiles(QWidget* owner, const std::string& filter,
                                       bool showHidden) override;
};

} // namespace plumbrae::ui
