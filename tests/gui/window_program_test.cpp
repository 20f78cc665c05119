// The real program's window under Xvfb, driven with xdotool as a user would drive it: the
// captions as the window system shows them, and settings that survive SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/settings_file.h"
#include "gui_test_support.h"
#include "support/pdf_tools.h"
#include "support/temp_dir.h"

namespace trelvane::gui {
namespace {

using testsupport::TempDir;

// Sets DISPLAY for the xdotool and xprop runs of one test.
class DisplayOverride {
  public:
    explicit DisplayOverride(const std::string& display) {
        if (const char* old = std::getenv("DISPLAY")) {
            old_ = old;
        }
        setenv("DISPLAY", display.c_str(), 1);
    }
    ~DisplayOverride() {
        if (old_) {
            setenv("DISPLAY", old_->c_str(), 1);
        } else {
            unsetenv("DISPLAY");
        }
    }

  private:
    std::optional<std::string> old_;
};

// A copy of the program in a folder of its own, so that its settings and log live there.
class ProgramCopy {
  public:
    ProgramCopy() {
        std::filesystem::create_directories(dir_.file("prog"));
        std::filesystem::copy_file(TRELVANE_EXE, program());
        // The window's module, which the program looks for beside itself.
        const std::filesystem::path module =
            std::filesystem::path(TRELVANE_EXE).parent_path() / "trelvane-window.so";
        std::filesystem::copy_file(module, dir_.file("prog/trelvane-window.so"));
    }
    std::string program() const { return dir_.file("prog/trelvane"); }
    std::string settings() const { return dir_.file("prog/trelvane.ini"); }
    std::string file(const std::string& name) const { return dir_.file(name); }

  private:
    TempDir dir_;
};

// The visible windows whose name (as xdotool reads it) matches the pattern.
std::vector<std::string> find_windows(const std::string& pattern) {
    const testsupport::ToolRun run =
        testsupport::run_tool({"xdotool", "search", "--onlyvisible", "--name", pattern});
    std::vector<std::string> ids;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) {
            ids.push_back(line);
        }
    }
    return ids;
}

std::string wait_for_window(const std::string& pattern) {
    for (int i = 0; i < 200; ++i) {
        const std::vector<std::string> ids = find_windows(pattern);
        if (!ids.empty()) {
            return ids.front();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

// The caption as a window manager reads it: the window's _NET_WM_NAME property.
std::string net_wm_name(const std::string& id) {
    const testsupport::ToolRun run = testsupport::run_tool({"xprop", "-id", id, "_NET_WM_NAME"});
    const size_t open = run.output.find(" = \"");
    const size_t close = run.output.rfind('"');
    if (open == std::string::npos || close <= open + 4) {
        return run.output;
    }
    return run.output.substr(open + 4, close - open - 4);
}

void keys(const std::string& window, const std::vector<std::string>& names) {
    testsupport::run_tool({"xdotool", "windowfocus", "--sync", window});
    for (const std::string& name : names) {
        testsupport::run_tool({"xdotool", "key", name});
    }
}

// The program on the Xvfb display; ended with SIGTERM (as a logout or `kill` would) at the
// latest when the test leaves.
class RunningProgram {
  public:
    RunningProgram(const ProgramCopy& copy, const std::string& display)
        : pid_(guitest::spawn_background(
              {copy.program()},
              {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", "WAYLAND_DISPLAY="})) {}
    ~RunningProgram() { terminate(); }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool started() const { return pid_ > 0; }
    // Returns the wait status.
    int terminate() {
        int status = 0;
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        return status;
    }

  private:
    pid_t pid_;
};

class WindowProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "xdotool", "xprop"}) {
            if (!testsupport::tool_available(tool)) {
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps installs it)";
            }
        }
        xvfb_.emplace();
        ASSERT_TRUE(xvfb_->running());
        display_.emplace(xvfb_->name());
    }

    std::optional<guitest::XvfbDisplay> xvfb_;
    std::optional<DisplayOverride> display_;
};

TEST_F(WindowProgram, CaptionsAreExactlyTheWindowsOwn) {
    ProgramCopy copy;
    RunningProgram program(copy, xvfb_->name());
    ASSERT_TRUE(program.started());
    const std::string main = wait_for_window("^Vuvod Trelvane$");
    ASSERT_FALSE(main.empty()) << "the window did not appear";
    EXPECT_EQ(net_wm_name(main), "Vuvod Trelvane");

    keys(main, {"alt+a"});
    const std::string about = wait_for_window("^About");
    ASSERT_FALSE(about.empty());
    EXPECT_EQ(net_wm_name(about), "About");
    keys(about, {"Escape"});

    keys(main, {"alt+g"});  // no source chosen yet
    const std::string warning = wait_for_window("^Warning");
    ASSERT_FALSE(warning.empty());
    EXPECT_EQ(net_wm_name(warning), "Warning");
    program.terminate();

    // A save folder that cannot be created: the error box.
    ProgramCopy blocked;
    const std::string source = blocked.file("in");
    std::filesystem::create_directories(source);
    ASSERT_TRUE(guitest::write_sample_fax(source + "/a.fxs", 5));
    ASSERT_TRUE(testsupport::write_file(blocked.file("file"), "a file, not a folder"));
    ASSERT_TRUE(testsupport::write_file(
        blocked.settings(),
        "[Main]\nFaxDir=" + source + "\nSaveDir=" + blocked.file("file/out") + "\n"));
    RunningProgram second(blocked, xvfb_->name());
    ASSERT_TRUE(second.started());
    const std::string main2 = wait_for_window("^Vuvod Trelvane$");
    ASSERT_FALSE(main2.empty());
    keys(main2, {"alt+g"});
    const std::string error = wait_for_window("^Error");
    ASSERT_FALSE(error.empty());
    EXPECT_EQ(net_wm_name(error), "Error");
}

TEST_F(WindowProgram, SettingsTypedIntoTheWindowSurviveSigterm) {
    ProgramCopy copy;
    RunningProgram program(copy, xvfb_->name());
    ASSERT_TRUE(program.started());
    const std::string main = wait_for_window("^Vuvod Trelvane$");
    ASSERT_FALSE(main.empty());
    // "File &filter", then on to the source edit, and type a folder.
    keys(main, {"alt+f", "Tab"});
    testsupport::run_tool({"xdotool", "type", "--delay", "20", "/srv/fax/in"});
    std::this_thread::sleep_for(std::chrono::seconds(2));  // the user pauses, then logs out
    const int status = program.terminate();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(app::read_saved_folders(copy.settings()).fax_dir, "/srv/fax/in")
        << testsupport::read_file(copy.settings());
}

// A second start (a file manager opening a fax) hands the fax to the running window, which
// converts it; no second window appears.
TEST_F(WindowProgram, ASecondStartHandsItsFilesToTheRunningWindow) {
    ProgramCopy copy;
    ASSERT_TRUE(guitest::write_sample_fax(copy.file("Feb In.fxs"), 9));
    ASSERT_TRUE(testsupport::write_file(copy.settings(),
                                        "[Main]\nFaxDir=\nSaveDir=" + copy.file("out") + "\n"));
    RunningProgram first(copy, xvfb_->name());
    ASSERT_TRUE(first.started());
    ASSERT_FALSE(wait_for_window("^Vuvod Trelvane$").empty());

    const pid_t second = guitest::spawn_background(
        {copy.program(), copy.file("Feb In.fxs")},
        {"DISPLAY=" + xvfb_->name(), "QT_QPA_PLATFORM=xcb", "WAYLAND_DISPLAY="});
    ASSERT_GT(second, 0);
    int status = -1;
    ASSERT_EQ(waitpid(second, &status, 0), second);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    const std::string pdf = copy.file("out/Feb In.fxs.pdf");
    for (int i = 0; i < 200 && !std::filesystem::exists(pdf); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(std::filesystem::exists(pdf));
    EXPECT_EQ(testsupport::qpdf_check(pdf).exit_code, 0);
    EXPECT_EQ(find_windows("^Vuvod Trelvane$").size(), 1u);
}

}  // namespace
}  // namespace trelvane::gui
