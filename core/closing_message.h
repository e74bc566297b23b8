#pragma once

#include "core/conversion_host.h"

#include <cstddef>
#include <string>
#include <vector>

namespace plumbrae::core {

/// Builds the message a run or a queue command closes with. A message box must fit a small
/// screen whatever the run, so its text holds every line but only the first few entries of each
/// list, each cut to a readable width; when anything was left out of the box, the message's
/// details hold the whole text, every entry whole, for the box's details area and the terminal.
class ClosingMessage {
public:
    /// Entries of one list that the box shows before "and N more".
    static constexpr std::size_t EntriesInBox = 3;
    /// Characters of one line that the box shows; a longer line loses its middle.
    static constexpr std::size_t LineLengthInBox = 180;
    /// Characters of one entry that the box shows: about two lines of the box.
    static constexpr std::size_t EntryLengthInBox = 100;

    /// A line of its own (a text of several lines joined by CR LF gives each its own).
    void add(std::string line);
    /// A line, then its entries, each on a line of its own.
    void add(const MessageList& list);

    /// The message; its details are "" when the box shows every line whole.
    [[nodiscard]] Message message(std::string caption, MessageIcon icon) const;

private:
    std::vector<std::string> m_box;
    std::vector<std::string> m_whole;
    bool m_shortened = false;
};

/// `text` cut to at most `length` characters (UTF-8) by taking out its middle, which an
/// ellipsis stands for; shorter texts come back as they are.
std::string elideMiddle(const std::string& text, std::size_t length);

} // namespace plumbrae::core
