// `cmake --install` puts the program, its manual page and its help page in place, and the
// installed program works from there.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fax_fixtures.h"
#include "run_binary.h"
#include "support/pdf_tools.h"
#include "support/temp_dir.h"

namespace trelvane::e2e {
namespace {

using testsupport::read_file;
using testsupport::TempDir;

TEST(Install, PutsProgramManualAndHelpPageInPlace) {
    TRELVANE_REQUIRE_TOOL("cmake");
    TempDir prefix;
    const testsupport::ToolRun install = testsupport::run_tool(
        {"cmake", "--install", TRELVANE_BINARY_DIR, "--prefix", prefix.path()});
    ASSERT_EQ(install.exit_code, 0) << install.output;

    const std::string program = prefix.file("bin/trelvane");
    struct stat st {};
    ASSERT_EQ(stat(program.c_str(), &st), 0) << install.output;
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    const std::string source = TRELVANE_SOURCE_DIR;
    EXPECT_EQ(read_file(prefix.file("share/man/man1/trelvane.1")),
              read_file(source + "/docs/trelvane.1"));
    EXPECT_EQ(read_file(prefix.file("share/trelvane/trelvane-help.html")),
              read_file(source + "/docs/trelvane-help.html"));

    const RunResult version = run_trelvane({"--version"}, {}, {}, program);
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out.rfind("trelvane ", 0), 0u) << version.out;

    TempDir work;
    ASSERT_TRUE(write_small_fax(work.file("a.fxs"), 1));
    const RunResult run = run_trelvane(
        {"/q", "/f=" + work.file("a.fxs"), "/sf=" + work.file("a.pdf"), "/log=" + work.file("l")},
        {{"TMPDIR", work.path()}}, {}, program);
    EXPECT_EQ(run.exit_code, 0) << read_file(work.file("l"));
    EXPECT_EQ(read_file(work.file("a.pdf")).substr(0, 8), "%PDF-1.1");
}

// Installed, the program keeps its settings and log out of its installation, even where it
// may write there (root, or a prefix of the user's own).
TEST(Install, TheInstalledProgramWritesNothingBesideItself) {
    TRELVANE_REQUIRE_TOOL("cmake");
    TempDir prefix;
    const testsupport::ToolRun install = testsupport::run_tool(
        {"cmake", "--install", TRELVANE_BINARY_DIR, "--prefix", prefix.path()});
    ASSERT_EQ(install.exit_code, 0) << install.output;
    const std::string program = prefix.file("bin/trelvane");
    TempDir home;
    const std::map<std::string, std::string> env = {{"HOME", home.path()},
                                                    {"XDG_CONFIG_HOME", home.file("config")},
                                                    {"XDG_STATE_HOME", home.file("state")},
                                                    {"TMPDIR", home.path()}};
    const std::string log = geteuid() == 0 ? "/var/log/trelvane/tvnlog.txt"
                                           : home.file("state/trelvane/log/tvnlog.txt");

    const RunResult help = run_trelvane({"--help"}, env, {}, program);
    EXPECT_NE(help.out.find("  log       " + log + "\n"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("  settings  " + home.file("config/trelvane/trelvane.ini")),
              std::string::npos)
        << help.out;

    // A real run writes its record there; root's would go to the system's log folder, which a
    // test leaves alone.
    if (geteuid() != 0) {
        ASSERT_TRUE(write_small_fax(home.file("a.fxs"), 1));
        const RunResult run = run_trelvane(
            {"/q", "/f=" + home.file("a.fxs"), "/sf=" + home.file("a.pdf")}, env, {}, program);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        EXPECT_NE(read_file(log).find(home.file("a.fxs")), std::string::npos);
    }
    std::vector<std::string> beside;
    for (const auto& entry : std::filesystem::directory_iterator(prefix.file("bin")))
        beside.push_back(entry.path().filename().string());
    EXPECT_EQ(beside, std::vector<std::string>{"trelvane"});
}

}  // namespace
}  // namespace trelvane::e2e
