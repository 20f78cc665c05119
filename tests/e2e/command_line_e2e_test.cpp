#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include <gtest/gtest.h>

#include "run_binary.h"
#include "support/bitmap.h"
#include "support/ccitt.h"
#include "support/temp_dir.h"
#include "support/winfax_builder.h"

namespace trelvane::e2e {
namespace {

using testsupport::read_file;
using testsupport::TempDir;
using testsupport::write_file;

const std::string kUsage =
    "Usage: trelvane [/l /q] [/b=0] /f=source-file /sf=dest-tif-file\n"
    "or\n"
    "Usage: trelvane [/l /q] [/b=0] /d=source-directory /sd=dest-directory [/filter=]\n";
const std::string kSaveFolderError =
    "ERROR Save Folder: Please set save folder with '/sd=' or '/sf=', and be sure it is not the "
    "same as source folder\n";
// Without the window built, or without a display to show it on: one line, then exit 2.
const std::regex kNoWindow("trelvane: no (window is available|display)[^\n]*\n");
constexpr int kCouldNotStart = 2;
const std::string kStamp = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\n";
const std::string kSeparator = std::string(50, '-') + "\n";

// A private temporary folder for the program, so its work files can be watched.
class E2eTest : public ::testing::Test {
  protected:
    RunResult run(const std::vector<std::string>& args) {
        return run_trelvane(args, {{"TMPDIR", tmp.path()}}, work.path());
    }
    size_t files_in_tmp() const {
        size_t n = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(tmp.path()))
            ++n;
        return n;
    }
    TempDir tmp;
    TempDir work;
};

TEST_F(E2eTest, HelpAndVersion) {
    for (const char* option : {"--help", "-h"}) {
        RunResult r = run({option});
        EXPECT_EQ(r.exit_code, 0) << option;
        EXPECT_EQ(r.out.substr(0, kUsage.size()), kUsage) << option;
        // Every option, the exit statuses and the places of the log and the settings.
        for (const char* item :
             {"/f=",   "/sf=",       "/d=",         "/sd=",  "/filter=",  "/i ",
              "/kh",   "/ke",        "/l ",         "/skip", "/jobs=N",   "/relines",
              "/q ",   "/log=",      "/pdfa=LEVEL", "/m=",   "--version", "Exit status:",
              "128+N", "tvnlog.txt", "trelvane.ini"}) {
            EXPECT_NE(r.out.find(item), std::string::npos) << option << " lacks " << item;
        }
        EXPECT_EQ(r.err, "") << option;
    }
    RunResult v = run({"--version"});
    EXPECT_EQ(v.exit_code, 0);
    EXPECT_TRUE(std::regex_match(v.out, std::regex("trelvane \\d+\\.\\d+\\.\\d+\n"))) << v.out;
}

TEST_F(E2eTest, NoArgumentsTriesTheWindowSilently) {
    RunResult r = run({});
    EXPECT_EQ(r.exit_code, kCouldNotStart);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(std::regex_match(r.err, kNoWindow)) << r.err;
    RunResult empty = run({""});
    EXPECT_EQ(empty.exit_code, kCouldNotStart);
    EXPECT_EQ(empty.out, "");
}

TEST_F(E2eTest, CommandLinesWithoutSaveOptionPrintUsageThenTryTheWindow) {
    struct Case {
        std::vector<std::string> args;
        std::string unknown;  // what standard error names as no option
    };
    const Case cases[] = {{{"   "}, ""},
                          {{"/q", "/l"}, ""},
                          {{"/q", "/d=/some/folder"}, ""},
                          {{"/L\t/Q"}, "trelvane: unknown option '/L\\t/Q' ignored\n"},
                          {{"--bogus"}, "trelvane: unknown option '--bogus' ignored\n"}};
    for (const Case& c : cases) {
        RunResult r = run(c.args);
        EXPECT_EQ(r.exit_code, kCouldNotStart) << c.args[0];
        EXPECT_EQ(r.out, kUsage);
        ASSERT_EQ(r.err.substr(0, c.unknown.size()), c.unknown);
        EXPECT_TRUE(std::regex_match(r.err.substr(c.unknown.size()), kNoWindow)) << r.err;
    }
}

// An empty save value (an unset variable in a script) is a broken command: the error, exit 2,
// and no window.
TEST_F(E2eTest, EmptySaveFolderShowsTheErrorAndExits) {
    RunResult r = run({"/d=in", "/sd="});
    EXPECT_EQ(r.exit_code, kCouldNotStart);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, kSaveFolderError);
}

TEST_F(E2eTest, SingleFileThatIsNotAWinFaxFile) {
    const std::string log = tmp.file("t/log.txt");  // its folder does not exist yet
    RunResult r = run({"/f=x.txt", "/sf=out.pdf", "/log=" + log});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "Vuvod Trelvane command line mode : convert file\n");
    EXPECT_EQ(r.err,
              "trelvane: x.txt is not a WinFax file (.fxd, .fxm, .fxr or .fxs); nothing was "
              "converted\n");
    const std::string record = read_file(log);
    EXPECT_TRUE(std::regex_match(
        record,
        std::regex(kStamp + "Vuvod Trelvane command line mode : convert file\r\n" + kSeparator)))
        << record;
    EXPECT_FALSE(std::filesystem::exists(work.file("out.pdf")));
}

TEST_F(E2eTest, QuietRunStillLogs) {
    const std::string log = tmp.file("log.txt");
    RunResult r = run({"/q", "/f=x.txt", "/sf=out.pdf", "/log=" + log});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(read_file(log).find("convert file\r\n"), std::string::npos);
}

TEST_F(E2eTest, LogTwoLevelsDeepIsLostButTheRunGoesOn) {
    RunResult r = run({"/f=x.txt", "/sf=out.pdf", "/log=" + tmp.file("a/b/log.txt")});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "Vuvod Trelvane command line mode : convert file\n");
    EXPECT_FALSE(std::filesystem::exists(tmp.file("a")));
}

TEST_F(E2eTest, FolderWithoutWinFaxFiles) {
    TempDir in;
    ASSERT_TRUE(write_file(in.file("notes.txt"), "x"));
    const std::string log = tmp.file("log.txt");
    RunResult r = run({"/d=" + in.path(), "/sd=" + work.file("pdf"), "/log=" + log});
    EXPECT_EQ(r.exit_code, 0);
    const std::string report =
        "Vuvod Trelvane command line mode : convert folder\r\nSource Folder: " + in.path() +
        "\r\nSave Folder: " + work.file("pdf") +
        "\r\n\r\n---------\r\nTotal converted FAX files: 0\r\n";
    std::string shown = std::regex_replace(report, std::regex("\r\n"), "\n");
    EXPECT_EQ(r.out, "Please Wait...\n" + shown);
    EXPECT_EQ(r.err, "");  // no progress line when standard error is not a terminal
    EXPECT_TRUE(std::regex_match(read_file(log), std::regex(kStamp + report + kSeparator)));
}

TEST_F(E2eTest, FolderWithAFailingFileExitsWithOne) {
    TempDir in;
    ASSERT_TRUE(write_file(in.file("bad.fxs"), "this is not a WinFax file at all"));
    RunResult r =
        run({"/q", "/d=" + in.path(), "/sd=" + work.file("pdf"), "/log=" + tmp.file("log.txt")});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");  // quiet: not even "Please Wait..."
    const std::string log = read_file(tmp.file("log.txt"));
    EXPECT_NE(log.find(in.file("bad.fxs") + " --> " + work.file("pdf/bad.pdf") +
                       " : Failed : " + in.file("bad.fxs") + " - "),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Total converted FAX files: 0\r\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(work.file("pdf/bad.pdf")));
}

TEST_F(E2eTest, PathsWithSpacesArriveWhole) {
    TempDir base;
    const std::string in = base.file("Fax In");
    ASSERT_EQ(mkdir(in.c_str(), 0755), 0);
    const std::string out = base.file("PDF Out");
    RunResult r = run({"/d=" + in, "/sd=" + out, "/log=" + base.file("my log.txt")});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("Source Folder: " + in + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Save Folder: " + out + "\n"), std::string::npos) << r.out;
    EXPECT_TRUE(std::filesystem::exists(base.file("my log.txt")));
}

TEST_F(E2eTest, WorkFilesAreGoneAfterEveryKindOfRun) {
    run({"/f=x.txt", "/sf=out.pdf", "/log=" + work.file("log.txt")});
    run({"/q", "/l"});
    run({});
    TempDir in;
    ASSERT_TRUE(write_file(in.file("bad.fxd"), std::string(4096, '\x55')));
    run({"/d=" + in.path(), "/sd=" + work.file("pdf"), "/log=" + work.file("log.txt")});
    EXPECT_EQ(files_in_tmp(), 0u);
}

TEST_F(E2eTest, DefaultLogLivesBesideAWritableProgram) {
    // A copy of the program in a private folder: its log folder does not exist yet.
    TempDir home;
    const std::string program = home.file("trelvane");
    std::filesystem::copy_file(TRELVANE_EXE, program);
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    RunResult first = run_trelvane({"/q", "/f=x.txt", "/sf=o.pdf"}, {{"TMPDIR", tmp.path()}},
                                   work.path(), program);
    RunResult second = run_trelvane({"/q", "/f=y.txt", "/sf=o.pdf"}, {{"TMPDIR", tmp.path()}},
                                    work.path(), program);
    EXPECT_EQ(first.exit_code, 1);
    EXPECT_EQ(second.exit_code, 1);
    const std::string header = "Vuvod Trelvane command line mode : convert file\r\n";
    EXPECT_TRUE(
        std::regex_match(read_file(home.file("log/tvnlog.txt")),
                         std::regex(kStamp + header + kSeparator + kStamp + header + kSeparator)));
}

// The window lives in a module beside the program (or where the package puts it); a program
// without it says so and which files it looked for, and the command line still works.
TEST_F(E2eTest, AMissingWindowModuleIsNamed) {
    const std::filesystem::path module =
        std::filesystem::path(TRELVANE_EXE).parent_path() / "trelvane-window.so";
    if (!std::filesystem::exists(module))
        GTEST_SKIP() << "built without the window";
    TempDir home;
    const std::string program = home.file("trelvane");
    std::filesystem::copy_file(TRELVANE_EXE, program);
    const RunResult window = run_trelvane({}, {{"TMPDIR", tmp.path()}}, work.path(), program);
    EXPECT_EQ(window.exit_code, 2);
    EXPECT_NE(window.err.find("trelvane: cannot load the window (neither " +
                              home.file("trelvane-window.so")),
              std::string::npos)
        << window.err;
    EXPECT_NE(window.err.find("install the package trelvane-gui"), std::string::npos) << window.err;
    const RunResult converted =
        run_trelvane({"/q", "/f=" TRELVANE_SOURCE_DIR "/samples/delivery-notice.fxs",
                      "/sf=" + work.file("o.pdf")},
                     {{"TMPDIR", tmp.path()}}, work.path(), program);
    EXPECT_EQ(converted.exit_code, 0) << converted.err;
}

bool write_fax(const std::string& path, uint32_t seed) {
    testsupport::Bitmap page = testsupport::text_like(1728, 100, seed);
    testsupport::CodedPage coded =
        testsupport::encode_page(page, testsupport::Coding::Group3OneDimensional, 2);
    testsupport::WinFaxPage fax_page;
    fax_page.data = coded.data;
    fax_page.length = 100;
    fax_page.title = "E2E";
    return testsupport::write_winfax(path, {fax_page, fax_page});
}

TEST_F(E2eTest, ConvertsAFolderAndASingleFile) {
    TempDir in;
    ASSERT_TRUE(write_fax(in.file("one.fxd"), 1));
    ASSERT_TRUE(write_fax(in.file("two.FXS"), 2));
    const std::string log = tmp.file("log.txt");
    RunResult folder = run({"/d=" + in.path(), "/sd=" + work.file("pdf"), "/log=" + log});
    EXPECT_EQ(folder.exit_code, 0) << folder.out;
    EXPECT_NE(
        folder.out.find(in.file("one.fxd") + " --> " + work.file("pdf/one.pdf") + " : Success !\n"),
        std::string::npos)
        << folder.out;
    EXPECT_NE(folder.out.find("Total converted FAX files: 2\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(work.file("pdf/two.pdf")));

    RunResult single = run({"/q", "/f=" + in.file("one.fxd"), "/sf=single.pdf", "/log=" + log});
    EXPECT_EQ(single.exit_code, 0);
    EXPECT_EQ(single.out, "");
    EXPECT_TRUE(
        std::filesystem::exists(work.file("single.pdf")));  // relative to the current folder
    EXPECT_NE(read_file(log).find("convert file\r\n" + in.file("one.fxd") +
                                  " --> single.pdf : Success !\r\n"),
              std::string::npos);
    EXPECT_EQ(files_in_tmp(), 1u);  // only the log
}

}  // namespace
}  // namespace trelvane::e2e
