#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace plumbrae::support {

/// The program's arguments as UTF-8 text. On Windows they are read from the wide command line
/// (argv holds them in the ANSI code page, which loses every character outside it); elsewhere
/// they are argv as given.
std::vector<std::string> commandLineArguments(int argc, char** argv);

/// Writes UTF-8 text to a standard stream. A Windows console gets it as UTF-16, so every script
/// shows right whatever the console's code page; files and pipes get the UTF-8 bytes.
void writeText(std::FILE* stream, std::string_view text);

/// Whether the stream is a terminal (on Windows, a console) that a progress line can redraw.
bool isTerminal(std::FILE* stream);

} // namespace plumbrae::support
