// Writes a tree of generated contact files: generate-meta-tree FOLDER COUNT [SEED]
#include "bench/meta_tree_generator.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: generate-meta-tree FOLDER COUNT [SEED]\n");
        return 2;
    }
    try {
        const int count = std::atoi(argv[2]);
        const auto seed = argc > 3 ? static_cast<std::uint32_t>(std::atoi(argv[3])) : 1U;
        const auto paths = plumbrae::bench::generateMetaTree(argv[1], count, seed);
        std::printf("%zu files written below %s\n", paths.size(), argv[1]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "generate-meta-tree: %s\n", error.what());
        return 1;
    }
    return 0;
}
