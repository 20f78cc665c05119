#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

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

TEST(CollectFaxFiles, MissingFolderAndLinkCyclesAndPipes) {
    TempDir dir;
    BatchJob missing = job_for(dir.file("nope"));
    collect_fax_files(missing, missing.source, true);
    EXPECT_TRUE(missing.files.empty());

    ASSERT_EQ(mkdir(dir.file("in").c_str(), 0755), 0);
    ASSERT_TRUE(write_file(dir.file("in/a.fxs"), "x"));
    ASSERT_EQ(symlink(dir.file("in").c_str(), dir.file("in/loop").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.file("in/pipe.fxs").c_str(), 0600), 0);
    BatchJob job = job_for(dir.file("in"));
    collect_fax_files(job, job.source, true);
    EXPECT_EQ(job.files, (std::vector<std::string>{"a.fxs"}));
}

struct NameCase {
    const char* source;
    const char* destination;
    bool keep_extension;
    bool keep_hierarchy;
    const char* relative;
    const char* pdf;
};

TEST(PdfPathFor, Table) {
    const NameCase cases[] = {
        {"/in", "/out", false, false, "a.fxs", "/out/a.pdf"},
        {"/in", "/out", true, false, "a.fxm", "/out/a.fxm.pdf"},
        {"/in", "/out", false, false, "sub/deep/b.fxr", "/out/b.pdf"},
        {"/in", "/out", false, true, "sub/deep/b.fxr", "/out/sub/deep/b.pdf"},
        {"/in", "/out", true, true, "sub/b.fxr", "/out/sub/b.fxr.pdf"},
        // Every occurrence of the source text is replaced.
        {"fax", "pdf", false, true, "sub/fax1.fxs", "pdf/sub/pdf1.pdf"},
        {"/in/", "/out", false, false, "a.fxs", "/out/a.pdf"},
        {"/in/", "/out/", false, true, "a.fxs", "/out//a.pdf"},
    };
    for (const NameCase& c : cases) {
        BatchJob job = job_for(c.source, c.destination);
        job.keep_extension = c.keep_extension;
        job.keep_hierarchy = c.keep_hierarchy;
        EXPECT_EQ(pdf_path_for(job, job.source + "/" + c.relative), c.pdf) << c.relative;
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
        " was already written in this run)\r\n" +
        "\r\n---------\r\nTotal converted FAX files: 0\r\n";
    EXPECT_EQ(job.log_text, expected);
    EXPECT_EQ(streamed, expected);
    EXPECT_EQ(job.failed_files, 2);
    EXPECT_EQ(progress, (std::vector<std::string>{"1/2 " + dir.file("gone.fxs"),
                                                  "2/2 " + dir.file("sub/gone.fxd")}));
}

}  // namespace
}  // namespace trelvane::app
