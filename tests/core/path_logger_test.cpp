#include "core/path_logger.h"
#include "tests/support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace plumbrae::testing {
namespace {

namespace fs = std::filesystem;
using core::pathLogger;

using Texts = std::vector<std::string>;

/// The paths with `root` taken off their start.
Texts relative(const Texts& paths, const std::string& root) {
    Texts out;
    for (const auto& path : paths) {
        out.push_back(path.starts_with(root) ? path.substr(root.size()) : "outside " + path);
    }
    return out;
}

class PathLoggerTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string root = dir.path().string(); // without the trailing separator
    pathLogger walker;

    void walk(bool fullNamesOnly, const std::string& from) {
        walker.PathLogInit();
        walker.setFullFileNamesOnly(fullNamesOnly);
        walker.LogPath(from);
    }
};

// Folders are visited level by level, entries in byte order (capitals first), a folder's files
// before its subfolders' files; every full name is its folder followed by its bare name.
TEST_F(PathLoggerTest, WalksLevelByLevelInByteOrderWithEveryList) {
    for (const auto* name : {"B/B1/x", "A/A1/x", "b", "a", "Z", "B/y"}) {
        dir.write(name, "");
    }
    walk(false, root);
    const auto folders = walker.pathNames();
    EXPECT_EQ(relative(folders->values(), root), (Texts{"/", "/A/", "/B/", "/A/A1/", "/B/B1/"}));
    const auto full = walker.fullFileNames();
    EXPECT_EQ(relative(full->values(), root),
              (Texts{"/Z", "/a", "/b", "/B/y", "/A/A1/x", "/B/B1/x"}));
    for (std::size_t i = 1; i <= full->count(); ++i) {
        const auto folder = static_cast<std::size_t>(walker.pathPointers()->item(i));
        EXPECT_EQ(full->item(i), folders->item(folder) + walker.fileNames()->item(i));
    }
    EXPECT_EQ(walker.Count(), 7);

    walk(true, root + "/");
    EXPECT_EQ(walker.pathNames()->item(1), root + "/");
    EXPECT_EQ(walker.fullFileNames()->count(), 6U);
    EXPECT_TRUE(walker.fileNames()->isEmpty());
    EXPECT_TRUE(walker.pathPointers()->isEmpty());
}

TEST_F(PathLoggerTest, MissingOrFileRootRecordsNothing) {
    dir.write("file", "");
    for (const auto* name : {"/missing", "/file"}) {
        walker.LogPath(root + name);
    }
    EXPECT_TRUE(walker.pathNames()->isEmpty());
}

TEST_F(PathLoggerTest, LinkLoopsEndAndEachRealFolderIsWalkedOnce) {
    dir.write("A/inner/f", "");
    fs::create_directory_symlink(dir.path(), dir.path() / "A" / "inner" / "up");
    fs::create_directory_symlink(dir.path() / "A", dir.path() / "A" / "self");
    fs::create_directory_symlink(dir.path() / "elsewhere", dir.path() / "dangling");
    dir.write("deep/x/real/g", "");
    fs::create_directory_symlink(dir.path() / "deep" / "x" / "real", dir.path() / "shortcut");
    walk(true, root);
    // "shortcut" is met a level before the folder it points to and stands for it; the real
    // folder is then not walked a second time. The dangling link is queued as a file (its read
    // fails later with a reason).
    EXPECT_EQ(relative(walker.pathNames()->values(), root),
              (Texts{"/", "/A/", "/deep/", "/shortcut/", "/A/inner/", "/deep/x/"}));
    EXPECT_EQ(relative(walker.fullFileNames()->values(), root),
              (Texts{"/dangling", "/shortcut/g", "/A/inner/f"}));
}

} // namespace
} // namespace plumbrae::testing
