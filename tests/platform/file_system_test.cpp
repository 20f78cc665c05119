#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace trelvane::platform {
namespace {

using testsupport::read_file;
using testsupport::TempDir;
using testsupport::write_file;

TEST(FileSystem, ExistenceAndSize) {
    TempDir dir;
    ASSERT_TRUE(write_file(dir.file("empty"), ""));
    ASSERT_TRUE(write_file(dir.file("three"), "abc"));
    EXPECT_TRUE(file_exists(dir.file("three")));
    EXPECT_FALSE(file_exists(dir.path()));
    EXPECT_TRUE(folder_exists(dir.path()));
    EXPECT_FALSE(folder_exists(dir.file("three")));
    EXPECT_FALSE(file_exists(dir.file("missing")));
    EXPECT_FALSE(folder_exists(""));
    EXPECT_EQ(readable_file_size(dir.file("empty")), 0u);
    EXPECT_EQ(readable_file_size(dir.file("three")), 3u);
    EXPECT_FALSE(readable_file_size(dir.file("missing")));
    EXPECT_FALSE(readable_file_size(dir.path()));
}

TEST(FileSystem, PipesAreNeverReadSoNothingBlocks) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
    EXPECT_FALSE(readable_file_size(dir.file("pipe")));
    EXPECT_FALSE(read_file_start(dir.file("pipe"), 18));
    EXPECT_FALSE(read_small_file(dir.file("pipe"), 100));
    // A hint only: it must come back at once for a pipe, and do nothing for a missing file.
    prefetch_file(dir.file("pipe"));
    prefetch_file(dir.file("missing"));
}

TEST(FileSystem, ReadFileStartAndSmallFile) {
    TempDir dir;
    ASSERT_TRUE(write_file(dir.file("f"), "0123456789"));
    EXPECT_EQ(read_file_start(dir.file("f"), 4), "0123");
    EXPECT_EQ(read_file_start(dir.file("f"), 100), "0123456789");
    EXPECT_EQ(read_small_file(dir.file("f"), 10), "0123456789");
    EXPECT_FALSE(read_small_file(dir.file("f"), 9));
}

TEST(FileSystem, FolderCreation) {
    TempDir dir;
    EXPECT_TRUE(create_folder(dir.file("one")));
    EXPECT_TRUE(create_folder(dir.file("one")));   // existing is fine
    EXPECT_FALSE(create_folder(dir.file("a/b")));  // one level only
    EXPECT_TRUE(create_folder_chain(dir.file("a/b/c")));
    EXPECT_TRUE(folder_exists(dir.file("a/b/c")));
    ASSERT_TRUE(write_file(dir.file("file"), "x"));
    EXPECT_FALSE(create_folder(dir.file("file")));
    EXPECT_FALSE(create_folder_chain(dir.file("file/x")));
}

TEST(FileSystem, RemoveFileIgnoresMissingFiles) {
    TempDir dir;
    ASSERT_TRUE(write_file(dir.file("f"), "x"));
    EXPECT_TRUE(remove_file(dir.file("f")));
    EXPECT_FALSE(file_exists(dir.file("f")));
    EXPECT_TRUE(remove_file(dir.file("f")));
}

TEST(FileSystem, FailuresGiveTheSystemsReasonAndSuccessesClearIt) {
    TempDir dir;
    const std::string f = dir.file("f");
    const std::string missing = dir.file("missing");
    ASSERT_TRUE(write_file(f, "0123456789"));
    const FileTimes times{1000000000, 0, 1000000000, 0};
    struct Case {
        const char* what;
        std::function<bool(int*)> call;
        bool ok;
        int error;
    };
    const Case cases[] = {
        {"read times, missing", [&](int* e) { return read_file_times(missing, e).has_value(); },
         false, ENOENT},
        {"read times", [&](int* e) { return read_file_times(f, e).has_value(); }, true, 0},
        {"set times, missing", [&](int* e) { return set_file_times(missing, times, e); }, false,
         ENOENT},
        {"set times below a file", [&](int* e) { return set_file_times(f + "/x", times, e); },
         false, ENOTDIR},
        {"set times", [&](int* e) { return set_file_times(f, times, e); }, true, 0},
        {"copy times, no source", [&](int* e) { return copy_file_times(missing, f, e); }, false,
         ENOENT},
        {"copy times, no target", [&](int* e) { return copy_file_times(f, missing, e); }, false,
         ENOENT},
        {"folder chain below a file", [&](int* e) { return create_folder_chain(f + "/x/y", e); },
         false, ENOTDIR},
        {"folder chain, no name", [&](int* e) { return create_folder_chain("", e); }, false,
         ENOENT},
        {"folder chain", [&](int* e) { return create_folder_chain(dir.file("a/b"), e); }, true, 0},
        {"remove a folder", [&](int* e) { return remove_file(dir.file("a/b"), e); }, false, EISDIR},
        {"remove, missing", [&](int* e) { return remove_file(missing, e); }, true, 0},
        {"small file, missing",
         [&](int* e) { return read_small_file(missing, 100, e).has_value(); }, false, ENOENT},
        {"small file, too large", [&](int* e) { return read_small_file(f, 9, e).has_value(); },
         false, EFBIG},
        {"small file, a folder",
         [&](int* e) { return read_small_file(dir.path(), 100, e).has_value(); }, false, EISDIR},
        {"file start, missing", [&](int* e) { return read_file_start(missing, 4, e).has_value(); },
         false, ENOENT},
        {"file start", [&](int* e) { return read_file_start(f, 4, e).has_value(); }, true, 0},
        {"replace, no folder",
         [&](int* e) { return replace_file_atomically(dir.file("no/x"), "y", e); }, false, ENOENT},
        {"replace", [&](int* e) { return replace_file_atomically(f, "y", e); }, true, 0},
        {"unique file, no folder",
         [&](int* e) { return !create_unique_file(dir.file("no/"), "w", ".tmp", e).empty(); },
         false, ENOENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int error = -1;  // a success must clear it, a failure must set it
        EXPECT_EQ(c.call(&error), c.ok);
        EXPECT_EQ(error, c.error);
    }
}

TEST(FileSystem, AppendCreatesAndAppends) {
    TempDir dir;
    EXPECT_TRUE(append_to_file(dir.file("log"), "one\r\n"));
    EXPECT_TRUE(append_to_file(dir.file("log"), "two\n"));
    EXPECT_EQ(read_file(dir.file("log")), "one\r\ntwo\n");
    EXPECT_FALSE(append_to_file(dir.file("missing/log"), "x"));
}

TEST(FileSystem, AppendsOfTwoProcessesNeverInterleave) {
    TempDir dir;
    const std::string log = dir.file("log");
    const std::string record_a = std::string(3000, 'a') + "\n";
    const std::string record_b = std::string(3000, 'b') + "\n";
    constexpr int kRecords = 200;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int i = 0; i < kRecords; ++i)
            append_to_file(log, record_a);
        _exit(0);
    }
    for (int i = 0; i < kRecords; ++i)
        append_to_file(log, record_b);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);

    std::istringstream lines(read_file(log));
    std::string line;
    int a = 0, b = 0;
    while (std::getline(lines, line)) {
        if (line + "\n" == record_a) {
            ++a;
        } else if (line + "\n" == record_b) {
            ++b;
        } else {
            ADD_FAILURE() << "mixed record of length " << line.size();
        }
    }
    EXPECT_EQ(a, kRecords);
    EXPECT_EQ(b, kRecords);
}

TEST(FileSystem, UniqueFilesAreOwnerOnlyAndNeverShared) {
    TempDir dir;
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        std::string path = create_unique_file(dir.path() + "/", "tvnintif", ".tmp");
        ASSERT_FALSE(path.empty());
        EXPECT_TRUE(seen.insert(path).second) << path;
        EXPECT_EQ(path.rfind(dir.path() + "/tvnintif-" + std::to_string(getpid()) + "-", 0), 0u)
            << path;
        EXPECT_EQ(path.substr(path.size() - 4), ".tmp");
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(st.st_size, 0);
    }
    EXPECT_TRUE(create_unique_file(dir.file("missing/"), "x", ".tmp").empty());
}

TEST(FileSystem, ReplaceFileAtomically) {
    TempDir dir;
    EXPECT_TRUE(replace_file_atomically(dir.file("f"), "new"));
    EXPECT_EQ(read_file(dir.file("f")), "new");
    EXPECT_TRUE(replace_file_atomically(dir.file("f"), "newer"));
    EXPECT_EQ(read_file(dir.file("f")), "newer");
    EXPECT_FALSE(replace_file_atomically(dir.file("missing/f"), "x"));
}

TEST(FileSystem, CopyFileTimesCopiesModificationAndAccessTimes) {
    TempDir dir;
    ASSERT_TRUE(write_file(dir.file("src"), "s"));
    ASSERT_TRUE(write_file(dir.file("dst"), "d"));
    const timespec times[2] = {{1000000000, 123456789}, {1200000000, 987654321}};
    ASSERT_EQ(utimensat(AT_FDCWD, dir.file("src").c_str(), times, 0), 0);
    EXPECT_TRUE(copy_file_times(dir.file("src"), dir.file("dst")));
    struct stat st {};
    ASSERT_EQ(stat(dir.file("dst").c_str(), &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
    EXPECT_EQ(st.st_mtim.tv_sec, 1200000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 987654321);
    EXPECT_FALSE(copy_file_times(dir.file("missing"), dir.file("dst")));
    EXPECT_FALSE(copy_file_times(dir.file("src"), dir.file("missing")));
}

}  // namespace
}  // namespace trelvane::platform

namespace trelvane::platform {
namespace {

// Claims on several threads share levels: a level goes only when the last claim on it ends,
// only if this process made it, and only while it is empty.
TEST(FolderClaim, MadeLevelsGoWhenTheLastClaimEndsEmpty) {
    TempDir dir;
    ASSERT_TRUE(create_folder(dir.file("old")));
    {
        FolderClaim a;
        FolderClaim b;
        ASSERT_TRUE(a.claim(dir.file("old/x/y")));
        ASSERT_TRUE(b.claim(dir.file("old/x/z")));
        a.release();
        EXPECT_FALSE(folder_exists(dir.file("old/x/y")));
        EXPECT_TRUE(folder_exists(dir.file("old/x/z")));  // b still holds x and z
        FolderClaim c;
        ASSERT_TRUE(c.claim(dir.file("old/x/z")));
        b.release();
        EXPECT_TRUE(folder_exists(dir.file("old/x/z")));  // c holds it now
    }
    EXPECT_FALSE(folder_exists(dir.file("old/x")));
    EXPECT_TRUE(folder_exists(dir.file("old")));  // there before: never taken away

    {
        FolderClaim kept;
        ASSERT_TRUE(kept.claim(dir.file("old/p/q")));
        ASSERT_TRUE(write_file(dir.file("old/p/q/a.pdf"), "%PDF"));
    }
    EXPECT_EQ(read_file(dir.file("old/p/q/a.pdf")), "%PDF");

    ASSERT_TRUE(write_file(dir.file("blocker"), "file"));
    FolderClaim blocked;
    int error = 0;
    EXPECT_FALSE(blocked.claim(dir.file("blocker/sub/deeper"), &error));
    EXPECT_EQ(error, ENOTDIR);
}

// What a path names, and whether two paths name one place before either exists.
TEST(FileSystem, KindsAndLocations) {
    TempDir dir;
    ASSERT_TRUE(write_file(dir.file("file"), "x"));
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink(dir.file("file").c_str(), dir.file("link").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("gone").c_str(), dir.file("dangling").c_str()), 0);
    EXPECT_EQ(file_kind(dir.file("file")), FileKind::Regular);
    EXPECT_EQ(file_kind(dir.file("fifo")), FileKind::Fifo);
    EXPECT_EQ(file_kind(dir.path()), FileKind::Folder);
    EXPECT_EQ(file_kind(dir.file("link")), FileKind::Regular);
    EXPECT_EQ(file_kind(dir.file("dangling")), FileKind::Missing);
    EXPECT_EQ(file_kind("/dev/null"), FileKind::Device);
    EXPECT_EQ(link_target(dir.file("dangling")), dir.file("gone"));

    const struct {
        std::string a;
        std::string b;
        bool same;
    } cases[] = {
        {dir.file("file"), dir.file("link"), true},
        {dir.file("new/a.pdf"), dir.file("new/./a.pdf"), true},
        {dir.file("new/a.pdf"), dir.file("new/x/../a.pdf"), true},
        {dir.file("new/a.pdf"), dir.path() + "//new/a.pdf", true},
        {dir.file("new/a.pdf"), dir.file("new/b.pdf"), false},
        {dir.file("new/a.pdf"), dir.file("other/a.pdf"), false},
        {dir.file("a.pdf"), dir.file("file/../a.pdf"), false},  // file is no folder
    };
    for (const auto& c : cases)
        EXPECT_EQ(same_location(c.a, c.b), c.same) << c.a << " vs " << c.b;
}

}  // namespace
}  // namespace trelvane::platform
