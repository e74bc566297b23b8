// Converts generated trees of contact files to vCards with plumbrae-convert and compares the wall
// time with copying the same tree (cp -r), measured in the same run; prints the child's peak
// memory for two tree sizes, which should be about the same.
// usage: bench_vcards PLUMBRAE_CONVERT [COUNT]
#include "bench/meta_tree_generator.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace plumbrae::bench;

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void measure(const std::string& convert, const fs::path& work, int count) {
    const fs::path tree = work / ("tree-" + std::to_string(count));
    generateMetaTree(tree, count, 11);
    std::system("sync");
    // Warm the cache for both contenders alike.
    timeShellCommand("find '" + tree.string() + "' -type f -exec cat {} + >/dev/null");
    // Five rounds in turn, each into new folders: ext4 passes over the inodes of files deleted in
    // the last minute when it makes new ones, so a contender that follows a deletion pays for it.
    // Nothing is deleted until the rounds are over, and the order alternates.
    std::vector<double> copies, runs;
    ChildCost run{};
    for (int round = 0; round < 5; ++round) {
        const auto suffix = std::to_string(round);
        const auto copy = [&] {
            copies.push_back(timeShellCommand("cp -r '" + tree.string() + "' '" +
                                              (work / ("copy" + suffix)).string() + "'"));
        };
        const auto convertOnce = [&] {
            run = runProgram(
                {convert, "--vcards", "--out", (work / ("out" + suffix)).string(), tree.string()});
            runs.push_back(run.seconds);
        };
        if (round % 2 == 0) {
            copy();
            convertOnce();
        } else {
            convertOnce();
            copy();
        }
    }
    const double copy = median(copies);
    const double seconds = median(runs);
    std::printf("%6d files: cp -r %.3f s, plumbrae-convert --vcards %.3f s (medians of 5), ratio "
                "%.2f (target <= 1.5), peak memory %ld KiB, exit %d\n",
                count, copy, seconds, seconds / copy, run.peakKiB, run.exitStatus);
    for (int round = 0; round < 5; ++round) {
        fs::remove_all(work / ("copy" + std::to_string(round)));
        fs::remove_all(work / ("out" + std::to_string(round)));
    }
    fs::remove_all(tree);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_vcards PLUMBRAE_CONVERT [COUNT]\n");
        return 2;
    }
    const int count = argc > 2 ? std::atoi(argv[2]) : 30000;
    const fs::path work = fs::temp_directory_path() / "plumbrae-bench-vcards";
    fs::remove_all(work);
    fs::create_directories(work);
    measure(argv[1], work, count / 3);
    measure(argv[1], work, count);
    fs::remove_all(work);
    return 0;
}
