// Faults of the surroundings, injected into runs of the real program: a temporary folder that
// is missing or no folder, destinations that cannot be written, the file size limit reached
// while writing (the way a full disk behaves), a source that vanishes during a run, a log
// that cannot be written. Each must end with a clear report line and the right exit status,
// the other files still converted, no partial PDF anywhere, and an older PDF kept intact.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/batch_job.h"
#include "app/folder_batch.h"
#include "app/process_paths.h"
#include "support/bitmap.h"
#include "support/ccitt.h"
#include "support/child_process.h"
#include "support/pdf_tools.h"
#include "support/temp_dir.h"
#include "support/winfax_builder.h"

namespace trelvane::e2e {
namespace {

namespace fs = std::filesystem;
using testsupport::read_file;
using testsupport::TempDir;
using testsupport::WinFaxPage;

// A small fax of two text pages.
bool write_small_fax(const std::string& path, uint32_t seed) {
    const testsupport::CodedPage coded = testsupport::encode_page(
        testsupport::text_like(1728, 120, seed), testsupport::Coding::Group4, 2);
    WinFaxPage page;
    page.data = coded.data;
    page.length = 120;
    page.coding = 1;
    page.title = "Fault";
    return testsupport::write_winfax(path, {page, page});
}

// 200 pages of a few white lines each whose headers claim the default length: the coded
// input is tiny, but every stage writes more than the one before, so a file size limit can
// stop any of the three.
bool write_growing_fax(const std::string& path) {
    const testsupport::CodedPage coded =
        testsupport::encode_page(testsupport::all_white(1728, 10), testsupport::Coding::Group4, 2);
    WinFaxPage page;
    page.data = coded.data;
    page.length = 0;  // 3432 lines
    page.coding = 1;
    return testsupport::write_winfax(path, std::vector<WinFaxPage>(200, page));
}

// Every file below the folder whose name marks a temporary PDF.
std::vector<std::string> temporary_pdfs(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->path().filename().string().find(".tmp-") != std::string::npos)
            found.push_back(it->path().string());
    }
    return found;
}

class FaultInjectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(write_small_fax(in.file("a.fxd"), 1));
        ASSERT_TRUE(write_small_fax(in.file("b.fxs"), 2));
    }

    testsupport::ChildResult run(const std::vector<std::string>& args,
                                 const std::string& tmpdir = {},
                                 std::optional<uint64_t> file_size_limit = {}) {
        testsupport::ChildOptions options;
        options.args = args;
        options.env = {{"TMPDIR", tmpdir.empty() ? tmp.path() : tmpdir}};
        options.working_folder = base.path();
        options.timeout_seconds = 120;  // a hang guard only
        options.file_size_limit = file_size_limit;
        testsupport::ChildResult r = testsupport::run_child(TRELVANE_EXE, options);
        EXPECT_TRUE(r.started);
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(r.signal, 0) << r.err;
        return r;
    }

    // A good PDF of a.fxd at path, made by an unhindered run.
    std::string good_pdf_at(const std::string& path) {
        const testsupport::ChildResult r =
            run({"/q", "/f=" + in.file("a.fxd"), "/sf=" + path, "/log=" + log()});
        EXPECT_EQ(r.exit_code, 0);
        const std::string bytes = read_file(path);
        EXPECT_FALSE(bytes.empty());
        return bytes;
    }

    std::string log() const { return base.file("log.txt"); }
    std::string head(const std::string& source, const std::string& pdf) const {
        return source + " --> " + pdf + " : ";
    }

    TempDir base;  // the current folder of every run; holds the log
    TempDir in;
    TempDir out;
    TempDir tmp;
};

TEST_F(FaultInjectionTest, TemporaryFolderMissingOrNoFolder) {
    ASSERT_TRUE(testsupport::write_file(base.file("plain-file"), "x"));
    const std::string old_pdf = good_pdf_at(out.file("a.pdf"));
    for (const std::string& tmpdir : {base.file("missing"), base.file("plain-file")}) {
        SCOPED_TRACE(tmpdir);
        const testsupport::ChildResult r =
            run({"/d=" + in.path(), "/sd=" + out.path(), "/log=" + log()}, tmpdir);
        // Nothing can start without work files: one line says where and why, the report too.
        EXPECT_EQ(r.exit_code, 2);
        const std::string reason =
            tmpdir.ends_with("missing") ? " (No such file or directory)" : " (Not a directory)";
        EXPECT_EQ(r.err, "trelvane: cannot create work files in " + tmpdir + "/" + reason +
                             "; set TMPDIR to a folder you may write to\n");
        EXPECT_NE(r.out.find("Failed to create work files in " + tmpdir + "/" + reason + "\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(r.out.find(" --> "), std::string::npos) << r.out;
        EXPECT_EQ(read_file(out.file("a.pdf")), old_pdf);  // the older PDF survives
        EXPECT_FALSE(fs::exists(out.file("b.pdf")));
        EXPECT_TRUE(temporary_pdfs(out.path()).empty());
        EXPECT_NE(read_file(log()).find("Failed to create work files in " + tmpdir + "/" + reason +
                                        "\r\n"),
                  std::string::npos);
    }
    EXPECT_FALSE(fs::exists(base.file("missing")));
}

TEST_F(FaultInjectionTest, DestinationThatIsAnExistingFolder) {
    const std::string folder = out.file("taken.pdf");
    ASSERT_TRUE(fs::create_directory(folder));
    ASSERT_TRUE(testsupport::write_file(folder + "/inside.txt", "keep me"));
    const std::string source = in.file("a.fxd");
    const testsupport::ChildResult r = run({"/f=" + source, "/sf=" + folder, "/log=" + log()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find(head(source, folder) + "Failed : " + source +
                         " - Error in converting to pdf (Is a directory)\n"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(read_file(folder + "/inside.txt"), "keep me");
    EXPECT_TRUE(temporary_pdfs(out.path()).empty());
    EXPECT_NE(read_file(log()).find(" - Error in converting to pdf (Is a directory)\r\n"),
              std::string::npos);
}

TEST_F(FaultInjectionTest, DestinationFolderPathThroughARegularFile) {
    const std::string file = out.file("plain");
    ASSERT_TRUE(testsupport::write_file(file, "not a folder"));
    const std::string source = in.file("a.fxd");

    const std::string pdf = file + "/sub/a.pdf";
    const testsupport::ChildResult single = run({"/f=" + source, "/sf=" + pdf, "/log=" + log()});
    EXPECT_EQ(single.exit_code, 1);
    EXPECT_NE(single.out.find(head(source, pdf) + "Failed to create dir: " + file +
                              "/sub (Not a directory)\n"),
              std::string::npos)
        << single.out;

    // A save folder that is a file: every file of a folder run says so, and the run goes on.
    const testsupport::ChildResult folder =
        run({"/d=" + in.path(), "/sd=" + file, "/log=" + log()});
    EXPECT_EQ(folder.exit_code, 1);
    EXPECT_NE(folder.out.find(head(source, file + "/a.pdf") + "Failed to create dir: " + file +
                              " (Not a directory)\n"),
              std::string::npos)
        << folder.out;
    EXPECT_NE(folder.out.find(head(in.file("b.fxs"), file + "/b.pdf") +
                              "Failed to create dir: " + file + " (Not a directory)\n"),
              std::string::npos);
    EXPECT_EQ(read_file(file), "not a folder");
    EXPECT_NE(read_file(log()).find("Failed to create dir: " + file + " (Not a directory)\r\n"),
              std::string::npos);
}

// The file size limit, from what the first stage needs to what the PDF needs: each run stops
// at one of the three stages (or succeeds), and every stage's failure turns up somewhere in
// the range. The small files of the folder always convert; the older PDF of the big one
// survives every failed reconversion.
TEST_F(FaultInjectionTest, FileSizeLimitReachedWhileWriting) {
    const std::string big = in.file("big.fxr");
    ASSERT_TRUE(write_growing_fax(big));
    const std::string big_pdf = out.file("big.pdf");
    const testsupport::ChildResult first =
        run({"/q", "/f=" + big, "/sf=" + big_pdf, "/log=" + log()});
    ASSERT_EQ(first.exit_code, 0);
    const std::string old_pdf = read_file(big_pdf);
    const uint64_t pdf_size = old_pdf.size();
    const uint64_t fax_size = fs::file_size(big);
    ASSERT_GT(pdf_size, 4 * fax_size);

    std::set<std::string> stages_seen;
    // Each names the system's reason: the limit makes writes fail with EFBIG.
    const std::vector<std::string> failures = {" - Error Fax (File too large)",
                                               " - Error in prearing to pdf conversion (File too "
                                               "large)",
                                               " - Error in converting to pdf (File too large)"};
    constexpr int kSteps = 16;
    for (int step = 0; step < kSteps; ++step) {
        const uint64_t limit = fax_size + (pdf_size - fax_size) * step / kSteps;
        SCOPED_TRACE("limit " + std::to_string(limit));
        fs::remove(log());
        const testsupport::ChildResult r =
            run({"/d=" + in.path(), "/sd=" + out.path(), "/log=" + log()}, {}, limit);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err,
                  "trelvane: 1 not converted; the report says why (it is also in " + log() + ")\n");
        const std::string line_start = head(big, big_pdf) + "Failed : " + big;
        const size_t at = r.out.find(line_start);
        ASSERT_NE(at, std::string::npos) << r.out;
        const std::string outcome =
            r.out.substr(at + line_start.size(), r.out.find('\n', at) - at - line_start.size());
        EXPECT_NE(std::find(failures.begin(), failures.end(), outcome), failures.end()) << outcome;
        stages_seen.insert(outcome);
        EXPECT_NE(r.out.find("Total converted FAX files: 2\n"), std::string::npos) << r.out;
        EXPECT_EQ(read_file(big_pdf), old_pdf);
        EXPECT_TRUE(temporary_pdfs(out.path()).empty());
        EXPECT_TRUE(fs::is_empty(tmp.path()));
        EXPECT_NE(read_file(log()).find(outcome + "\r\n"), std::string::npos);
        for (const char* name : {"a.pdf", "b.pdf"}) {
            if (testsupport::tool_available("qpdf")) {
                EXPECT_EQ(testsupport::qpdf_check(out.file(name)).exit_code, 0) << name;
            }
        }
    }
    EXPECT_EQ(stages_seen.size(), failures.size());
}

// At function level (the walk skips entries that are already gone, so a run of the program
// offers no clean moment to delete): the walk lists the files, one is deleted, then the loop
// converts.
TEST_F(FaultInjectionTest, SourceDeletedBetweenWalkAndConversion) {
    const char* old_tmpdir = std::getenv("TMPDIR");
    const std::string saved = old_tmpdir ? old_tmpdir : "";
    setenv("TMPDIR", tmp.path().c_str(), 1);
    ASSERT_TRUE(app::init_process_paths());
    app::set_startup_settings(app::global_settings(), app::process_paths());

    app::BatchJob job;
    app::reset_batch_job(job);
    job.source = in.path();
    job.destination = out.path();
    app::collect_fax_files(job, job.source, false);
    ASSERT_EQ(job.files.size(), 2u);
    ASSERT_TRUE(fs::remove(in.file("a.fxd")));
    EXPECT_EQ(app::convert_folder(job), 0);
    app::remove_work_files();
    if (old_tmpdir)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");

    const std::string a = in.file("a.fxd");
    EXPECT_NE(job.log_text.find(head(a, out.file("a.pdf")) + "Failed : " + a +
                                " - Not Fax (No such file or directory)\r\n"),
              std::string::npos)
        << job.log_text;
    EXPECT_NE(job.log_text.find(head(in.file("b.fxs"), out.file("b.pdf")) + "Success !\r\n"),
              std::string::npos);
    EXPECT_NE(job.log_text.find("Total converted FAX files: 1\r\n"), std::string::npos);
    EXPECT_EQ(job.failed_files, 1);
    EXPECT_FALSE(fs::exists(out.file("a.pdf")));
    EXPECT_TRUE(fs::is_empty(tmp.path()));
}

// A log that cannot be written loses its record, nothing else: the files convert, the report
// is shown, standard error names the log and why, and the exit status says the run went well.
TEST_F(FaultInjectionTest, LogPathThatCannotBeWritten) {
    ASSERT_TRUE(testsupport::write_file(base.file("plain-file"), "x"));
    ASSERT_TRUE(fs::create_directory(base.file("a-folder")));
    const std::pair<std::string, const char*> bad_logs[] = {
        {base.file("a-folder"), "Is a directory"},
        {base.file("plain-file/log.txt"), "Not a directory"},
        {base.file("one/two/log.txt"), "No such file or directory"}};
    for (const auto& [bad_log, reason] : bad_logs) {
        SCOPED_TRACE(bad_log);
        const testsupport::ChildResult r =
            run({"/d=" + in.path(), "/sd=" + out.path(), "/log=" + bad_log});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err, "trelvane: cannot write the log " + bad_log + " (" + reason + ")\n");
        EXPECT_NE(r.out.find(head(in.file("a.fxd"), out.file("a.pdf")) + "Success !\n"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("Total converted FAX files: 2\n"), std::string::npos);
        EXPECT_TRUE(fs::exists(out.file("b.pdf")));
    }
    EXPECT_TRUE(fs::is_empty(base.file("a-folder")));
    EXPECT_EQ(read_file(base.file("plain-file")), "x");
    EXPECT_FALSE(fs::exists(base.file("one")));

    // A log on a disk that is full: the record is lost, the run's result is not.
    const std::string full_log(256 * 1024, 'L');
    ASSERT_TRUE(testsupport::write_file(base.file("full.txt"), full_log));
    const testsupport::ChildResult full =
        run({"/q", "/d=" + in.path(), "/sd=" + out.path(), "/log=" + base.file("full.txt")}, {},
            full_log.size());
    EXPECT_EQ(full.exit_code, 0);
    EXPECT_EQ(full.err,
              "trelvane: cannot write the log " + base.file("full.txt") + " (File too large)\n");
    EXPECT_EQ(read_file(base.file("full.txt")), full_log);
}

}  // namespace
}  // namespace trelvane::e2e
