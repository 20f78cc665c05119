// What scripts and cron jobs rely on, through the real program: a run never writes over its own
// source, an interrupted or killed run leaves nothing half-done and reports what it finished,
// the exit status and standard error tell failure from success, failures caused by the system
// carry its reason, /skip converts only what is new, and /jobs=N changes nothing but the speed.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "app/conversion_workspace.h"
#include "child_run_test.h"
#include "e2e_run.h"
#include "fax_fixtures.h"
#include "support/child_process.h"
#include "support/pdf_tools.h"
#include "support/winfax_builder.h"

namespace trelvane::e2e {
namespace {

namespace fs = std::filesystem;
using testsupport::read_file;
using testsupport::TempDir;
using testsupport::write_file;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// Every file below the folder, as relative paths.
std::set<std::string> tree(const std::string& root) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        names.insert(fs::relative(entry.path(), root).string());
    return names;
}

class TrustedRuns : public ChildRunTest {
  protected:
    TrustedRuns() : ChildRunTest(300) {}
};

// The PDF path may name the fax itself, directly or through a link: the fax must survive.
TEST_F(TrustedRuns, NeverWritesThePdfOverItsOwnSource) {
    const std::string fax = dir.file("a.fxs");
    ASSERT_TRUE(write_small_fax(fax, 1));
    const std::string original = read_file(fax);
    ASSERT_EQ(::link(fax.c_str(), dir.file("hard.pdf").c_str()), 0);
    ASSERT_EQ(::symlink(fax.c_str(), dir.file("soft.pdf").c_str()), 0);
    for (const std::string& pdf : {fax, dir.file("hard.pdf"), dir.file("soft.pdf")}) {
        SCOPED_TRACE(pdf);
        const testsupport::ChildResult r = run({"/f=" + fax, "/sf=" + pdf, "/log=" + log()});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.out.find(fax + " --> " + pdf + " : Failed : " + fax +
                             " - Error in converting to pdf (the PDF would replace the fax file "
                             "itself)\n"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.err.find("1 not converted"), std::string::npos) << r.err;
        EXPECT_EQ(read_file(fax), original);
    }
    EXPECT_TRUE(fs::is_symlink(dir.file("soft.pdf")));
    EXPECT_EQ(read_file(dir.file("hard.pdf")), original);
}

// Each signal lands while the run is at work (after a few files were reported). What must be
// true afterwards: the exit status names the signal; the report lists exactly the files whose
// PDFs exist, each PDF whole, and ends with the interruption; the log holds the same; nothing
// of the program is left in the save folder or the temporary folder.
TEST_F(TrustedRuns, InterruptedRunsReportWhatTheyFinishedAndLeaveNothingElse) {
    const std::string in = dir.file("in");
    write_fax_folder(in, 80);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal_number));
        const std::string out = dir.file("out" + std::to_string(signal_number));
        fs::remove(log());
        testsupport::ChildOptions options;
        options.args = {"/d=" + in, "/sd=" + out, "/log=" + log(), "/jobs=2"};
        options.signal_number = signal_number;
        options.signal_mark = " : Success !";
        options.signal_after_marks = 3;
        const testsupport::ChildResult r = run(options);
        ASSERT_TRUE(r.signal_sent);
        if (r.exit_code == 0)
            GTEST_SKIP() << "the run finished before the signal reached it";
        EXPECT_EQ(r.exit_code, 128 + signal_number);

        std::vector<std::string> lines = lines_of(r.out);
        ASSERT_GE(lines.size(), 8u) << r.out;
        const std::regex last("Interrupted by SIG(INT|TERM|HUP): (\\d+) of 80 files not converted");
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines.back(), m, last)) << lines.back();
        std::set<std::string> reported;
        for (const std::string& line : lines) {
            const size_t arrow = line.find(" --> ");
            if (arrow == std::string::npos)
                continue;
            EXPECT_NE(line.find(" : Success !"), std::string::npos) << line;
            const size_t colon = line.find(" : ", arrow);
            reported.insert(fs::path(line.substr(arrow + 5, colon - arrow - 5)).filename());
        }
        EXPECT_EQ(std::stoul(m[2]), 80 - reported.size());
        EXPECT_NE(r.out.find("Total converted FAX files: " + std::to_string(reported.size())),
                  std::string::npos);
        EXPECT_EQ(tree(out), reported) << "every PDF reported, every reported PDF there";
        for (const std::string& name : reported) {
            if (testsupport::tool_available("qpdf")) {
                EXPECT_EQ(testsupport::qpdf_check(out + "/" + name).exit_code, 0) << name;
            }
        }
        EXPECT_TRUE(fs::is_empty(tmp.path()));
        const std::string record = read_file(log());
        EXPECT_NE(record.find(lines.back() + "\r\n" + std::string(50, '-') + "\n"),
                  std::string::npos)
            << record;
        EXPECT_NE(r.err.find("trelvane: " + lines.back()), std::string::npos) << r.err;
    }
}

// A killed run can clean nothing up: there must be nothing to clean.
TEST_F(TrustedRuns, KilledRunLeavesNoFilesOfItsOwn) {
    const std::string in = dir.file("in");
    write_fax_folder(in, 60);
    const std::string out = dir.file("out");
    testsupport::ChildOptions options;
    options.args = {"/d=" + in, "/sd=" + out, "/log=" + log()};
    options.signal_number = SIGKILL;
    options.signal_mark = " : Success !";
    options.signal_after_marks = 2;
    const testsupport::ChildResult r = run(options);
    ASSERT_TRUE(r.signal_sent);
    EXPECT_TRUE(fs::is_empty(tmp.path()));
    for (const std::string& name : tree(out)) {
        EXPECT_TRUE(name.ends_with(".pdf")) << name;
        if (testsupport::tool_available("qpdf")) {
            EXPECT_EQ(testsupport::qpdf_check(out + "/" + name).exit_code, 0) << name;
        }
    }
}

struct StatusCase {
    const char* what;
    std::vector<std::string> args;  // "@IN", "@OUT" and "@MISSING" stand for the test's folders
    int status;
    const char* err;  // a regular expression for standard error
};

TEST_F(TrustedRuns, ExitStatusTellsWhatHappened) {
    const std::string in = dir.file("in");
    ASSERT_TRUE(fs::create_directories(in + "/sub"));
    ASSERT_TRUE(write_small_fax(in + "/good.fxs", 3));
    ASSERT_TRUE(write_small_fax(in + "/sub/good2.fxs", 4));
    const std::string bad = dir.file("bad");
    ASSERT_TRUE(fs::create_directories(bad));
    ASSERT_TRUE(write_file(bad + "/junk.fxd", std::string(4000, 'j')));
    ASSERT_TRUE(write_small_fax(bad + "/fine.fxm", 5));
    const StatusCase cases[] = {
        {"all converted", {"/d=@IN", "/sd=@OUT", "/i"}, 0, ""},
        {"a file failed",
         {"/d=" + bad, "/sd=@OUT"},
         1,
         "trelvane: 1 not converted; the report says why \\(it is also in .*\\)\n"},
        {"a missing single file",
         {"/f=@MISSING/a.fxs", "/sf=@OUT/a.pdf"},
         1,
         "trelvane: 1 not converted.*\n"},
        {"no source folder given",
         {"/sd=@OUT"},
         2,
         "trelvane: no source folder given: add /d=FOLDER \\(see trelvane --help\\)\n"},
        {"no source file given", {"/sf=@OUT/a.pdf"}, 2, "trelvane: no source file given.*\n"},
        {"a missing source folder",
         {"/d=@MISSING", "/sd=@OUT"},
         2,
         "trelvane: cannot read the source folder .*missing \\(No such file or directory\\)\n"},
        {"an empty save value", {"/d=@IN", "/sd="}, 2, "ERROR Save Folder: [^\n]*\n"},
        {"an unknown option",
         {"/d=@IN", "/sd=@OUT", "/hk"},
         0,
         "trelvane: unknown option '/hk' ignored\n"},
        {"the window without a display",
         {},
         2,
         "trelvane: (no display \\(neither X11 nor Wayland\\) to open the window on|no window is "
         "available in this build); .*\n"},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args;
        for (std::string arg : c.args) {
            for (const auto& [word, path] : {std::pair<std::string, std::string>{"@IN", in},
                                             {"@OUT", dir.file("out")},
                                             {"@MISSING", dir.file("missing")}}) {
                if (const size_t at = arg.find(word); at != std::string::npos)
                    arg.replace(at, word.size(), path);
            }
            args.push_back(arg);
        }
        args.push_back("/log=" + log());
        testsupport::ChildOptions options;
        options.args = args;
        options.env["DISPLAY"] = "";  // the window, where one is tried, cannot open
        options.env["WAYLAND_DISPLAY"] = "";
        const testsupport::ChildResult r = run(options);
        EXPECT_EQ(r.exit_code, c.status);
        EXPECT_TRUE(std::regex_match(r.err, std::regex(c.err))) << r.err;
    }
}

// The system's own reason ends the report line of a failure it caused.
TEST_F(TrustedRuns, FailuresNameTheSystemsReason) {
    const bool root = ::geteuid() == 0;
    // Permissions do not stop root: run as nobody then, in folders everyone may enter.
    fs::permissions(dir.path(), fs::perms::all);
    fs::permissions(tmp.path(), fs::perms::all);
    const std::string in = dir.file("in");
    ASSERT_TRUE(fs::create_directories(in + "/locked"));
    ASSERT_TRUE(write_small_fax(in + "/secret.fxs", 6));
    ASSERT_TRUE(write_small_fax(in + "/open.fxs", 7));
    ASSERT_TRUE(write_small_fax(in + "/locked/inner.fxs", 8));
    const std::string out = dir.file("out");
    ASSERT_TRUE(fs::create_directories(out + "/readonly"));
    fs::permissions(in, fs::perms::all);
    fs::permissions(in + "/open.fxs", fs::perms::all);
    fs::permissions(in + "/secret.fxs", fs::perms::none);
    fs::permissions(in + "/locked", fs::perms::none);
    fs::permissions(out, fs::perms::all);
    fs::permissions(out + "/readonly", fs::perms::owner_read | fs::perms::owner_exec |
                                           fs::perms::others_read | fs::perms::others_exec);
    ASSERT_TRUE(write_file(log(), ""));
    fs::permissions(log(), fs::perms::all);

    testsupport::ChildOptions options;
    options.args = {"/d=" + in, "/sd=" + out, "/i", "/log=" + log()};
    if (root)
        options.user = testsupport::kNobody;
    testsupport::ChildResult r = run(options);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find(" : Failed : " + in + "/secret.fxs - Not Fax (Permission denied)\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Failed to read folder: " + in + "/locked (Permission denied)\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(in + "/open.fxs --> " + out + "/open.pdf : Success !\n"),
              std::string::npos);
    EXPECT_NE(r.err.find("trelvane: 2 not converted"), std::string::npos) << r.err;

    options.args = {"/f=" + in + "/open.fxs", "/sf=" + out + "/readonly/open.pdf", "/log=" + log()};
    r = run(options);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find(" - Error in converting to pdf (Permission denied)\n"), std::string::npos)
        << r.out;
    fs::permissions(in + "/locked", fs::perms::all);

    // A name longer than any file system allows.
    const std::string long_name = in + "/" + std::string(300, 'n') + ".fxs";
    options.args = {"/f=" + long_name, "/sf=" + out + "/x.pdf", "/log=" + log()};
    r = run(options);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find(" : Failed : " + long_name + " - Not Fax (File name too long)\n"),
              std::string::npos)
        << r.out;
}

// A small file system of its own, mounted for the test (root only), gone with the object.
class SmallFileSystem {
  public:
    SmallFileSystem(const std::string& folder, const char* size) : folder_(folder) {
        fs::create_directories(folder);
        mounted_ = ::geteuid() == 0 && ::mount("tmpfs", folder.c_str(), "tmpfs", 0,
                                               (std::string("size=") + size).c_str()) == 0;
    }
    ~SmallFileSystem() {
        if (mounted_)
            ::umount2(folder_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

  private:
    std::string folder_;
    bool mounted_ = false;
};

TEST_F(TrustedRuns, FullFileSystemsSayNoSpace) {
    SmallFileSystem small_tmp(dir.file("small-tmp"), "96k");
    SmallFileSystem small_out(dir.file("small-out"), "96k");
    if (!small_tmp.mounted() || !small_out.mounted())
        GTEST_SKIP() << "needs root to mount small tmpfs file systems";
    // A fax of about 300 kB, more than either file system holds, and one larger than the faxes
    // that keep their work files in memory.
    std::vector<FaxPage> pages;
    for (uint32_t i = 0; i < 6; ++i)
        pages.push_back(text_page(1728, 2200, 50 + i));
    ASSERT_TRUE(write_fax_file(dir.file("small.fxs"), pages));
    ASSERT_GT(fs::file_size(dir.file("small.fxs")), 200000u);
    const uint64_t page_bytes = fs::file_size(dir.file("small.fxs")) / pages.size();
    for (uint32_t i = 6; i <= app::ConversionWorkspace::kInMemoryFaxBytes / page_bytes + 1; ++i)
        pages.push_back(pages[i % 6]);
    ASSERT_TRUE(write_fax_file(dir.file("big.fxs"), pages));
    ASSERT_GT(fs::file_size(dir.file("big.fxs")), app::ConversionWorkspace::kInMemoryFaxBytes);

    // With the temporary folder full the large fax fails and says why; the small one does not
    // need the folder.
    for (const std::string name : {"big", "small"}) {
        SCOPED_TRACE(name);
        const std::string fax = dir.file(name + ".fxs");
        testsupport::ChildOptions options;
        options.args = {"/f=" + fax, "/sf=" + dir.file(name + ".pdf"), "/log=" + log()};
        options.env["TMPDIR"] = dir.file("small-tmp");
        options.timeout_seconds = 120;
        const testsupport::ChildResult r = testsupport::run_child(TRELVANE_EXE, options);
        if (name == "big") {
            EXPECT_EQ(r.exit_code, 1);
            EXPECT_NE(r.out.find(" : Failed : " + fax + " - Error Fax (No space left on device)\n"),
                      std::string::npos)
                << r.out;
        } else {
            EXPECT_EQ(r.exit_code, 0) << r.out;
            EXPECT_NE(r.out.find(" : Success !\n"), std::string::npos) << r.out;
        }
        EXPECT_TRUE(fs::is_empty(dir.file("small-tmp")));
    }

    const std::string fax = dir.file("small.fxs");
    const testsupport::ChildResult r =
        run({"/f=" + fax, "/sf=" + dir.file("small-out/small.pdf"), "/log=" + log()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find(" : Failed : " + fax +
                         " - Error in converting to pdf (No space left on device)\n"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(fs::is_empty(dir.file("small-out")));
}

// /skip leaves only a PDF that is at least as new as its fax (PDFs of runs without /skip
// have no record of their fax).
TEST_F(TrustedRuns, SkipConvertsOnlyWhatIsNewOrChanged) {
    const std::string in = dir.file("in");
    ASSERT_TRUE(fs::create_directories(in));
    for (const char* name : {"current.fxs", "changed.fxs", "new.fxs"}) {
        ASSERT_TRUE(write_small_fax(in + "/" + name, 9));
        // Settled: a fax changed in the last seconds would be left for the next run.
        fs::last_write_time(in + "/" + name,
                            fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    const std::string out = dir.file("out");
    ASSERT_EQ(run({"/q", "/l", "/d=" + in, "/sd=" + out, "/log=" + log()}).exit_code, 0);
    fs::remove(out + "/new.pdf");
    // The fax changed after its PDF was made.
    fs::last_write_time(in + "/changed.fxs",
                        fs::last_write_time(out + "/changed.pdf") + std::chrono::seconds(5));
    const std::string current_pdf = read_file(out + "/current.pdf");

    const testsupport::ChildResult r = run({"/skip", "/d=" + in, "/sd=" + out, "/log=" + log()});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find(in + "/current.fxs --> " + out + "/current.pdf : Skipped : " + out +
                         "/current.pdf already exist!\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(in + "/changed.fxs --> " + out + "/changed.pdf : Success !\n"),
              std::string::npos);
    EXPECT_NE(r.out.find(in + "/new.fxs --> " + out + "/new.pdf : Success !\n"), std::string::npos);
    EXPECT_NE(r.out.find("Total converted FAX files: 2\n"), std::string::npos);
    EXPECT_EQ(read_file(out + "/current.pdf"), current_pdf);
}

// A PDF with its identifier and dates blanked: the only bytes that may differ between runs.
std::string comparable(std::string pdf) {
    pdf = std::regex_replace(pdf, std::regex("/ID\\[<[0-9A-F]+><[0-9A-F]+>\\]"), "/ID[]");
    return std::regex_replace(pdf, std::regex("\\(D:\\d{14}\\)"), "(D:)");
}

// The same folder with one, two and eight jobs: the same report, log record and PDFs. The folder
// holds name clashes (a.fxs beside a.fxm, the same name in subfolders), damaged files and files
// that are no faxes, so that the names decided before conversion and the order of the report
// are both put to the test.
TEST_F(TrustedRuns, ParallelRunsGiveTheOneJobResult) {
    const std::string in = dir.file("in");
    ASSERT_TRUE(fs::create_directories(in + "/sub/deep"));
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(write_small_fax(in + "/f" + std::to_string(i) + ".fxs", 20 + i));
    ASSERT_TRUE(write_small_fax(in + "/a.fxs", 40));
    ASSERT_TRUE(write_small_fax(in + "/a.fxm", 41));
    ASSERT_TRUE(write_small_fax(in + "/sub/a.fxd", 42));
    ASSERT_TRUE(write_small_fax(in + "/sub/deep/a.fxr", 43));
    ASSERT_TRUE(write_file(in + "/junk.fxs", std::string(3000, 'x')));
    ASSERT_TRUE(write_file(in + "/sub/notes.txt", "not a fax at all"));
    std::string damaged = read_file(in + "/f3.fxs");
    damaged.resize(damaged.size() - 300);
    ASSERT_TRUE(write_file(in + "/sub/cut.fxs", damaged));

    std::string reference_report;
    std::string reference_record;
    std::map<std::string, std::string> reference_pdfs;
    // The last run asks for more at once than its 64 descriptors allow: it converts fewer at
    // once, says so, and loses nothing.
    constexpr int kMoreThanTheDescriptorsAllow = 64;
    for (const int jobs : {1, 2, 8, kMoreThanTheDescriptorsAllow}) {
        SCOPED_TRACE(jobs);
        const std::string out = dir.file("out" + std::to_string(jobs));
        fs::remove(log());
        testsupport::ChildOptions options;
        options.args = {"/i", "/d=" + in, "/sd=" + out, "/log=" + log(),
                        "/jobs=" + std::to_string(jobs)};
        if (jobs == kMoreThanTheDescriptorsAllow)
            options.open_file_limit = 64;
        const testsupport::ChildResult r = run(options);
        EXPECT_EQ(r.exit_code, 1);  // junk.fxs
        EXPECT_EQ(
            r.err.find(
                "files at once, not 64: the limit on open files (ulimit -n) allows no more") !=
                std::string::npos,
            jobs == kMoreThanTheDescriptorsAllow)
            << r.err;
        const auto without_out = [&](std::string text) {
            for (size_t at; (at = text.find(out)) != std::string::npos;)
                text.replace(at, out.size(), "OUT");
            return text;
        };
        const std::string report = without_out(r.out);
        const std::string record = without_out(read_file(log()).substr(20));  // after the stamp
        std::map<std::string, std::string> pdfs;
        for (const std::string& name : tree(out)) {
            if (fs::is_regular_file(out + "/" + name))
                pdfs[name] = comparable(read_file(out + "/" + name));
        }
        if (jobs == 1) {
            reference_report = report;
            reference_record = record;
            reference_pdfs = pdfs;
            // The clashes were resolved: five faxes named a, four of them numbered.
            for (const char* name : {"a.pdf", "a (2).pdf", "a (3).pdf", "a (4).pdf"})
                EXPECT_EQ(pdfs.count(name), 1u) << name;
            EXPECT_EQ(pdfs.size(), 17u);  // 12 + 4 + the cut file; not junk.fxs
            continue;
        }
        EXPECT_EQ(report, reference_report);
        EXPECT_EQ(record, reference_record);
        EXPECT_EQ(pdfs, reference_pdfs);
    }
}

}  // namespace
}  // namespace trelvane::e2e
