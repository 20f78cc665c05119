// The file that appears at its destination only when complete (used by the PDF writer).
#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "support/temp_dir.h"

namespace trelvane::platform {
namespace {

using testsupport::read_file;
using testsupport::TempDir;

size_t entries_in(const std::string& folder) {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        (void)e;
        ++n;
    }
    return n;
}

void write_all(int fd, const std::string& bytes) {
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

TEST(AtomicFile, CommitReplacesTheDestinationOnlyThen) {
    TempDir dir;
    const std::string dest = dir.file("out.pdf");
    ASSERT_TRUE(testsupport::write_file(dest, "older"));
    AtomicFile file;
    ASSERT_TRUE(file.open(dest));
    write_all(file.fd(), "newer");
    EXPECT_EQ(read_file(dest), "older");  // untouched until the commit
    // The new file has no name yet: a run killed now leaves nothing in the folder.
    EXPECT_EQ(file.temporary_path(), "");
    EXPECT_EQ(entries_in(dir.path()), 1u);
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(read_file(dest), "newer");
    EXPECT_EQ(entries_in(dir.path()), 1u);
}

// A run removes the empty folder it made for a fax that failed, without knowing that another run
// (a share of the same run on another machine) is writing an unnamed file there: that file
// still lands.
TEST(AtomicFile, CommitMakesAgainTheFolderAnotherRunRemovedMeanwhile) {
    TempDir dir;
    const std::string folder = dir.file("sub/deep");
    ASSERT_TRUE(std::filesystem::create_directories(folder));
    AtomicFile file;
    ASSERT_TRUE(file.open(folder + "/out.pdf"));
    write_all(file.fd(), "whole");
    if (!file.temporary_path().empty())
        GTEST_SKIP() << "no unnamed files here: the folder is not empty while the file is written";
    ASSERT_EQ(::rmdir(folder.c_str()), 0);
    ASSERT_EQ(::rmdir(dir.file("sub").c_str()), 0);
    ASSERT_TRUE(file.commit()) << std::strerror(file.error());
    EXPECT_EQ(read_file(folder + "/out.pdf"), "whole");
    EXPECT_EQ(entries_in(folder), 1u);
}

TEST(AtomicFile, DiscardAndDestructionLeaveNothingAndKeepTheOlderFile) {
    TempDir dir;
    const std::string dest = dir.file("out.pdf");
    ASSERT_TRUE(testsupport::write_file(dest, "older"));
    {
        AtomicFile file;
        ASSERT_TRUE(file.open(dest));
        write_all(file.fd(), "partial");
        file.discard();
        EXPECT_FALSE(file.is_open());
    }
    {
        AtomicFile file;
        ASSERT_TRUE(file.open(dest));
        write_all(file.fd(), "partial");
    }  // never committed
    EXPECT_EQ(read_file(dest), "older");
    EXPECT_EQ(entries_in(dir.path()), 1u);
}

TEST(AtomicFile, NewFileGetsTheUsualPermissions) {
    TempDir dir;
    const mode_t old_mask = ::umask(027);
    AtomicFile file;
    const bool opened = file.open(dir.file("out.pdf"));
    const bool committed = opened && file.commit();
    ::umask(old_mask);
    ASSERT_TRUE(committed);
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("out.pdf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(AtomicFile, TwoAtOnceForOneDestinationLeaveOneWholeFile) {
    TempDir dir;
    AtomicFile a, b;
    ASSERT_TRUE(a.open(dir.file("out.pdf")));
    ASSERT_TRUE(b.open(dir.file("out.pdf")));
    write_all(a.fd(), "first");
    write_all(b.fd(), "second");
    ASSERT_TRUE(a.commit());
    ASSERT_TRUE(b.commit());  // replaces the first in one step
    EXPECT_EQ(read_file(dir.file("out.pdf")), "second");
    EXPECT_EQ(entries_in(dir.path()), 1u);
}

TEST(AtomicFile, FailuresLeaveNothingBehind) {
    TempDir dir;
    AtomicFile missing_folder;
    EXPECT_FALSE(missing_folder.open(dir.file("none/out.pdf")));
    EXPECT_EQ(missing_folder.error(), ENOENT);
    AtomicFile empty_name;
    EXPECT_FALSE(empty_name.open(""));
    // A folder in the way: the rename fails and the temporary file is removed.
    std::filesystem::create_directory(dir.file("taken"));
    std::filesystem::create_directory(dir.file("taken/inner"));
    AtomicFile blocked;
    ASSERT_TRUE(blocked.open(dir.file("taken")));
    EXPECT_FALSE(blocked.commit());
    EXPECT_EQ(blocked.error(), EISDIR);
    EXPECT_EQ(entries_in(dir.path()), 1u);
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("taken/inner")));
}

// Whatever took the destination's place while the file was being written: a regular file (or
// a link) is replaced, anything else stays and the commit fails, leaving no name behind.
TEST(AtomicFile, ReplacesOnlyARegularFileThatAppearedMeanwhile) {
    TempDir dir;
    ASSERT_TRUE(testsupport::write_file(dir.file("target"), "old"));
    const struct {
        const char* what;
        std::function<bool(const std::string&)> make;
        bool replaced;
    } cases[] = {
        {"regular file",
         [](const std::string& p) { return testsupport::write_file(p, "older PDF"); }, true},
        {"link to a file",
         [&](const std::string& p) {
             return ::symlink(dir.file("target").c_str(), p.c_str()) == 0;
         },
         true},
        {"FIFO", [](const std::string& p) { return ::mkfifo(p.c_str(), 0600) == 0; }, false},
        {"folder", [](const std::string& p) { return ::mkdir(p.c_str(), 0700) == 0; }, false},
        {"device",
         [](const std::string& p) {
             return ::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string destination = dir.file(std::string(c.what) + ".pdf");
        AtomicFile file;
        ASSERT_TRUE(file.open(destination));
        write_all(file.fd(), "new PDF");
        if (!c.make(destination)) {
            EXPECT_EQ(std::string(c.what), "device") << "only a device needs root to make";
            continue;
        }
        EXPECT_EQ(file.commit(), c.replaced);
        const auto type = std::filesystem::symlink_status(destination).type();
        if (c.replaced) {
            EXPECT_EQ(type, std::filesystem::file_type::regular);
            EXPECT_EQ(read_file(destination), "new PDF");
        } else {
            EXPECT_NE(type, std::filesystem::file_type::regular);
            EXPECT_NE(file.error(), 0);
        }
    }
    EXPECT_EQ(read_file(dir.file("target")), "old");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace trelvane::platform
