// Converts generated trees of contact files to vCards with plumbrae-convert and compares the wall
// time with copying the same tree (cp -r), measured in the same run; prints the child's peak
// memory for two tree sizes, which should be about the same.
// usage: bench_vcards PLUMBRAE_CONVERT [COUNT]
#include "bench/meta_tree_generator.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using namespace plumbrae::bench;

namespace {

void measure(const std::string& convert, const fs::path& work, int count) {
    const fs::path tree = work / ("tree-" + std::to_string(count));
    generateMetaTree(tree, count, 11);
    std::system("sync");
    // Warm the cache for both contenders alike.
    timeShellCommand("find '" + tree.string() + "' -type f -exec cat {} + >/dev/null");
    const double copy =
        timeShellCommand("cp -r '" + tree.string() + "' '" + (work / "copy").string() + "'");
    const auto run =
        runProgram({convert, "--vcards", "--out", (work / "out").string(), tree.string()});
    std::printf("%6d files: cp -r %.3f s, plumbrae-convert --vcards %.3f s, ratio %.2f "
                "(target <= 1.5), peak memory %ld KiB, exit %d\n",
                count, copy, run.seconds, run.seconds / copy, run.peakKiB, run.exitStatus);
    fs::remove_all(work / "copy");
    fs::remove_all(work / "out");
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
