// Converts a generated tree of contact files (every key, mixed scripts, groups, files that are no
// contacts) to vCards with plumbrae-convert, and copies the same tree with cp -r, in alternating
// pairs in one run: the copy is the floor. Prints the medians of both, the median of the pairs'
// ratios, the same for processor time, the converter's peak memory and the machine's load.
// usage: bench_vcards PLUMBRAE_CONVERT [COUNT] [ROUNDS]
//   COUNT files (30000 unless given; 300000 for the one folder of 300,000 cards), ROUNDS pairs
//   (7 unless given). Works in $TMPDIR (or /tmp), in a folder of its own.
#include "bench/meta_tree_generator.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace plumbrae::bench;

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string loadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

struct Pairs {
    std::vector<ChildCost> copies;
    std::vector<ChildCost> runs;
};

/// Nothing is deleted until the rounds are over: ext4 passes over the inodes of files deleted
/// in the last minutes when it makes new ones, so a contender that follows a deletion would pay
/// for it. The order alternates, each round into new folders.
Pairs measure(const std::string& convert, const fs::path& work, const fs::path& tree, int rounds) {
    Pairs pairs;
    for (int round = 0; round < rounds; ++round) {
        const auto suffix = std::to_string(round);
        const auto copy = [&] {
            pairs.copies.push_back(
                runProgram({"/bin/cp", "-r", tree.string(), (work / ("copy" + suffix)).string()}));
        };
        const auto convertOnce = [&] {
            pairs.runs.push_back(runProgram(
                {convert, "--vcards", "--out", (work / ("out" + suffix)).string(), tree.string()}));
        };
        if (round % 2 == 0) {
            copy();
            convertOnce();
        } else {
            convertOnce();
            copy();
        }
    }
    return pairs;
}

void report(int count, const Pairs& pairs) {
    std::vector<double> copyWall, runWall, wallRatios, copyCpu, runCpu, cpuRatios;
    long peakKiB = 0;
    int failures = 0;
    for (std::size_t i = 0; i < pairs.runs.size(); ++i) {
        const auto& copy = pairs.copies[i];
        const auto& run = pairs.runs[i];
        copyWall.push_back(copy.seconds);
        runWall.push_back(run.seconds);
        wallRatios.push_back(run.seconds / copy.seconds);
        copyCpu.push_back(copy.cpuSeconds);
        runCpu.push_back(run.cpuSeconds);
        cpuRatios.push_back(run.cpuSeconds / copy.cpuSeconds);
        peakKiB = std::max(peakKiB, run.peakKiB);
        failures += run.exitStatus != 0 || copy.exitStatus != 0;
    }
    const double target = count >= 300000 ? 1.5 : 1.25;
    std::printf("%d files, %zu alternating pairs, medians:\n", count, pairs.runs.size());
    std::printf("  wall time: cp -r %.2f s, plumbrae-convert --vcards %.2f s, ratio %.2f "
                "(pairs' median; target <= %.2f)\n",
                median(copyWall), median(runWall), median(wallRatios), target);
    std::printf("  processor time (user + system): cp -r %.2f s, plumbrae-convert %.2f s, "
                "ratio %.2f\n",
                median(copyCpu), median(runCpu), median(cpuRatios));
    std::printf("  peak memory of plumbrae-convert %ld KiB; %d failed runs\n", peakKiB, failures);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_vcards PLUMBRAE_CONVERT [COUNT] [ROUNDS]\n");
        return 2;
    }
    const int count = argc > 2 ? std::atoi(argv[2]) : 30000;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 7;
    if (count < 1 || rounds < 1) {
        std::fprintf(stderr, "COUNT and ROUNDS must be positive\n");
        return 2;
    }
    const fs::path work =
        fs::temp_directory_path() / ("plumbrae-bench-vcards-" + std::to_string(::getpid()));
    fs::remove_all(work);
    fs::create_directories(work);
    const fs::path tree = work / "tree";
    generateMetaTree(tree, count, 11);
    std::system("sync");
    // Warm the cache for both contenders alike.
    timeShellCommand("find '" + tree.string() + "' -type f -exec cat {} + >/dev/null");
    std::printf("load average before: %s\n", loadAverage().c_str());
    const Pairs pairs = measure(argv[1], work, tree, rounds);
    std::printf("load average after:  %s\n", loadAverage().c_str());
    report(count, pairs);
    fs::remove_all(work);
    return 0;
}
