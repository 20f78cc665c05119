// The window's plain logic: option rules, the source text in "Convert File(s)" mode, the files
// a pass converts, and the result column.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <cstring>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/pipeline.h"
#include "gui/help_page.h"
#include "gui/option_rules.h"
#include "gui/prompter.h"
#include "gui/window_factory.h"
#include "gui/window_files.h"
#include "gui/window_handover.h"
#include "gui_test_support.h"
#include "support/temp_dir.h"

namespace trelvane::gui {
namespace {

TEST(OptionRules, FolderOnlyChoicesFollowTheModeAndMinutesFollowTheCycleBox) {
    struct Case {
        int32_t mode;
        int32_t cycle;
        OptionsEnabling expected;
    };
    const Case cases[] = {
        {kConvertDirectory, 0, {true, true, true, true}},
        {kConvertDirectory, 1, {true, true, true, false}},
        {kConvertFiles, 0, {false, false, false, true}},
        {kConvertFiles, 1, {false, false, false, false}},
    };
    for (const Case& c : cases) {
        app::SavedOptions options;
        options.convert_mode = c.mode;
        options.cycle_enabled = c.cycle;
        const OptionsEnabling e = options_enabling(options);
        EXPECT_EQ(e.subdir, c.expected.subdir) << c.mode << "/" << c.cycle;
        EXPECT_EQ(e.hierarchy, c.expected.hierarchy) << c.mode << "/" << c.cycle;
        EXPECT_EQ(e.cycle_box, c.expected.cycle_box) << c.mode << "/" << c.cycle;
        EXPECT_EQ(e.minutes, c.expected.minutes) << c.mode << "/" << c.cycle;
    }
}

TEST(OptionRules, ChoosingAModeClearsTheFolderChoicesAndKeepsTheRest) {
    for (const int32_t mode : {kConvertDirectory, kConvertFiles}) {
        app::SavedOptions options;
        options.subdir = options.hierarchy = options.cycle_enabled = 1;
        options.keep_date = 1;
        options.keep_ext = 0;
        options.recalculate = 1;
        options.cycle_minutes = 5;
        choose_convert_mode(options, mode);
        EXPECT_EQ(options.convert_mode, mode);
        EXPECT_EQ(options.subdir, 0);
        EXPECT_EQ(options.hierarchy, 0);
        EXPECT_EQ(options.cycle_enabled, 0);
        EXPECT_EQ(options.keep_date, 1);
        EXPECT_EQ(options.keep_ext, 0);
        EXPECT_EQ(options.recalculate, 1);
        EXPECT_EQ(options.cycle_minutes, 5);
    }
}

TEST(OptionRules, StoredValuesAreBroughtIntoRange) {
    EXPECT_EQ(check_box_value(2), 2);
    EXPECT_EQ(check_box_value(3), 0);
    EXPECT_EQ(check_box_value(-1), 0);
    EXPECT_EQ(usable_cycle_minutes(0), 1);
    EXPECT_EQ(usable_cycle_minutes(60), 60);
    EXPECT_EQ(usable_cycle_minutes(1000000), kMaxCycleMinutes);
    EXPECT_LE(static_cast<int64_t>(kMaxCycleMinutes) * 60000, INT32_MAX);
}

TEST(SelectionText, TypedTextSplitsLikeTheFileDialogWroteIt) {
    testsupport::TempDir dir;
    const std::string spaced = dir.file("Feb In/a b.fxs");
    ASSERT_TRUE(app::create_folder_path(dir.file("Feb In")));
    ASSERT_TRUE(testsupport::write_file(spaced, "fax"));
    struct Case {
        std::string text;
        std::string folder;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"/in/a.fxd", "/in", {"a.fxd"}},
        {"/in a.fxd b.fxm", "/in", {"a.fxd", "b.fxm"}},
        {"/in a.fxd  b.fxm", "/in", {"a.fxd"}},  // two spaces end the list
        {"/in a.fxd ", "/in", {"a.fxd"}},
        {" /in/a b.fxd", " /in", {"a b.fxd"}},  // a leading space makes it one path
        {"a.fxd", "", {"a.fxd"}},
        {"/My Faxes/a.fxs", "/My", {"Faxes/a.fxs"}},  // no such file: the unquoted form
        {spaced, dir.file("Feb In"), {"a b.fxs"}},    // typed, and there: that file
        // The quoted form, as Windows' multiple selection writes it.
        {R"("/My Faxes" "file 1.fxs" "file 2.fxs")", "/My Faxes", {"file 1.fxs", "file 2.fxs"}},
        {R"("/My Faxes/file 1.fxs")", "/My Faxes", {"file 1.fxs"}},
        {R"(/in "a b.fxs" c.fxd)", "/in", {"a b.fxs", "c.fxd"}},
        {R"("/in" "" "a.fxs" "open)", "/in", {"a.fxs", "open"}},
    };
    for (const Case& c : cases) {
        const FileSelection s = parse_selection_text(c.text);
        EXPECT_EQ(s.folder, c.folder) << c.text;
        EXPECT_EQ(s.names, c.names) << c.text;
    }
    // Names without spaces keep the unquoted form; any space quotes them all; every selection
    // reads back as itself.
    const std::pair<FileSelection, std::string> written[] = {
        {{"/in", {"a.fxd", "b.fxm"}}, "/in a.fxd b.fxm"},
        {{"/in", {"a.fxd"}}, "/in/a.fxd"},
        {{"/My Faxes", {"a.fxs"}}, R"("/My Faxes/a.fxs")"},
        {{"/My Faxes", {"a.fxs", "b.fxs"}}, R"("/My Faxes" "a.fxs" "b.fxs")"},
        {{"/in", {"a.fxs", "Feb 2.fxs"}}, R"("/in" "a.fxs" "Feb 2.fxs")"},
    };
    for (const auto& [selection, text] : written) {
        EXPECT_EQ(selection_text(selection), text);
        const FileSelection back = parse_selection_text(text);
        EXPECT_EQ(back.folder, selection.folder) << text;
        EXPECT_EQ(back.names, selection.names) << text;
    }
}

TEST(SelectionText, FilesFromTheDesktopBecomeOneSelection) {
    struct Case {
        std::vector<std::string> paths;
        std::string folder;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {{"/fax/in/a.fxs", "/fax/in/b c.fxd"}, "/fax/in", {"a.fxs", "b c.fxd"}},
        {{"/fax/in/a.fxs", "/fax/old/b.fxs"}, "/fax", {"in/a.fxs", "old/b.fxs"}},
        {{"/fax/a.fxs", "/faxes/b.fxs"}, "", {"fax/a.fxs", "faxes/b.fxs"}},  // only / holds both
        {{"a.fxs", "sub/b.fxs"}, "/home/me", {"a.fxs", "sub/b.fxs"}},        // relative
    };
    for (const Case& c : cases) {
        const std::optional<FileSelection> s = selection_of_files(c.paths, "/home/me");
        ASSERT_TRUE(s.has_value());
        EXPECT_EQ(s->folder, c.folder) << c.paths.front();
        EXPECT_EQ(s->names, c.names) << c.paths.front();
    }
    EXPECT_FALSE(selection_of_files({}, "/home/me").has_value());
}

TEST(CollectWindowFiles, ChosenFilesWithSpacesSurviveWhileTheTextShowsThem) {
    const FileSelection chosen{"/My Faxes", {"a b.fxs", "c.fxd"}};
    WindowOptions options;
    options.convert_mode = kConvertFiles;
    app::BatchJob job;
    app::reset_batch_job(job);
    job.files = {"stale"};

    EXPECT_EQ(collect_window_files(job, options, selection_text(chosen), chosen), "/My Faxes");
    EXPECT_EQ(job.source, "/My Faxes");
    EXPECT_EQ(job.files, (std::vector<std::string>{"a b.fxs", "c.fxd"}));

    // Once the user has typed another text, the text decides.
    EXPECT_EQ(collect_window_files(job, options, "/other x.fxs", chosen), "/other");
    EXPECT_EQ(job.files, (std::vector<std::string>{"x.fxs"}));
}

TEST(CollectWindowFiles, FolderModeWalksTheFolderWithTheFilter) {
    testsupport::TempDir dir;
    const std::string source = dir.file("in");
    ASSERT_TRUE(app::create_folder_path(source + "/sub"));
    for (const char* name : {"a.fxs", "b.FXD", "notes.txt", "sub/c.fxm"}) {
        ASSERT_TRUE(testsupport::write_file(source + "/" + name, "x"));
    }
    WindowOptions options;
    app::BatchJob job;
    app::reset_batch_job(job);

    EXPECT_EQ(collect_window_files(job, options, source, std::nullopt), source);
    std::vector<std::string> files = job.files;
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"a.fxs", "b.FXD"}));

    options.subdir = 1;
    collect_window_files(job, options, source, std::nullopt);
    files = job.files;
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"a.fxs", "b.FXD", "sub/c.fxm"}));

    job.filter = "*.fxs";
    collect_window_files(job, options, source, std::nullopt);
    EXPECT_EQ(job.files, (std::vector<std::string>{"a.fxs"}));

    // An empty source never walks the file-system root.
    job.filter = "*.*";
    EXPECT_EQ(collect_window_files(job, options, "", std::nullopt), "");
    EXPECT_TRUE(job.files.empty());
}

// Sets environment variables for one test and puts the old values back.
class EnvironmentOverride {
  public:
    void set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~EnvironmentOverride() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second) {
                setenv(it->first.c_str(), it->second->c_str(), 1);
            } else {
                unsetenv(it->first.c_str());
            }
        }
    }

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(DisplayCheck, WindowIsOnlyTriedWhereADisplayCanBeReached) {
    struct Case {
        const char* display;
        const char* wayland;
        const char* platform;
        bool expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, false},    {"", "", "", false},
        {":98765", nullptr, nullptr, false},  // a local display whose server is gone
        {":98765.0", nullptr, nullptr, false}, {"remotehost:0", nullptr, nullptr, true},
        {nullptr, "wayland-0", nullptr, true}, {":98765", nullptr, "offscreen", true},
    };
    for (const Case& c : cases) {
        EnvironmentOverride environment;
        environment.set("DISPLAY", c.display);
        environment.set("WAYLAND_DISPLAY", c.wayland);
        environment.set("QT_QPA_PLATFORM", c.platform);
        EXPECT_EQ(display_available(), c.expected)
            << (c.display ? c.display : "-") << " " << (c.wayland ? c.wayland : "-") << " "
            << (c.platform ? c.platform : "-");
    }
}

// One window per user: a second start hands its files to the first, and a socket left by a
// window that was killed does not keep the next one from listening.
TEST(WindowHandover, ASecondStartHandsItsFilesToTheRunningWindow) {
    guitest::test_application();
    const std::string name = "trelvane-test-" + std::to_string(getpid());
    WindowHandover first(name);
    const WindowHandover second(name);
    EXPECT_FALSE(second.hand_over({"/fax/a.fxs"}));  // no window yet
    ASSERT_TRUE(first.listen());

    guitest::SignalLog<std::vector<std::string>> requests(&first,
                                                          &WindowHandover::window_requested);
    EXPECT_TRUE(second.hand_over({"/fax/Feb In/a b.fxs", "relative.fxs"}));
    EXPECT_TRUE(second.hand_over({}));  // only to the front
    ASSERT_TRUE(guitest::process_events_until([&] { return requests.count() == 2; }));
    EXPECT_EQ(
        requests.values[0],
        (std::vector<std::string>{"/fax/Feb In/a b.fxs",
                                  QDir::current().absoluteFilePath("relative.fxs").toStdString()}));
    EXPECT_TRUE(requests.values[1].empty());

    // A killed window's socket file: bound, never removed, nobody listening.
    const std::string stale_name = name + "-stale";
    const std::string path = QDir::tempPath().toStdString() + "/" + stale_name;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    WindowHandover after_crash(stale_name);
    EXPECT_FALSE(after_crash.hand_over({}));
    EXPECT_TRUE(after_crash.listen());
}

TEST(HelpPage, FoundBesideTheProgramThenInTheInstalledDataFolder) {
    testsupport::TempDir dir;
    const std::string bin = dir.file("bin");
    const std::string docs = dir.file(TRELVANE_INSTALL_HELPDIR);
    ASSERT_TRUE(app::create_folder_path(bin));
    ASSERT_TRUE(app::create_folder_path(docs));
    const std::string fallback = find_help_page(bin);  // only the configured install folder
    EXPECT_TRUE(fallback.empty() || fallback.starts_with(TRELVANE_INSTALL_FULL_HELPDIR))
        << fallback;

    ASSERT_TRUE(testsupport::write_file(docs + "/trelvane-help.html", "<html></html>"));
    EXPECT_EQ(find_help_page(bin), bin + "/../" TRELVANE_INSTALL_HELPDIR "/trelvane-help.html");
    ASSERT_TRUE(testsupport::write_file(bin + "/trelvane-help.html", "<html></html>"));
    EXPECT_EQ(find_help_page(bin), bin + "/trelvane-help.html");
    EXPECT_EQ(file_url(bin + "/trelvane-help.html"), "file://" + bin + "/trelvane-help.html");
    EXPECT_EQ(file_url(""), "");
}

// Where nothing can open an address (no xdg-open, or xdg-open finding no browser), the caller
// hears of it; where something opens it, it does not.
TEST(DialogPrompter, TellsWhenNothingCouldOpenAnAddress) {
    guitest::test_application();
    testsupport::TempDir dir;
    struct Case {
        const char* what;
        const char* script;  // the xdg-open on PATH; none when null
        bool expect_failure;
    };
    const Case cases[] = {
        {"a browser opens it", "#!/bin/sh\necho \"$1\" > \"${0%/*}/opened\"\nexit 0\n", false},
        {"xdg-open finds no browser", "#!/bin/sh\necho \"$1\" > \"${0%/*}/opened\"\nexit 3\n",
         true},
        {"no xdg-open at all", nullptr, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string bin = dir.file("bin" + std::to_string(n++));
        ASSERT_TRUE(app::create_folder_path(bin));
        if (c.script != nullptr) {
            ASSERT_TRUE(testsupport::write_file(bin + "/xdg-open", c.script));
            ASSERT_EQ(chmod((bin + "/xdg-open").c_str(), 0755), 0);
        }
        EnvironmentOverride environment;
        environment.set("PATH", bin.c_str());
        DialogPrompter prompter;
        bool failed = false;
        prompter.open_url("file:///usr/share/doc/trelvane/trelvane-help.html",
                          [&failed] { failed = true; });
        if (c.expect_failure) {
            EXPECT_TRUE(
                guitest::process_events_until([&] { return failed; }, std::chrono::seconds(10)))
                << c.what;
        } else {
            ASSERT_TRUE(guitest::process_events_until(
                [&] { return testsupport::read_file(bin + "/opened").size() > 0; },
                std::chrono::seconds(10)))
                << c.what;
            guitest::process_events_until([] { return false; }, std::chrono::milliseconds(300));
            EXPECT_FALSE(failed) << c.what;
        }
        if (c.script != nullptr) {
            EXPECT_EQ(testsupport::read_file(bin + "/opened"),
                      "file:///usr/share/doc/trelvane/trelvane-help.html\n")
                << c.what;
        }
    }
}

}  // namespace
}  // namespace trelvane::gui
