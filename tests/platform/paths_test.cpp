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

// Where settings and log go, by where the program runs from and who runs it.
TEST(Paths, UserFilesByProgramPlace) {
    ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
    ScopedEnv state("XDG_STATE_HOME", "/state");
    struct Case {
        const char* what;
        ProgramPlace place;
        const char* settings;
        const char* log;
        const char* log_parent;
    };
    const Case cases[] = {
        {"a build folder",
         {"/src/build", true, false, false},
         "/src/build/trelvane.ini",
         "/src/build/log/tvnlog.txt",
         ""},
        {"a portable copy run by root",
         {"/opt/fax", true, false, true},
         "/opt/fax/trelvane.ini",
         "/opt/fax/log/tvnlog.txt",
         ""},
        {"installed, a user",
         {"/usr/bin", false, true, false},
         "/cfg/trelvane/trelvane.ini",
         "/state/trelvane/log/tvnlog.txt",
         "/state/trelvane"},
        // Root may write /usr/bin, and must not: the log goes where system logs go.
        {"installed, root",
         {"/usr/bin", true, true, true},
         "/cfg/trelvane/trelvane.ini",
         "/var/log/trelvane/tvnlog.txt",
         ""},
        {"installed in a user's own prefix",
         {"/home/fax/.local/bin", true, true, false},
         "/cfg/trelvane/trelvane.ini",
         "/state/trelvane/log/tvnlog.txt",
         "/state/trelvane"},
        {"a folder the user may not write",
         {"/srv/tools", false, false, false},
         "/cfg/trelvane/trelvane.ini",
         "/state/trelvane/log/tvnlog.txt",
         "/state/trelvane"},
    };
    for (const Case& c : cases) {
        const UserFileLocations l = locate_user_files(c.place);
        EXPECT_EQ(l.settings_file, c.settings) << c.what;
        EXPECT_EQ(l.log_file, c.log) << c.what;
        EXPECT_EQ(l.log_parent_folder, c.log_parent) << c.what;
    }
}

TEST(Paths, XdgFoldersMustBeAbsolute) {
    ScopedEnv config("XDG_CONFIG_HOME", "relative/cfg");  // not absolute: ignored
    ScopedEnv state("XDG_STATE_HOME", nullptr);
    ScopedEnv home("HOME", "/home/fax");
    UserFileLocations l = locate_user_files("/nonexistent-trelvane-folder");
    EXPECT_EQ(l.settings_file, "/home/fax/.config/trelvane/trelvane.ini");
    if (geteuid() != 0) {
        EXPECT_EQ(l.log_file, "/home/fax/.local/state/trelvane/log/tvnlog.txt");
    }
}

TEST(Paths, InstallationFolders) {
    for (const char* folder : {"/usr/bin", "/usr/local/bin", "/usr/sbin", "/home/fax/.local/bin"}) {
        EXPECT_TRUE(is_installation_folder(folder)) << folder;
    }
    for (const char* folder : {"/src/trelvane/build", "/opt/trelvane", "/home/fax/binaries", ""}) {
        EXPECT_FALSE(is_installation_folder(folder)) << folder;
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
