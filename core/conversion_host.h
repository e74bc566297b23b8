#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plumbrae::core {

/// The saving option. `None` when no option is chosen.
enum class OutputKind { None, Pst, Excel, VCards };

enum class MessageIcon { None, Information, Question, Exclamation };

/// One message box: caption, text (lines joined by CR LF), icon, an OK button. `details`, when
/// not empty, is the whole text of a message whose box shows it shortened: the window offers it
/// in a scrollable details area, the terminal prints it instead of the text.
struct Message {
    std::string caption;
    std::string text;
    MessageIcon icon = MessageIcon::Information;
    std::string details{};
};

/// A line of a closing message followed by the entries it announces, one per line (the files
/// that could not be read, the values left out).
struct MessageList {
    std::string heading;
    std::vector<std::string> entries;
    /// Shorter forms of the first entries for a message box that cannot show them whole (a
    /// file's name without its folder); the box takes `entries` where this has none.
    std::vector<std::string> shortEntries{};
};

/// What the progress display shows after a file: the " Details" frame caption, the folder
/// label, the count label and the bar's value (0 to 100, not rounded).
struct Progress {
    std::string frameCaption;
    std::string folderCaption;
    std::string countCaption;
    float value = 0.0F;
    /// The folder as `folderCaption` names it, for a display that shortens a long one.
    std::string sourceFolder{};
};

/// What the conversion run needs from whoever hosts it: the window, the terminal program, or a
/// scripted double in tests. Everything is called on the host's thread.
class ConversionHost {
public:
    virtual ~ConversionHost() = default;
    ConversionHost() = default;
    ConversionHost(const ConversionHost&) = delete;
    ConversionHost& operator=(const ConversionHost&) = delete;

    /// The chosen saving option, read anew whenever the run needs it.
    virtual OutputKind savingOption() = 0;
    /// Asks for the output folder with the given title; "" when the user cancels.
    virtual std::string chooseOutputFolder(const std::string& title) = 0;
    /// Shows a message with an OK button and waits until it is dismissed.
    virtual void showMessage(const Message& message) = 0;
    /// The queue: the row count and each row's text. An empty queue is one row of "".
    virtual std::int32_t queueRowCount() = 0;
    virtual std::string queueRowText(std::int32_t row) = 0;
    /// Makes the row the queue's current row.
    virtual void setCurrentRow(std::int32_t row) = 0;
    /// Sets the progress bar's range to 0..100 (the run does this once, before the first file).
    virtual void prepareProgress() = 0;
    /// Shows the progress after a file.
    virtual void showProgress(const Progress& progress) = 0;
    /// Disables the Convert command.
    virtual void disableConvert() = 0;
    /// Lets the host process pending events. Cheap: hosts throttle it themselves.
    virtual void yield() = 0;
    /// True when the user has asked to stop (the window is closing): the run stops after the
    /// current file and closes its output properly.
    virtual bool stopRequested() { return false; }
};

} // namespace plumbrae::core
