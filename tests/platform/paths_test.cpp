#include <unistd.h>

#include <cstdlib>
#include <optional>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace trelvane::platform {
namespace {

// Sets an environment variable for one test and puts the old value back afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(Paths, ProgramFolderIsTheFolderOfTheRunningFile) {
    const std::string file = program_file_path();
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.front(), '/');
    EXPECT_EQ(name_of(file), "test_platform");
    EXPECT_EQ(program_folder() + "/test_platform", file);
    EXPECT_EQ(program_folder(), TRELVANE_BINARY_DIR "/tests");
}

TEST(Paths, TempFolderAlwaysEndsWithASeparator) {
    {
        ScopedEnv env("TMPDIR", "/var/tmp");
        EXPECT_EQ(temp_folder(), "/var/tmp/");
    }
    {
        ScopedEnv env("TMPDIR", "/var/tmp/");
        EXPECT_EQ(temp_folder(), "/var/tmp/");
    }
    {
        ScopedEnv env("TMPDIR", nullptr);
        EXPECT_EQ(temp_folder(), "/tmp/");
    }
    {
        ScopedEnv env("TMPDIR", "");
        EXPECT_EQ(temp_folder(), "/tmp/");
    }
    {
        ScopedEnv env("TMPDIR", "relative");
        EXPECT_EQ(temp_folder(), "/tmp/");
    }
}

TEST(Paths, UserFilesLiveBesideAWritableProgram) {
    testsupport::TempDir dir;
    UserFileLocations here = locate_user_files(dir.path());
    EXPECT_EQ(here.settings_file, dir.path() + "/trelvane.ini");
    EXPECT_EQ(here.log_file, dir.path() + "/log/tvnlog.txt");
    EXPECT_EQ(here.log_parent_folder, "");
}

TEST(Paths, UserFilesGoToXdgFoldersOtherwise) {
    const std::string unwritable = "/nonexistent-trelvane-folder";
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
        ScopedEnv state("XDG_STATE_HOME", "/state");
        UserFileLocations l = locate_user_files(unwritable);
        EXPECT_EQ(l.settings_file, "/cfg/trelvane/trelvane.ini");
        EXPECT_EQ(l.log_file, "/state/trelvane/log/tvnlog.txt");
        EXPECT_EQ(l.log_parent_folder, "/state/trelvane");
    }
    {
        ScopedEnv config("XDG_CONFIG_HOME", "relative/cfg");  // not absolute: ignored
        ScopedEnv state("XDG_STATE_HOME", nullptr);
        ScopedEnv home("HOME", "/home/fax");
        UserFileLocations l = locate_user_files(unwritable);
        EXPECT_EQ(l.settings_file, "/home/fax/.config/trelvane/trelvane.ini");
        EXPECT_EQ(l.log_file, "/home/fax/.local/state/trelvane/log/tvnlog.txt");
    }
}

struct SplitCase {
    const char* path;
    const char* folder;
    const char* name;
};

TEST(Paths, FolderAndNameOfAPath) {
    const SplitCase cases[] = {{"/a/b/c.pdf", "/a/b", "c.pdf"},
                               {"c.pdf", "", "c.pdf"},
                               {"/c.pdf", "/", "c.pdf"},
                               {"a/", "a", ""},
                               {"rel/x", "rel", "x"}};
    for (const auto& c : cases) {
        EXPECT_EQ(folder_of(c.path), c.folder) << c.path;
        EXPECT_EQ(name_of(c.path), c.name) << c.path;
    }
}

TEST(Clock, FormatsLocalTime) {
    ScopedEnv tz("TZ", "UTC");
    tzset();
    EXPECT_EQ(format_local_time(1241111109), "2009-04-30 17:05:09");
    EXPECT_EQ(format_local_time(0), "1970-01-01 00:00:00");
    EXPECT_EQ(local_time_stamp().size(), 19u);
}

}  // namespace
}  // namespace trelvane::platform
