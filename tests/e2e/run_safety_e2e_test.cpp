// What a run writes to and how it ends, through the real program: it writes nothing over a
// file that is not its own (a fax, a device, a FIFO, a folder, its own log), takes each
// argument as one token, shows names so that none can forge a line, survives a reader that
// goes away, and leaves no name of its own behind however it ends.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "child_run_test.h"
#include "e2e_run.h"
#include "fax_fixtures.h"
#include "platform/cleanup.h"
#include "support/child_process.h"
#include "support/pdf_tools.h"

namespace trelvane::e2e {
namespace {

namespace fs = std::filesystem;
using testsupport::read_file;
using testsupport::TempDir;
using testsupport::write_file;

// Every entry below the folder, as relative paths.
std::set<std::string> tree(const std::string& root) {
    std::set<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        names.insert(it->path().lexically_relative(root).string());
    return names;
}

int count_of(const std::string& text, const std::string& what) {
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// A process id that is certainly gone: a child that has exited and been reaped.
pid_t finished_process() {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

class RunSafety : public ChildRunTest {
  protected:
    // A sanitizer build must accept the preloaded shim after its own runtime.
    RunSafety() : ChildRunTest(120, {{"ASAN_OPTIONS", "verify_asan_link_order=0"}}) {}
};

// A PDF goes only where nothing but a regular file that is no fax stands. Whatever else is in
// its place stays as it was, the file's line says why, the exit status is 1, and the run leaves
// no file of its own. A folder run converts its other files.
TEST_F(RunSafety, NeverWritesAPdfOverWhatIsNotAPdf) {
    const std::string fax = dir.file("a.fxs");
    ASSERT_TRUE(write_small_fax(fax, 1));
    ASSERT_TRUE(write_small_fax(dir.file("other.fxs"), 2));
    ASSERT_TRUE(write_small_fax(dir.file("fax-named.pdf"), 3));  // a fax whatever its name
    ASSERT_EQ(mkfifo(dir.file("fifo.pdf").c_str(), 0600), 0);
    ASSERT_TRUE(fs::create_directory(dir.file("folder.pdf")));
    ASSERT_EQ(symlink(dir.file("fifo.pdf").c_str(), dir.file("link-to-fifo.pdf").c_str()), 0);
    // A device of our own making, never the system's /dev/null.
    const bool may_make_devices =
        ::mknod(dir.file("null.pdf").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    const struct {
        std::string target;
        const char* reason;
        fs::file_type kind;
    } cases[] = {
        {dir.file("other.fxs"), "the PDF would replace a WinFax file", fs::file_type::regular},
        {dir.file("fax-named.pdf"), "the PDF would replace a WinFax file", fs::file_type::regular},
        {dir.file("fifo.pdf"), "the PDF would replace a FIFO", fs::file_type::fifo},
        {dir.file("link-to-fifo.pdf"), "the PDF would replace a FIFO", fs::file_type::symlink},
        {dir.file("folder.pdf"), "Is a directory", fs::file_type::directory},
        {dir.file("null.pdf"), "the PDF would replace a device", fs::file_type::character},
    };
    for (const auto& c : cases) {
        if (c.kind == fs::file_type::character && !may_make_devices)
            continue;  // not root: no device to test with
        SCOPED_TRACE(c.target);
        const std::string before =
            c.kind == fs::file_type::regular ? read_file(c.target) : std::string();
        const testsupport::ChildResult r = run({"/f=" + fax, "/sf=" + c.target, "/log=" + log()});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.out.find(fax + " --> " + c.target + " : Failed : " + fax +
                             " - Error in converting to pdf (" + c.reason + ")\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(fs::symlink_status(c.target).type(), c.kind);
        if (c.kind == fs::file_type::regular) {
            EXPECT_EQ(read_file(c.target), before);
        }
    }
    EXPECT_EQ(tree(dir.path()),
              (std::set<std::string>{"a.fxs", "other.fxs", "fax-named.pdf", "fifo.pdf",
                                     "folder.pdf", "link-to-fifo.pdf", "log.txt",
                                     may_make_devices ? "null.pdf" : "a.fxs"}));
    EXPECT_TRUE(fs::is_empty(tmp.path()));

    // In a folder run the file whose PDF place is taken fails alone.
    const std::string in = dir.file("in");
    const std::string out = dir.file("out");
    write_fax_folder(in, 3);
    ASSERT_TRUE(fs::create_directory(out));
    ASSERT_EQ(mkfifo((out + "/fax1001.pdf").c_str(), 0600), 0);
    const testsupport::ChildResult r = run({"/d=" + in, "/sd=" + out, "/log=" + log()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find(" : Failed : " + in +
                         "/fax1001.fxs - Error in converting to pdf (the "
                         "PDF would replace a FIFO)\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Total converted FAX files: 2\n"), std::string::npos) << r.out;
    EXPECT_EQ(fs::status(out + "/fax1001.pdf").type(), fs::file_type::fifo);
    EXPECT_EQ(tree(out), (std::set<std::string>{"fax1000.pdf", "fax1001.pdf", "fax1002.pdf"}));
}

// The log is appended to, so it must not be a fax (of this run or any other) or a PDF of the
// run: such a run converts nothing, writes nothing, says why and exits 1.
TEST_F(RunSafety, RefusesALogThatIsAFaxOrAPdfOfTheRun) {
    const std::string in = dir.file("in");
    write_fax_folder(in, 2);
    const std::string fax = in + "/fax1000.fxs";
    ASSERT_TRUE(write_small_fax(dir.file("elsewhere.fxd"), 7));
    ASSERT_TRUE(write_small_fax(dir.file("fax-as-text.txt"), 8));
    ASSERT_EQ(symlink(fax.c_str(), dir.file("link-to-fax").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("out/fax1001.pdf").c_str(), dir.file("link-to-pdf").c_str()), 0);
    const std::string out = dir.file("out");
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::string log;
    } cases[] = {
        {"the fax of a single-file run", {"/f=" + fax, "/sf=" + dir.file("a.pdf")}, fax},
        {"the PDF of a single-file run",
         {"/f=" + fax, "/sf=" + dir.file("a.pdf")},
         dir.path() + "/./a.pdf"},
        {"a fax of a folder run", {"/d=" + in, "/sd=" + out}, in + "/fax1001.fxs"},
        {"a PDF of a folder run, before it exists",
         {"/d=" + in, "/sd=" + out},
         out + "/sub/../fax1001.pdf"},
        {"a link to a fax of the run", {"/d=" + in, "/sd=" + out}, dir.file("link-to-fax")},
        {"a link to a PDF of the run", {"/d=" + in, "/sd=" + out}, dir.file("link-to-pdf")},
        {"a WinFax file outside the run", {"/d=" + in, "/sd=" + out}, dir.file("elsewhere.fxd")},
        {"a file that reads as a fax", {"/d=" + in, "/sd=" + out}, dir.file("fax-as-text.txt")},
    };
    std::map<std::string, std::string> kept;
    for (const std::string& name : tree(dir.path())) {
        if (fs::is_regular_file(dir.file(name)))
            kept[name] = read_file(dir.file(name));
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args = c.args;
        args.push_back("/log=" + c.log);
        const testsupport::ChildResult r = run(args);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find("trelvane: the log " + c.log), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("nothing was converted"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("-->"), std::string::npos) << r.out;
        EXPECT_FALSE(fs::exists(out));
        EXPECT_FALSE(fs::exists(dir.file("a.pdf")));
        for (const auto& [name, bytes] : kept)
            EXPECT_EQ(read_file(dir.file(name)), bytes) << name;
    }
}

// The shell hands over each argument whole: a quote and a space inside one are part of the
// name, never the start of further options.
TEST_F(RunSafety, AnArgumentIsOneTokenQuotesAndSpacesIncluded) {
    const std::string victim = dir.file("victim.fxs");
    ASSERT_TRUE(write_small_fax(victim, 5));
    const std::string victim_bytes = read_file(victim);
    const std::string in = dir.file("Fax\" /log=" + victim + " /kh /q \"x");
    write_fax_folder(in, 1);
    const std::string out = dir.file("out");
    const testsupport::ChildResult r = run({"/d=" + in, "/sd=" + out, "/log=" + log()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(read_file(victim), victim_bytes);
    EXPECT_NE(r.out.find("Please Wait...\n"), std::string::npos) << "not quiet";
    EXPECT_NE(r.out.find("Source Folder: " + in + "\n"), std::string::npos) << r.out;
    EXPECT_EQ(tree(out), (std::set<std::string>{"fax1000.pdf"})) << "no hierarchy kept";
    EXPECT_NE(read_file(log()).find("Total converted FAX files: 1\r\n"), std::string::npos);
}

// No line of the text starts with the forged total, and no line holds a carriage return of a
// name (the log's own lines end in CR LF).
void expect_no_forged_line(const std::string& text) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        if (line.ends_with('\r'))
            line.pop_back();
        EXPECT_FALSE(line.starts_with("Total converted FAX files: 7")) << text;
        EXPECT_EQ(line.find_first_of("\r\x1b\x07"), std::string::npos) << line;
        at = end + 1;
    }
}

// A name holding line ends or terminal escapes is shown escaped, on the terminal and in the log,
// so no name can add a line of its own; the PDF keeps the name as it is.
TEST_F(RunSafety, NamesCannotForgeReportLines) {
    const std::string in = dir.file("in\x1b[1m");
    const std::string in_shown = dir.file("in\\x1B[1m");
    ASSERT_TRUE(fs::create_directory(in));
    const std::string name = "a\r\nTotal converted FAX files: 7\r\n\x1b[2J\x1b]0;x\x07";
    const std::string shown = "a\\r\\nTotal converted FAX files: 7\\r\\n\\x1B[2J\\x1B]0;x\\x07";
    ASSERT_TRUE(write_small_fax(in + "/" + name + ".fxs", 1));
    const std::string out = dir.file("out");
    for (const bool single : {false, true}) {
        SCOPED_TRACE(single ? "single file" : "folder");
        fs::remove(log());
        const std::vector<std::string> args =
            single ? std::vector<std::string>{"/f=" + in + "/" + name + ".fxs",
                                              "/sf=" + out + "/" + name + ".pdf", "/log=" + log()}
                   : std::vector<std::string>{"/d=" + in, "/sd=" + out, "/log=" + log()};
        const testsupport::ChildResult r = run(args);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        expect_no_forged_line(r.out);
        expect_no_forged_line(r.err);
        expect_no_forged_line(read_file(log()));
        EXPECT_NE(r.out.find(in_shown + "/" + shown + ".fxs --> " + out + "/" + shown +
                             ".pdf : Success !\n"),
                  std::string::npos)
            << r.out;
        if (!single) {
            EXPECT_NE(r.out.find("Source Folder: " + in_shown + "\n"), std::string::npos);
        }
        EXPECT_TRUE(fs::is_regular_file(out + "/" + name + ".pdf"));
    }
}

// A reader that stops reading (| head) takes the report away, not the run: every PDF is made,
// the log gets its record, the exit status is the run's.
TEST_F(RunSafety, AClosedReportPipeDoesNotEndTheRun) {
    const std::string in = dir.file("in");
    write_fax_folder(in, 33);
    const std::string out = dir.file("out");
    testsupport::ChildOptions options;
    const std::string command = "'" + std::string(TRELVANE_EXE) + "' '/d=" + in + "' '/sd=" + out +
                                "' '/log=" + log() + "' /jobs=2 | head -n 3 >/dev/null; " +
                                "exit ${PIPESTATUS[0]}";
    options.args = {"-c", command};
    options.env["TMPDIR"] = tmp.path();
    options.timeout_seconds = 120;
    const testsupport::ChildResult r = testsupport::run_child("/bin/bash", options);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(tree(out).size(), 33u);
    const std::string record = read_file(log());
    EXPECT_EQ(count_of(record, " : Success !\r\n"), 33) << record;
    EXPECT_NE(record.find("Total converted FAX files: 33\r\n" + std::string(50, '-') + "\n"),
              std::string::npos);
}

// With /q standard output stays empty, in both kinds of run; the log still gets the record.
TEST_F(RunSafety, QuietPrintsNothing) {
    const std::string in = dir.file("in");
    write_fax_folder(in, 2);
    const std::vector<std::string> runs[] = {
        {"/q", "/d=" + in, "/sd=" + dir.file("out"), "/log=" + log()},
        {"/q", "/f=" + in + "/fax1000.fxs", "/sf=" + dir.file("one.pdf"), "/log=" + log()},
        {"/q", "/f=" + in + "/fax1000.fxs", "/sf=" + in + "/fax1001.fxs", "/log=" + log()},
    };
    int records = 0;
    for (const auto& args : runs) {
        const testsupport::ChildResult r = run(args);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(count_of(read_file(log()), std::string(50, '-') + "\n"), ++records);
    }
}

// An empty save option (an unset variable) is a broken command: exit 2 with the message, no
// window, even where one could open.
TEST_F(RunSafety, AnEmptySaveOptionExitsWithoutTheWindow) {
    for (const char* option : {"/sd=", "/sf="}) {
        testsupport::ChildOptions options;
        options.args = {"/d=" + dir.path(), option};
        options.env["QT_QPA_PLATFORM"] = "offscreen";
        options.env["DISPLAY"] = ":0";
        const testsupport::ChildResult r = run(options);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_NE(r.err.find("ERROR Save Folder: Please set save folder"), std::string::npos)
            << r.err;
    }
}

// Where the save folder cannot hold unnamed files (NFS, CIFS, FUSE), PDFs are written under
// temporary names; an interrupted run must still leave none of them, however the signal falls.
TEST_F(RunSafety, InterruptedRunsLeaveNoTemporaryNamesWithoutUnnamedFiles) {
    const std::string in = dir.file("in");
    write_fax_folder(in, 24);
    constexpr int kRuns = 30;
    int interrupted = 0;
    for (int i = 0; i < kRuns; ++i) {
        SCOPED_TRACE(i);
        const std::string out = dir.file("out" + std::to_string(i));
        testsupport::ChildOptions options;
        options.args = {"/d=" + in, "/sd=" + out, "/log=" + log(), "/jobs=4"};
        options.env["LD_PRELOAD"] = TRELVANE_FILE_SYSTEM_SHIM;
        options.env["TRELVANE_SHIM_NO_TMPFILE"] = "1";
        options.signal_number = SIGTERM;
        options.signal_mark = " : Success !";
        options.signal_after_marks = 1 + i % 6;
        const testsupport::ChildResult r = run(options);
        if (r.exit_code == 128 + SIGTERM)
            ++interrupted;
        for (const std::string& name : tree(out))
            EXPECT_TRUE(name.ends_with(".pdf") && name.find(".tmp-") == std::string::npos) << name;
        EXPECT_TRUE(fs::is_empty(tmp.path()));
    }
    EXPECT_GT(interrupted, kRuns / 2) << "the signal came too late to test anything";
}

// A second signal ends the run at once: here the run is blocked writing its log to a FIFO that
// nobody reads, where the first signal can do nothing.
TEST_F(RunSafety, ASecondSignalEndsARunBlockedOnItsLog) {
    ASSERT_TRUE(write_small_fax(dir.file("a.fxs"), 1));
    const std::string fifo = dir.file("log.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    testsupport::ChildOptions options;
    options.args = {"/f=" + dir.file("a.fxs"), "/sf=" + dir.file("a.pdf"), "/log=" + fifo};
    options.signal_number = SIGINT;
    options.then_signal_number = SIGTERM;
    options.signal_mark = " : Success !";
    const testsupport::ChildResult r = run(options);
    ASSERT_TRUE(r.signal_sent);
    EXPECT_TRUE(r.exit_code == 128 + SIGINT || r.exit_code == 128 + SIGTERM) << r.exit_code;
    EXPECT_NE(r.err.find("again: stopped at once"), std::string::npos) << r.err;
    EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
    EXPECT_TRUE(fs::is_empty(tmp.path()));
}

// What a run killed outright left (a PDF linked but not yet renamed, /m=1 page files) is
// removed by the next run that writes there, once its owner is gone, and only then; names of
// live runs, of other machines and of the user stay.
TEST_F(RunSafety, RunsSweepTheTemporariesOfKilledRuns) {
    const std::string in = dir.file("in");
    write_fax_folder(in, 1);
    const std::string out = dir.file("out");
    ASSERT_TRUE(fs::create_directory(out));
    const std::string host = platform::owner_tag().substr(0, 6);
    const std::string gone = host + "-" + std::to_string(finished_process());
    const std::string alive = host + "-" + std::to_string(::getpid());
    const std::string other_host = (host == "000000" ? "000001" : "000000") + gone.substr(6);
    const struct {
        std::string folder;
        std::string name;
        bool swept;
    } cases[] = {
        {out, "old.pdf.tmp-" + gone + "-AbC123", true},
        {out, "old.pdf.tmp-" + alive + "-AbC123", false},
        {out, "old.pdf.tmp-" + other_host + "-AbC123", false},
        {out, "old.pdf.tmp-" + gone + "-AbC12", false},  // not a name of ours
        {out, "notes.tmp-123", false},
        {tmp.path(), "tvnintif-" + gone + "-0001.tif", true},
        {tmp.path(), "tvnintif-" + gone + "-12017.tif", true},
        {tmp.path(), "tvnintif-" + alive + "-0001.tif", false},
        {tmp.path(), "tvnintif-" + gone + "-0001.tiff", false},
        {tmp.path(), "tvncptif-" + gone + "-0123456789abcdef.tmp", true},  // a named work file
        {tmp.path(), "tvncptif-" + alive + "-0123456789abcdef.tmp", false},
        {tmp.path(), "tvncptif-" + gone + "-0123.tmp", false},
    };
    for (const auto& c : cases)
        ASSERT_TRUE(write_file(c.folder + "/" + c.name, "left"));
    const testsupport::ChildResult r = run({"/d=" + in, "/sd=" + out, "/log=" + log()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    for (const auto& c : cases)
        EXPECT_EQ(fs::exists(c.folder + "/" + c.name), !c.swept) << c.name;
    EXPECT_TRUE(fs::exists(out + "/fax1000.pdf"));
}

// With /kh the folders under the save folder are made for PDFs that are put in place: faxes
// that fail leave no empty folders, and a folder that holds a PDF keeps it.
TEST_F(RunSafety, FailedFaxesLeaveNoEmptyFolders) {
    const std::string in = dir.file("in");
    write_fax_folder(in + "/good/deep", 1);
    ASSERT_TRUE(fs::create_directories(in + "/bad/deeper"));
    ASSERT_TRUE(write_file(in + "/bad/deeper/x.fxs", std::string(600, 'x')));
    ASSERT_TRUE(write_file(in + "/good/y.fxs", std::string(600, 'y')));
    const std::string out = dir.file("out");
    for (const char* jobs : {"/jobs=1", "/jobs=4"}) {
        SCOPED_TRACE(jobs);
        fs::remove_all(out);
        const testsupport::ChildResult r =
            run({"/d=" + in, "/sd=" + out, "/i", "/kh", jobs, "/log=" + log()});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(count_of(r.out, " - Not Fax"), 2) << r.out;
        EXPECT_EQ(tree(out), (std::set<std::string>{"good", "good/deep", "good/deep/fax1000.pdf"}));
    }
}

// The faxes are read, never written: keeping their times with /l included (the shim aborts the
// program the moment it opens the fax for writing).
TEST_F(RunSafety, TheFaxIsNeverOpenedForWriting) {
    const std::string fax = dir.file("a.fxs");
    ASSERT_TRUE(write_small_fax(fax, 1));
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{"/l"}, {"/l", "/skip"}, {"/l", "/m=1"}}) {
        testsupport::ChildOptions options;
        options.args = {"/f=" + fax, "/sf=" + dir.file("a.pdf"), "/log=" + log()};
        options.args.insert(options.args.end(), extra.begin(), extra.end());
        options.env["LD_PRELOAD"] = TRELVANE_FILE_SYSTEM_SHIM;
        options.env["TRELVANE_SHIM_NEVER_WRITE"] = fax;
        const testsupport::ChildResult r = run(options);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.signal, 0) << r.err;
    }
    // The shim does catch such an open: a log that is the fax would be one, were it not refused
    // before; a PDF over a plain file shows the shim at work.
    ASSERT_TRUE(write_file(dir.file("plain.pdf"), "x"));
    testsupport::ChildOptions options;
    options.args = {"/f=" + fax, "/sf=" + dir.file("b.pdf"), "/log=" + dir.file("plain.pdf")};
    options.env["LD_PRELOAD"] = TRELVANE_FILE_SYSTEM_SHIM;
    options.env["TRELVANE_SHIM_NEVER_WRITE"] = dir.file("plain.pdf");
    EXPECT_EQ(run(options).signal, SIGABRT);
}

}  // namespace
}  // namespace trelvane::e2e
