#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include <gtest/gtest.h>

#include "app/batch_job.h"
#include "app/folder_batch.h"
#include "support/temp_dir.h"

namespace trelvane::app {
namespace {

using testsupport::TempDir;
using testsupport::write_file;

BatchJob job_for(const std::string& source, const std::string& destination = "out") {
    BatchJob job;
    reset_batch_job(job);
    job.source = source;
    job.destination = destination;
    return job;
}

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

void make_tree(const TempDir& dir) {
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.file("sub/deep").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.file("x.fxs").c_str(), 0755), 0);  // a folder named like a fax
    for (const char* name : {"a.fxs", "b.FXD", "notes.txt", "sub/c.fxm", "sub/deep/b.fxr",
                             "sub/deep/d.tif", "x.fxs/e.fxs"}) {
        ASSERT_TRUE(write_file(dir.file(name), "x"));
    }
}

TEST(CollectFaxFiles, TopLevelOnly) {
    TempDir dir;
    make_tree(dir);
    BatchJob job = job_for(dir.path());
    collect_fax_files(job, job.source, false);
    EXPECT_EQ(sorted(job.files), (std::vector<std::string>{"a.fxs", "b.FXD"}));
}

TEST(CollectFaxFiles, SubfoldersDepthFirstWithRelativeNames) {
    TempDir dir;
    make_tree(dir);
    BatchJob job = job_for(dir.path());
    collect_fax_files(job, job.source, true);
    EXPECT_EQ(sorted(job.files), (std::vector<std::string>{"a.fxs", "b.FXD", "sub/c.fxm",
                                                           "sub/deep/b.fxr", "x.fxs/e.fxs"}));
    // Depth first: a folder's files follow each other without interruption.
    auto c = std::find(job.files.begin(), job.files.end(), "sub/c.fxm");
    auto b = std::find(job.files.begin(), job.files.end(), "sub/deep/b.fxr");
    EXPECT_EQ(std::abs(std::distance(c, b)), 1);
}

TEST(CollectFaxFiles, FilterAlsoDecidesWhichFoldersAreEntered) {
    TempDir dir;
    make_tree(dir);
    BatchJob job = job_for(dir.path());
    job.filter = "*.fxs";
    collect_fax_files(job, job.source, true);
    EXPECT_EQ(sorted(job.files), (std::vector<std::string>{"a.fxs", "x.fxs/e.fxs"}));
}

TEST(CollectFaxFiles, QuotedFilterFindsNothing) {
    TempDir dir;
    make_tree(dir);
    BatchJob job = job_for(dir.path());
    job.filter = "\"*.fxs\"";
    collect_fax_files(job, job.source, true);
    EXPECT_TRUE(job.files.empty());
}

TEST(CollectFaxFiles, TrailingSeparatorGivesTheSameRelativeNames) {
    TempDir dir;
    make_tree(dir);
    BatchJob job = job_for(dir.path() + "/");
    collect_fax_files(job, job.source, true);
    EXPECT_EQ(sorted(job.files), (std::vector<std::string>{"a.fxs", "b.FXD", "sub/c.fxm",
                                                           "sub/deep/b.fxr", "x.fxs/e.fxs"}));
}

TEST(CollectFaxFiles, InTheOrderAnNtfsFolderListsNames) {
    // Created in an order no listing rule gives. Upper-cased, '_' (5F) comes after the letters
    // (41-5A), though before the small ones; names differing only in case follow by their bytes.
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("M").c_str(), 0755), 0);
    for (const char* name : {"_x.fxs", "b.fxs",
                             "\xc3\xa9"
                             "a.fxs",
                             "Same.fxs", "Z.fxs", "a2.fxs", "M/c.fxs", "same.fxs",
                             "\xc3\x89"
                             "b.fxs",
                             "A.fxs", "M/B.fxs"}) {
        ASSERT_TRUE(write_file(dir.file(name), "x"));
    }
    BatchJob job = job_for(dir.path());
    collect_fax_files(job, job.source, true);
    EXPECT_EQ(job.files, (std::vector<std::string>{"A.fxs", "a2.fxs", "b.fxs", "M/B.fxs", "M/c.fxs",
                                                   "Same.fxs", "same.fxs", "Z.fxs", "_x.fxs",
                                                   "\xc3\xa9"
                                                   "a.fxs",
                                                   "\xc3\x89"
                                                   "b.fxs"}));
}

TEST(CollectFaxFiles, EntriesThatCannotBeReadAreListedWithTheirReason) {
    TempDir dir;
    BatchJob missing = job_for(dir.file("nope"));
    collect_fax_files(missing, missing.source, true);
    EXPECT_TRUE(missing.files.empty());

    ASSERT_EQ(mkdir(dir.file("in").c_str(), 0755), 0);
    ASSERT_TRUE(write_file(dir.file("in/a.fxs"), "x"));
    ASSERT_EQ(symlink(dir.file("in").c_str(), dir.file("in/loop").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.file("in/pipe.fxs").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(dir.file("in/pipe.txt").c_str(), 0600), 0);  // not named as a fax
    ASSERT_EQ(symlink("/nonexistent/share/b.fxs", dir.file("in/dangling.fxs").c_str()), 0);
    ASSERT_EQ(symlink("cycle.fxs", dir.file("in/cycle.fxs").c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", dir.file("in/null.fxs").c_str()), 0);
    BatchJob job = job_for(dir.file("in"));
    collect_fax_files(job, job.source, true);
    EXPECT_EQ(job.files, (std::vector<std::string>{"a.fxs", "cycle.fxs", "dangling.fxs", "null.fxs",
                                                   "pipe.fxs"}));
    EXPECT_EQ(
        job.unreadable_files,
        (std::map<std::string, std::string>{
            {"cycle.fxs", "a link that cannot be followed: Too many levels of symbolic links"},
            {"dangling.fxs", "a link that cannot be followed: No such file or directory"},
            {"null.fxs", "a device, not a file"},
            {"pipe.fxs", "a pipe, not a file"}}));

    // They fail at their places without being opened, and claim no name.
    job.destination = dir.file("out");
    const std::vector<PlannedFile> plan = plan_conversions(job, job.source);
    ASSERT_EQ(plan.size(), 5u);
    EXPECT_EQ(plan[4].destination, dir.file("out/pipe.pdf"));
    EXPECT_EQ(plan[4].unreadable, "a pipe, not a file");
    EXPECT_TRUE(convert_folder(job) == 0);
    EXPECT_NE(job.log_text.find(dir.file("in/pipe.fxs") + " --> " + dir.file("out/pipe.pdf") +
                                " : Failed : " + dir.file("in/pipe.fxs") +
                                " - Not Fax (a pipe, not a file)\r\n"),
              std::string::npos)
        << job.log_text;
    EXPECT_EQ(job.failed_files, 5);  // a.fxs holds no fax either
}

struct NameCase {
    const char* source;
    const char* destination;
    bool keep_extension;
    bool keep_hierarchy;
    const char* source_path;
    const char* pdf;
};

TEST(PdfPathFor, EveryPdfLandsBelowTheSaveFolderWithItsOwnName) {
    const NameCase cases[] = {
        {"/in", "/out", false, false, "/in/a.fxs", "/out/a.pdf"},
        {"/in", "/out", true, false, "/in/a.fxm", "/out/a.fxm.pdf"},
        {"/in", "/out", false, false, "/in/sub/deep/b.fxr", "/out/b.pdf"},
        {"/in", "/out", false, true, "/in/sub/deep/b.fxr", "/out/sub/deep/b.pdf"},
        {"/in", "/out", true, true, "/in/sub/b.fxr", "/out/sub/b.fxr.pdf"},
        // Only the leading source folder is replaced, at a component boundary.
        {"fax", "pdf", false, true, "fax/faxes2024/fax1.fxs", "pdf/faxes2024/fax1.pdf"},
        {"fax", "pdf", false, true, "fax/sub/fax1.fxs", "pdf/sub/fax1.pdf"},
        {"x", "../x", false, true, "x/x/x.fxs", "../x/x/x.pdf"},
        {".", "out", false, true, "./a.fxs", "out/a.pdf"},
        {".", "out", false, true, "./sub/a.fxs", "out/sub/a.pdf"},
        {"..", "out", false, true, "../a.fxs", "out/a.pdf"},
        {"../in", "out", false, true, "../in/s/a.fxs", "out/s/a.pdf"},
        // Trailing separators: the walk doubles the separator; no doubled one in the PDF path.
        {"/in/", "/out", false, false, "/in//a.fxs", "/out/a.pdf"},
        {"/in/", "/out/", false, true, "/in//s/a.fxs", "/out/s/a.pdf"},
        {"in//", "out/", false, true, "in///a.fxs", "out/a.pdf"},
        {"/", "/out", false, true, "//a.fxs", "/out/a.pdf"},
        // A path that is not below the source, or climbs out of it (a chosen file named
        // "../x.fxs"), keeps only its name.
        {"/in", "/out", false, true, "/inbox/a.fxs", "/out/a.pdf"},
        {"/in", "/out", false, true, "/in/../../etc/a.fxs", "/out/a.pdf"},
        // The extension is the file name's: a dot in a folder or at the start of a name is none.
        {"/in", "/out", false, true, "/in/v1.2/fax", "/out/v1.2/fax.pdf"},
        {"/in", "/out", false, false, "/in/.fxs", "/out/.fxs.pdf"},
    };
    for (const NameCase& c : cases) {
        BatchJob job = job_for(c.source, c.destination);
        job.keep_extension = c.keep_extension;
        job.keep_hierarchy = c.keep_hierarchy;
        EXPECT_EQ(pdf_path_for(job, c.source_path), c.pdf)
            << c.source << " " << c.destination << " " << c.source_path;
    }
}

TEST(PlanConversions, NamesAreClaimedWithoutRegardToCase) {
    BatchJob job = job_for("/in", "/out");
    job.files = {
        "Invoice.fxs",           "sub/invoice.fxs",         "INVOICE.fxm", "sub/invoice (2).fxs",
        "\xc3\xa9t\xc3\xa9.fxs", "x/\xc3\x89T\xc3\x89.fxs", "other.fxs"};
    std::vector<std::string> destinations;
    for (const PlannedFile& file : plan_conversions(job, job.source))
        destinations.push_back(file.destination);
    EXPECT_EQ(destinations, (std::vector<std::string>{
                                "/out/Invoice.pdf", "/out/invoice (2).pdf", "/out/INVOICE (3).pdf",
                                "/out/invoice (2) (2).pdf", "/out/\xc3\xa9t\xc3\xa9.pdf",
                                "/out/\xc3\x89T\xc3\x89 (2).pdf", "/out/other.pdf"}));
    job.keep_hierarchy = 1;
    job.files = {"Sub/a.fxs", "sub/A.fxs", "sub/b.fxs"};
    destinations.clear();
    for (const PlannedFile& file : plan_conversions(job, job.source))
        destinations.push_back(file.destination);
    EXPECT_EQ(destinations,
              (std::vector<std::string>{"/out/Sub/a.pdf", "/out/sub/A (2).pdf", "/out/sub/b.pdf"}));
}

TEST(FolderFilter, MistakesAndFiltersThatFindNothing) {
    EXPECT_EQ(filter_mistake("*.fxs"), "");
    EXPECT_NE(filter_mistake(""), "");
    EXPECT_NE(filter_mistake("\"*.fxs\""), "");
    EXPECT_NE(filter_mistake("*.fxs\""), "");
    struct Case {
        const char* filter;
        std::vector<std::string> files;
        bool folder_problem;
        bool warned;
    };
    const Case cases[] =
        {
            {"*.fxs", {}, false, true}, {"*.fxs", {"a.fxs"}, false, false},
            {"*.*", {}, false, false},  {"*", {}, false, false},
            {"*.fxs", {}, true, false},  // the folder's own line says what went wrong
        };
    for (const Case& c : cases) {
        BatchJob job = job_for("/in");
        job.filter = c.filter;
        job.files = c.files;
        if (c.folder_problem)
            job.folder_problems.push_back({0, "/in", 2});
        EXPECT_EQ(!nothing_matched_warning(job).empty(), c.warned) << c.filter;
    }
}

TEST(UnclaimedPdfPath, NumbersNamesAlreadyWrittenInThisRun) {
    BatchJob job = job_for("/in", "/out");
    EXPECT_EQ(unclaimed_pdf_path(job, "/out/a.pdf"), "/out/a.pdf");
    job.written_pdfs = {"/out/a.pdf"};
    EXPECT_EQ(unclaimed_pdf_path(job, "/out/a.pdf"), "/out/a (2).pdf");
    job.written_pdfs.push_back("/out/a (2).pdf");
    EXPECT_EQ(unclaimed_pdf_path(job, "/out/a.pdf"), "/out/a (3).pdf");
    job.written_pdfs = {"/o.d/name"};
    EXPECT_EQ(unclaimed_pdf_path(job, "/o.d/name"), "/o.d/name (2)");
    job.written_pdfs = {"/out/Invoice.pdf"};
    EXPECT_EQ(unclaimed_pdf_path(job, "/out/INVOICE.pdf"), "/out/INVOICE (2).pdf");
}

TEST(ConvertFolder, EmptyDestinationChangesNothing) {
    BatchJob job = job_for("/in", "");
    job.log_text = "keep";
    EXPECT_EQ(convert_folder(job), -1);
    EXPECT_EQ(job.log_text, "keep");
}

TEST(ConvertFolder, HeaderAndTotalWithoutFiles) {
    BatchJob job = job_for("/in", "/out");
    EXPECT_EQ(convert_folder(job), 0);
    EXPECT_EQ(job.log_text,
              "Vuvod Trelvane command line mode : convert folder\r\nSource Folder: /in\r\n"
              "Save Folder: /out\r\n\r\n---------\r\nTotal converted FAX files: 0\r\n");
}

TEST(ConvertFolder, FailuresGetOneLineEachAndAreNotCounted) {
    TempDir dir;
    BatchJob job = job_for(dir.path(), dir.file("out"));
    job.files = {"gone.fxs", "sub/gone.fxd"};  // vanished since the walk
    std::vector<std::string> progress;
    std::string streamed;
    RunHooks hooks;
    hooks.report = [&](std::string_view text) { streamed += text; };
    hooks.progress = [&](size_t done, size_t total, const std::string& source) {
        progress.push_back(std::to_string(done) + "/" + std::to_string(total) + " " + source);
    };
    EXPECT_EQ(convert_folder(job, hooks), 0);
    // The second file's PDF name was taken by the first before either was converted.
    const std::string expected =
        "Vuvod Trelvane command line mode : convert folder\r\nSource Folder: " + dir.path() +
        "\r\nSave Folder: " + dir.file("out") + "\r\n" + dir.file("gone.fxs") + " --> " +
        dir.file("out/gone.pdf") + " : Failed : " + dir.file("gone.fxs") +
        " - Not Fax (No such file or directory)\r\n" + dir.file("sub/gone.fxd") + " --> " +
        dir.file("out/gone (2).pdf") + " : Failed : " + dir.file("sub/gone.fxd") +
        " - Not Fax (No such file or directory) (" + dir.file("out/gone.pdf") +
        " is the PDF of an earlier fax in this run)\r\n" +
        "\r\n---------\r\nTotal converted FAX files: 0\r\n";
    EXPECT_EQ(job.log_text, expected);
    EXPECT_EQ(streamed, expected);
    EXPECT_EQ(job.failed_files, 2);
    EXPECT_EQ(progress, (std::vector<std::string>{"1/2 " + dir.file("gone.fxs"),
                                                  "2/2 " + dir.file("sub/gone.fxd")}));
}

}  // namespace
}  // namespace trelvane::app
