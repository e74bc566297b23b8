#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace plumbrae::bench {

/// One generated contact file's metadata line, as the desktop client writes it: string lengths
/// in UTF-16 code units, a mix of present and missing fields, names in several scripts, notes
/// with colons and line feeds, web addresses with and without "http://". `index` picks the
/// variant deterministically.
std::string generateMetaFile(std::uint32_t index, std::uint32_t seed);

/// Writes `count` contact files into a tree of nested folders below `root` (created if needed)
/// and returns their paths in creation order.
std::vector<std::filesystem::path> generateMetaTree(const std::filesystem::path& root, int count,
                                                    std::uint32_t seed);

/// Peak resident memory of this process so far, in KiB.
long peakMemoryKiB();

/// Wall time of a shell command in seconds (the floor every benchmark compares against).
double timeShellCommand(const std::string& command);

/// What a child process cost: wall time, and its own peak resident memory in KiB.
struct ChildCost {
    double seconds = 0.0;
    long peakKiB = 0;
    int exitStatus = 0;
};

/// Runs a program (argv[0] is its path) with its output discarded and measures it.
ChildCost runProgram(const std::vector<std::string>& argv);

} // namespace plumbrae::bench
