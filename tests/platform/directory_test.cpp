#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "platform/directory.h"
#include "support/temp_dir.h"

namespace trelvane::platform {
namespace {

using testsupport::TempDir;
using testsupport::write_file;

std::vector<std::string> names(std::vector<DirectoryEntry> entries) {
    std::vector<std::string> result;
    for (const auto& e : entries)
        result.push_back(e.name);
    std::sort(result.begin(), result.end());
    return result;
}

const DirectoryEntry* find(const std::vector<DirectoryEntry>& entries, const std::string& name) {
    for (const auto& e : entries) {
        if (e.name == name)
            return &e;
    }
    return nullptr;
}

TEST(FindMatchingEntries, FiltersByPatternAndReportsKinds) {
    TempDir dir;
    ASSERT_TRUE(write_file(dir.file("a.fxs"), "x"));
    ASSERT_TRUE(write_file(dir.file("B.FXD"), "x"));
    ASSERT_TRUE(write_file(dir.file("notes.txt"), "x"));
    ASSERT_TRUE(write_file(dir.file("plain"), "x"));
    ASSERT_EQ(mkdir(dir.file("sub.fxs").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.file("other").c_str(), 0755), 0);

    auto all = find_matching_entries(dir.path() + "/*.*");
    EXPECT_EQ(names(all), (std::vector<std::string>{".", "..", "B.FXD", "a.fxs", "notes.txt",
                                                    "other", "plain", "sub.fxs"}));
    ASSERT_NE(find(all, "other"), nullptr);
    EXPECT_TRUE(find(all, "other")->is_folder);
    EXPECT_FALSE(find(all, "plain")->is_folder);
    EXPECT_FALSE(find(all, "plain")->is_special);

    auto fxs = find_matching_entries(dir.path() + "/*.fxs");
    EXPECT_EQ(names(fxs), (std::vector<std::string>{"a.fxs", "sub.fxs"}));
    EXPECT_TRUE(find(fxs, "sub.fxs")->is_folder);

    EXPECT_EQ(names(find_matching_entries(dir.path() + "/*.FX?")),
              (std::vector<std::string>{"B.FXD", "a.fxs", "sub.fxs"}));
}

TEST(FindMatchingEntries, MarksLinksAndSpecialFiles) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("real").c_str(), 0755), 0);
    ASSERT_EQ(symlink(dir.file("real").c_str(), dir.file("loop").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("missing").c_str(), dir.file("dangling").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.file("pipe.fxs").c_str(), 0600), 0);
    ASSERT_TRUE(write_file(dir.file("target.fxs"), "x"));
    ASSERT_EQ(symlink(dir.file("target.fxs").c_str(), dir.file("link.fxs").c_str()), 0);

    auto all = find_matching_entries(dir.path() + "/*");
    ASSERT_NE(find(all, "loop"), nullptr);
    EXPECT_TRUE(find(all, "loop")->is_folder);
    EXPECT_TRUE(find(all, "loop")->is_link);
    EXPECT_TRUE(find(all, "dangling")->is_special);
    EXPECT_TRUE(find(all, "pipe.fxs")->is_special);
    EXPECT_FALSE(find(all, "link.fxs")->is_special);
    EXPECT_FALSE(find(all, "link.fxs")->is_folder);
}

TEST(FindMatchingEntries, MissingFolderOrEmptyPatternGiveNothing) {
    TempDir dir;
    EXPECT_TRUE(find_matching_entries(dir.path() + "/nope/*.*").empty());
    EXPECT_TRUE(find_matching_entries(dir.path() + "/").empty());
    ASSERT_TRUE(write_file(dir.file("file"), "x"));
    EXPECT_TRUE(find_matching_entries(dir.file("file") + "/*.*").empty());
}

}  // namespace
}  // namespace trelvane::platform
