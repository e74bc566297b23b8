#include "core/path_logger.h"
#include "tests/support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace plumbrae::testing {
namespace {

namespace fs = std::filesystem;
using core::pathLogger;

std::vector<std::string> keysOf(const pathLogger::TextList& list) {
    std::vector<std::string> keys;
    for (std::size_t i = 1; i <= list.count(); ++i) {
        keys.push_back(list.keyAt(i));
    }
    return keys;
}

std::vector<std::string> relative(const std::vector<std::string>& paths, const std::string& root) {
    std::vector<std::string> out;
    for (const auto& path : paths) {
        EXPECT_EQ(path.substr(0, root.size()), root);
        out.push_back(path.substr(root.size()));
    }
    return out;
}

class PathLoggerTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string root = dir.path().string(); // without the trailing separator
    pathLogger walker;

    void walk(bool fullNamesOnly) {
        walker.PathLogInit();
        walker.setFullFileNamesOnly(fullNamesOnly);
        walker.LogPath(root);
    }
};

TEST_F(PathLoggerTest, NestedFilesWithAllListsAreBreadthFirst) {
    dir.write("A/B/f3", "");
    dir.write("A/f2", "");
    dir.write("f1", "");
    walk(false);

    const auto folders = walker.pathNames();
    EXPECT_EQ(relative(folders->values(), root), (std::vector<std::string>{"/", "/A/", "/A/B/"}));
    EXPECT_EQ(keysOf(*folders), (std::vector<std::string>{"K0", "K2", "K3"}));
    const auto full = walker.fullFileNames();
    EXPECT_EQ(relative(full->values(), root),
              (std::vector<std::string>{"/f1", "/A/f2", "/A/B/f3"}));
    EXPECT_EQ(keysOf(*full), (std::vector<std::string>{"K1", "K2", "K3"}));
    EXPECT_EQ(walker.fileNames()->values(), (std::vector<std::string>{"f1", "f2", "f3"}));
    EXPECT_EQ(walker.pathPointers()->values(), (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(walker.Count(), 4);

    // Every full name is its folder followed by its bare name.
    for (std::size_t i = 1; i <= full->count(); ++i) {
        const auto folder = static_cast<std::size_t>(walker.pathPointers()->item(i));
        EXPECT_EQ(full->item(i), folders->item(folder) + walker.fileNames()->item(i));
    }
}

TEST_F(PathLoggerTest, FullNamesOnlyLeavesNamesAndPointersEmpty) {
    dir.write("A/B/f3", "");
    dir.write("f1", "");
    walk(true);
    EXPECT_TRUE(walker.fullFileNamesOnly());
    EXPECT_EQ(relative(walker.fullFileNames()->values(), root),
              (std::vector<std::string>{"/f1", "/A/B/f3"}));
    EXPECT_TRUE(walker.fileNames()->isEmpty());
    EXPECT_TRUE(walker.pathPointers()->isEmpty());
    EXPECT_EQ(walker.Count(), 3);
}

TEST_F(PathLoggerTest, FoldersAreVisitedLevelByLevelAndEntriesSortedByName) {
    for (const auto* name : {"B/B1/x", "A/A1/x", "b", "a", "Z", "B/y", "A/y"}) {
        dir.write(name, "");
    }
    walk(true);
    EXPECT_EQ(relative(walker.pathNames()->values(), root),
              (std::vector<std::string>{"/", "/A/", "/B/", "/A/A1/", "/B/B1/"}));
    // Byte order: capitals before small letters; a folder's files before its subfolders' files.
    EXPECT_EQ(relative(walker.fullFileNames()->values(), root),
              (std::vector<std::string>{"/Z", "/a", "/b", "/A/y", "/B/y", "/A/A1/x", "/B/B1/x"}));
}

TEST_F(PathLoggerTest, EmptyRootRecordsOnlyItself) {
    walk(true);
    EXPECT_EQ(walker.pathNames()->count(), 1U);
    EXPECT_EQ(walker.pathNames()->keyAt(1), "K0");
    EXPECT_TRUE(walker.fullFileNames()->isEmpty());
    EXPECT_EQ(walker.Count(), 1);
}

TEST_F(PathLoggerTest, MissingRootRecordsNothingAndKeepsTheCounter) {
    EXPECT_EQ(walker.Count(), 0);
    EXPECT_FALSE(walker.fullFileNamesOnly());
    walker.PathLogInit();
    walker.LogPath(root + "/missing");
    EXPECT_TRUE(walker.pathNames()->isEmpty());
    EXPECT_TRUE(walker.fullFileNames()->isEmpty());
    EXPECT_EQ(walker.Count(), 0);

    // A file is not a folder to walk either.
    dir.write("file", "");
    walker.LogPath(root + "/file");
    EXPECT_TRUE(walker.pathNames()->isEmpty());
}

TEST_F(PathLoggerTest, RootKeepsOrGetsOneTrailingSeparator) {
    walk(true);
    EXPECT_EQ(walker.pathNames()->item(1), root + "/");
    walker.PathLogInit();
    walker.LogPath(root + "/");
    EXPECT_EQ(walker.pathNames()->item(1), root + "/");
}

TEST_F(PathLoggerTest, ListsTakenSurviveTerminateAndASecondWalkNeedsFreshLists) {
    dir.write("f1", "");
    walk(true);
    const auto files = walker.fullFileNames();
    walker.Terminate();
    EXPECT_EQ(files->count(), 1U);
    EXPECT_TRUE(walker.fullFileNames()->isEmpty());
    EXPECT_EQ(walker.Count(), 2);

    walker.LogPath(root);
    EXPECT_THROW(walker.LogPath(root), std::invalid_argument);
}

TEST_F(PathLoggerTest, UnreadableFolderIsReportedAndTheWalkGoesOn) {
    dir.write("A/hidden", "");
    dir.write("B/seen", "");
    dir.write("top", "");
    fs::permissions(dir.path() / "A", fs::perms::none);
    if (access((dir.path() / "A").c_str(), R_OK) == 0) {
        GTEST_SKIP() << "permissions do not stop this user (root) from listing folders";
    }
    walk(true);
    EXPECT_EQ(relative(walker.fullFileNames()->values(), root),
              (std::vector<std::string>{"/top", "/B/seen"}));
    ASSERT_EQ(walker.unreadableFolders().size(), 1U);
    EXPECT_EQ(walker.unreadableFolders()[0].path, root + "/A/");
    EXPECT_FALSE(walker.unreadableFolders()[0].reason.empty());
    EXPECT_EQ(walker.Count(), 3);
}

TEST_F(PathLoggerTest, LinkLoopsEndAndEachRealFolderIsWalkedOnce) {
    dir.write("A/inner/f", "");
    fs::create_directory_symlink(dir.path(), dir.path() / "A" / "inner" / "up");
    fs::create_directory_symlink(dir.path() / "A", dir.path() / "A" / "self");
    fs::create_directory_symlink(dir.path() / "elsewhere", dir.path() / "dangling");
    dir.write("deep/x/real/g", "");
    fs::create_directory_symlink(dir.path() / "deep" / "x" / "real", dir.path() / "shortcut");
    walk(true);
    // "shortcut" is met a level before the folder it points to and stands for it; the real
    // folder is then not walked a second time. The dangling link is queued as a file (its read
    // fails later with a reason).
    EXPECT_EQ(
        relative(walker.pathNames()->values(), root),
        (std::vector<std::string>{"/", "/A/", "/deep/", "/shortcut/", "/A/inner/", "/deep/x/"}));
    EXPECT_EQ(relative(walker.fullFileNames()->values(), root),
              (std::vector<std::string>{"/dangling", "/shortcut/g", "/A/inner/f"}));
}

} // namespace
} // namespace plumbrae::testing

namespace plumbrae::testing {
namespace {

TEST(OrderedListTest, KeysAreUniqueAndLookedUpAfterUncheckedAppends) {
    core::OrderedList<int> list;
    list.add("K0", 10);
    list.addNew("K2", 20);
    list.addNew("K3", 30);
    EXPECT_EQ(list.positionOf("K3"), 3U);
    EXPECT_EQ(list.positionOf("K9"), 0U);
    EXPECT_THROW(list.add("K2", 40), std::invalid_argument);
    EXPECT_EQ(list.count(), 3U);
    EXPECT_EQ(list.item(2), 20);
    EXPECT_EQ(list.keyAt(1), "K0");
    EXPECT_THROW((void)list.item(0), std::out_of_range);
    EXPECT_THROW((void)list.item(4), std::out_of_range);

    list.addNew("K0", 50); // a caller that broke its promise is caught at the next lookup
    EXPECT_THROW((void)list.positionOf("K0"), std::logic_error);
}

} // namespace
} // namespace plumbrae::testing
