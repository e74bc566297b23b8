#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace plumbrae::bench {

/// One generated contact file, as the client writes it: string lengths in UTF-16 code units,
/// every key a contact can have, each present or missing with its own probability (names in
/// several scripts, emoji, notes with colons and line feeds, web addresses with and without
/// "http://", dates with and without a year), and keys that are no contact data. `index` picks
/// the variant deterministically.
std::string generateMetaFile(std::uint32_t index, std::uint32_t seed);

/// The files an export holds beside its contacts: a contact group (its members in every form
/// the client writes, by `index`), a folder's item file and a message's item file.
std::string generateGroupFile(std::uint32_t index);
std::string generateFolderFile(std::uint32_t index, std::string_view name);
std::string generateMessageFile(std::uint32_t index);

/// Writes `count` files into contact folders, nested below `root` (created if needed): contacts,
/// and every 40th a contact group. Beside each folder stands its own item file, and an "Inbox"
/// holds one message file for every 50 contact files. Returns every path in creation order.
std::vector<std::filesystem::path> generateMetaTree(const std::filesystem::path& root, int count,
                                                    std::uint32_t seed);

/// Peak resident memory of this process so far, in KiB.
long peakMemoryKiB();

/// Wall time of a shell command in seconds (the floor every benchmark compares against).
double timeShellCommand(const std::string& command);

/// What a child process cost: wall time, its own user CPU time, and its own peak resident
/// memory in KiB.
struct ChildCost {
    double seconds = 0.0;
    /// Processor time (user and system) the child used: unlike wall time, it does not grow when
    /// other programs share the machine.
    double cpuSeconds = 0.0;
    /// User processor time alone.
    double userSeconds = 0.0;
    long peakKiB = 0;
    int exitStatus = 0;
};

/// Processor time (user and system) this process has used so far, in seconds.
double processCpuSeconds();

/// Runs a program (argv[0] is its path) with its output discarded and measures it.
ChildCost runProgram(const std::vector<std::string>& argv);

} // namespace plumbrae::bench
