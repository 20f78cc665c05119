// Which PDF each fax of a folder run gets, and which faxes a run with /skip leaves alone, through
// the real program: /kh below the save folder, names claimed in any case, the walk's order,
// entries that cannot be read, filters that find nothing, and the record a skipped PDF must hold.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "e2e_run.h"
#include "fax_fixtures.h"

namespace trelvane::e2e {
namespace {

namespace fs = std::filesystem;
using testsupport::read_file;
using testsupport::write_file;

int64_t seconds_from_now(int64_t offset) {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
               .count() +
           offset;
}

void set_modified(const std::string& path, int64_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

using NamesE2e = ConversionRun;

struct HierarchyCase {
    const char* what;
    const char* working;  // below the case's folder
    std::vector<std::string> args;
    std::vector<std::string> faxes;  // below the case's folder
    std::vector<std::string> pdfs;   // below the case's folder, sorted
};

// With /kh each PDF is the fax's path below the source folder, put below the save folder: the
// source's text elsewhere in a path stays, and nothing lands outside the save folder.
TEST_F(NamesE2e, KeepHierarchyReplacesOnlyTheLeadingSourceFolder) {
    const HierarchyCase cases[] = {
        {"the source's name recurs in the path",
         "",
         {"/d=fax", "/sd=pdf"},
         {"fax/faxes2024/fax1.fxs", "fax/fax.fxs"},
         {"pdf/fax.pdf", "pdf/faxes2024/fax1.pdf"}},
        {"the save folder holds the source's name",
         "w",
         {"/d=x", "/sd=../x"},
         {"w/x/x/x.fxs", "w/x/a.fxs"},
         {"x/a.pdf", "x/x/x.pdf"}},
        {"the current folder",
         "in",
         {"/d=.", "/sd=../out"},
         {"in/a.fxs", "in/sub/b.fxs"},
         {"out/a.pdf", "out/sub/b.pdf"}},
        {"the folder above",
         "in/sub",
         {"/d=..", "/sd=../../out"},
         {"in/a.fxs", "in/sub/b.fxs"},
         {"out/a.pdf", "out/sub/b.pdf"}},
        {"trailing separators", "", {"/d=fax/", "/sd=pdf/"}, {"fax/s/a.fxs"}, {"pdf/s/a.pdf"}},
        {"doubled trailing separators",
         "",
         {"/d=fax//", "/sd=pdf"},
         {"fax/s/a.fxs"},
         {"pdf/s/a.pdf"}},
    };
    int n = 0;
    for (const HierarchyCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string root = dir.file("case" + std::to_string(n++));
        for (const std::string& fax : c.faxes) {
            fs::create_directories(fs::path(root + "/" + fax).parent_path());
            ASSERT_TRUE(write_small_fax(root + "/" + fax, 3));
        }
        fs::create_directories(root + "/" + c.working);
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"/i", "/kh", "/q"});
        const RunResult r = run(args, root + "/" + c.working);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(pdfs_below(root), c.pdfs);
        fs::remove(log_path());
    }
}

// Names are one name in any case, as on a share, FAT or NTFS; the walk's order, and so which
// fax gets "(2)", is the same whatever order the file system keeps, and whatever the jobs.
TEST_F(NamesE2e, NamesAreClaimedInAnyCaseInTheOrderNtfsListsThem) {
    const std::vector<std::string> names = {"sub/invoice.fxs", "Invoice.fxs", "_memo.fxs",
                                            "INVOICE.fxm",     "b.fxs",       "Memo.fxs"};
    std::string reports[2];
    for (int tree = 0; tree < 2; ++tree) {
        const std::string in = dir.file("in" + std::to_string(tree));
        fs::create_directories(in + "/sub");
        std::vector<std::string> order = names;
        if (tree == 1)
            std::reverse(order.begin(), order.end());  // created the other way round
        for (const std::string& name : order)
            ASSERT_TRUE(write_small_fax(in + "/" + name, 4, name));
        const std::string out = dir.file("out" + std::to_string(tree));
        for (const char* jobs : {"/jobs=1", "/jobs=4"}) {
            SCOPED_TRACE(jobs);
            fs::remove_all(out);
            const RunResult r = run({"/i", jobs, "/d=" + in, "/sd=" + out});
            std::string report = folder_header(in, out);
            const auto line = [&](const std::string& fax, const std::string& pdf,
                                  const std::string& wanted) {
                report += report_line(in + "/" + fax, out + "/" + pdf,
                                      wanted.empty() ? "Success !"
                                                     : "Success ! (" + out + "/" + wanted +
                                                           " is the PDF of an earlier fax in this "
                                                           "run)");
            };
            line("b.fxs", "b.pdf", "");
            line("INVOICE.fxm", "INVOICE.pdf", "");
            // The note names the earlier PDF as it is on the disk.
            line("Invoice.fxs", "Invoice (2).pdf", "INVOICE.pdf");
            line("Memo.fxs", "Memo.pdf", "");
            line("sub/invoice.fxs", "invoice (3).pdf", "INVOICE.pdf");
            line("_memo.fxs", "_memo.pdf", "");
            report += folder_total(6);
            expect_reported(r, log_path(), report, true);
            fs::remove(log_path());
            EXPECT_EQ(title_of(out + "/invoice (3).pdf"), "sub/invoice.fxs");
            reports[tree] = as_shown(r.out);
        }
        std::string shown = reports[tree];
        for (const std::string& folder : {in, out}) {
            for (size_t at; (at = shown.find(folder)) != std::string::npos;)
                shown.replace(at, folder.size(), "<folder>");
        }
        reports[tree] = shown;
    }
    EXPECT_EQ(reports[0], reports[1]);
}

// A fax-named entry that is no file to read gets its failure line, and the run says so by its
// status; the pipe is never opened (a run that opened it would wait for a writer for ever).
TEST_F(NamesE2e, EntriesThatCannotBeReadFailWithTheirReason) {
    const std::string in = dir.file("in");
    const std::string out = dir.file("out");
    fs::create_directories(in);
    ASSERT_TRUE(write_small_fax(in + "/a.fxs", 5));
    ASSERT_EQ(mkfifo((in + "/b.fxs").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/nonexistent/share/c.fxs", (in + "/c.fxs").c_str()), 0);
    ASSERT_EQ(symlink("d.fxs", (in + "/d.fxs").c_str()), 0);
    // Its name cannot forge a line of the report either.
    ASSERT_EQ(mkfifo((in + "/e\r\nTotal converted FAX files: 9.fxs").c_str(), 0600), 0);
    const RunResult r = run({"/d=" + in, "/sd=" + out});
    const auto failed = [&](const std::string& name, const std::string& reason) {
        return report_line(in + "/" + name + ".fxs", out + "/" + name + ".pdf",
                           "Failed : " + in + "/" + name + ".fxs - Not Fax (" + reason + ")");
    };
    expect_reported(
        r, log_path(),
        folder_header(in, out) + report_line(in + "/a.fxs", out + "/a.pdf", "Success !") +
            failed("b", "a pipe, not a file") +
            failed("c", "a link that cannot be followed: No such file or directory") +
            failed("d", "a link that cannot be followed: Too many levels of symbolic links") +
            failed("e\\r\\nTotal converted FAX files: 9", "a pipe, not a file") + folder_total(1),
        true);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(pdfs_below(out), std::vector<std::string>{"a.pdf"});
}

struct FilterCase {
    const char* filter;
    int exit_code;
    const char* said;  // on standard error
};

TEST_F(NamesE2e, FiltersThatCannotFindAnythingSaySo) {
    const std::string in = dir.file("in");
    fs::create_directories(in);
    ASSERT_TRUE(write_small_fax(in + "/a.fxs", 6));
    const FilterCase cases[] = {
        {"/filter=", 2, "trelvane: the file filter is empty"},
        {"/filter=\"*.fxs\"", 2, "trelvane: the file filter \"*.fxs\" holds quotes"},
        {"/filter=*.tif", 0, "trelvane: no WinFax file (.fxd, .fxm, .fxr, .fxs) in "},
        {"/filter=*.FXS", 0, ""},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.filter);
        const RunResult r = run({c.filter, "/q", "/d=" + in, "/sd=" + dir.file("out")});
        EXPECT_EQ(r.exit_code, c.exit_code);
        EXPECT_TRUE(r.err.starts_with(c.said)) << r.err;
        if (std::string(c.said).empty()) {
            EXPECT_EQ(r.err, "");
        }
        fs::remove(log_path());
    }
}

// /skip keeps a PDF only when it was made from this fax as it is now.
TEST_F(NamesE2e, SkipKeepsOnlyPdfsOfTheFaxAsItIsNow) {
    TRELVANE_REQUIRE_TOOL("pdfinfo");
    const std::string in = dir.file("in");
    const std::string out = dir.file("out");
    fs::create_directories(in + "/x");
    fs::create_directories(in + "/w");
    const int64_t hour_ago = seconds_from_now(-3600);
    ASSERT_TRUE(write_small_fax(in + "/x/a.fxs", 7, "x/a"));
    set_modified(in + "/x/a.fxs", hour_ago);
    // Half a fax, as a run found it while the modem was still writing, a minute ago. It is
    // completed before the PDF is written, so the PDF is newer than the whole fax.
    ASSERT_TRUE(write_small_fax(in + "/g.fxs", 8, "g"));
    const std::string whole_g = read_file(in + "/g.fxs");
    ASSERT_TRUE(write_file(in + "/g.fxs", whole_g.substr(0, whole_g.size() / 2)));
    set_modified(in + "/g.fxs", seconds_from_now(-60));
    // Times kept by a copy: the PDF's time will equal the fax's (as /l makes it), and a time a
    // year ahead.
    ASSERT_TRUE(write_small_fax(in + "/e.fxs", 9, "e"));
    set_modified(in + "/e.fxs", hour_ago);
    ASSERT_TRUE(write_small_fax(in + "/f.fxs", 10, "f"));
    set_modified(in + "/f.fxs", seconds_from_now(365 * 24 * 3600));

    struct Step {
        const char* what;
        void (*before)(const std::string& in, const std::string& out, const std::string& whole_g);
        std::map<std::string, std::string> outcomes;  // fax -> start of its outcome
    };
    const Step steps[] = {
        {"first run",
         nullptr,
         {{"x/a.fxs", "Success !"},
          {"g.fxs", "Success !"},
          {"e.fxs", "Success !"},
          {"f.fxs", "Success !"}}},
        {"nothing changed, the PDF's time equal to its fax's",
         [](const std::string& in, const std::string& out, const std::string&) {
             struct stat st {};
             ASSERT_EQ(stat((in + "/e.fxs").c_str(), &st), 0);
             set_modified(out + "/e.pdf", st.st_mtim.tv_sec);
         },
         {{"x/a.fxs", "Skipped"},
          {"g.fxs", "Skipped"},
          {"e.fxs", "Skipped"},
          {"f.fxs", "Skipped"}}},
        {"an older fax takes the name, the half fax was completed before its PDF was written",
         [](const std::string& in, const std::string&, const std::string& whole_g) {
             ASSERT_TRUE(write_small_fax(in + "/w/a.fxs", 11, "w/a"));
             set_modified(in + "/w/a.fxs", seconds_from_now(-7200));
             ASSERT_TRUE(write_file(in + "/g.fxs", whole_g));
             set_modified(in + "/g.fxs", seconds_from_now(-50));
         },
         {{"w/a.fxs", "Success !"},
          {"x/a.fxs", "Success !"},
          {"g.fxs", "Success !"},
          {"e.fxs", "Skipped"},
          {"f.fxs", "Skipped"}}},
        {"a fax being written now",
         [](const std::string& in, const std::string&, const std::string&) {
             ASSERT_TRUE(write_small_fax(in + "/e.fxs", 12, "e2"));
         },
         {{"w/a.fxs", "Skipped"},
          {"x/a.fxs", "Skipped"},
          {"g.fxs", "Skipped"},
          {"e.fxs", "Left for the next run: changed less than 10 seconds ago"},
          {"f.fxs", "Skipped"}}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.before)
            step.before(in, out, whole_g);
        const RunResult r = run({"/skip", "/i", "/d=" + in, "/sd=" + out});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        const std::string shown = as_shown(r.out);
        for (const auto& [fax, outcome] : step.outcomes) {
            const std::string head = in + "/" + fax + " --> ";
            const size_t at = shown.find(head);
            ASSERT_NE(at, std::string::npos) << fax << "\n" << shown;
            const size_t colon = shown.find(" : ", at);
            EXPECT_EQ(shown.substr(colon + 3, outcome.size()), outcome) << fax << "\n" << shown;
        }
        fs::remove(log_path());
    }
    // The walk meets w/ before x/: the newer fax's PDF is the renamed one, and neither PDF
    // holds the other's pages.
    EXPECT_EQ(title_of(out + "/a.pdf"), "w/a");
    EXPECT_EQ(title_of(out + "/a (2).pdf"), "x/a");
    EXPECT_EQ(qpdf_page_count(out + "/g.pdf"), 2);
    EXPECT_EQ(title_of(out + "/e.pdf"), "e");  // left for the next run
}

}  // namespace
}  // namespace trelvane::e2e
