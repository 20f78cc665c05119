#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "app/batch_job.h"
#include "app/pipeline.h"
#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace trelvane::app {
namespace {

using testsupport::read_file;
using testsupport::TempDir;
using testsupport::write_file;

BatchJob fresh_job() {
    BatchJob job;
    reset_batch_job(job);
    return job;
}

TEST(ConvertFaxFile, NonWinFaxSourceLeavesTheReportAlone) {
    BatchJob job = fresh_job();
    job.log_text = "head\r\n";
    EXPECT_EQ(convert_fax_file(job, "x.txt", "/nowhere/x.pdf"), kNotWinFax);
    EXPECT_EQ(convert_fax_file(job, "x.pdf", "/nowhere/x.pdf"), kNotWinFax);
    EXPECT_EQ(job.log_text, "head\r\n");
    EXPECT_EQ(job.failed_files, 0);
}

TEST(ConvertFaxFile, AMissingSourceIsNeverUpToDate) {
    TempDir dir;
    const std::string pdf = dir.file("a.pdf");
    ASSERT_TRUE(write_file(pdf, "%"));
    BatchJob job = fresh_job();
    job.skip_existing = 1;
    const std::string source = dir.file("a.fxs");
    EXPECT_EQ(convert_fax_file(job, source, pdf), kNotFax);
    EXPECT_EQ(job.log_text, source + " --> " + pdf + " : Failed : " + source +
                                " - Not Fax (No such file or directory)\r\n");
    EXPECT_EQ(read_file(pdf), "%");  // a failed conversion never removes it
    EXPECT_EQ(job.failed_files, 1);
}

TEST(ConvertFaxFile, WithoutSkipExistingPdfsAreNotSkipped) {
    TempDir dir;
    ASSERT_TRUE(write_file(dir.file("a.pdf"), "old"));
    BatchJob job = fresh_job();
    EXPECT_NE(convert_fax_file(job, dir.file("missing.fxs"), dir.file("a.pdf")), kSkippedExisting);
    EXPECT_EQ(read_file(dir.file("a.pdf")), "old");  // a failed conversion never removes it
}

TEST(ConvertFaxFile, DestinationFolderThatCannotBeCreated) {
    TempDir dir;
    ASSERT_TRUE(write_file(dir.file("blocker"), "a file, not a folder"));
    BatchJob job = fresh_job();
    const std::string source = dir.file("a.fxd");
    const std::string pdf = dir.file("blocker/sub/a.pdf");
    EXPECT_EQ(convert_fax_file(job, source, pdf), kFolderFailed);
    EXPECT_EQ(job.log_text, source + " --> " + pdf + " : Failed to create dir: " +
                                dir.file("blocker/sub") + " (Not a directory)\r\n");
    EXPECT_EQ(job.failed_files, 1);
}

// Folders are made for a PDF that is put in place; a fax that fails leaves no empty tree, and a
// folder that was there before stays.
TEST(ConvertFaxFile, FoldersOfAFailedFaxAreTakenAwayAgain) {
    TempDir dir;
    ASSERT_TRUE(platform::create_folder(dir.file("x")));
    BatchJob job = fresh_job();
    EXPECT_EQ(convert_fax_file(job, dir.file("missing.fxs"), dir.file("x/y/z/a.pdf")), kNotFax);
    EXPECT_FALSE(platform::folder_exists(dir.file("x/y")));
    EXPECT_TRUE(platform::folder_exists(dir.file("x")));
}

TEST(ConvertFaxFile, PipesAreRejectedWithoutBlocking) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("pipe.fxs").c_str(), 0600), 0);
    BatchJob job = fresh_job();
    EXPECT_EQ(convert_fax_file(job, dir.file("pipe.fxs"), dir.file("p.pdf")), kNotFax);
    EXPECT_FALSE(platform::file_exists(dir.file("p.pdf")));
}

TEST(CreateFolderPath, CreatesTheWholeChain) {
    TempDir dir;
    EXPECT_TRUE(create_folder_path(dir.path()));
    EXPECT_TRUE(create_folder_path(dir.file("a/b/c/d")));
    EXPECT_TRUE(platform::folder_exists(dir.file("a/b/c/d")));
    ASSERT_TRUE(write_file(dir.file("f"), "x"));
    EXPECT_FALSE(create_folder_path(dir.file("f/g")));
}

TEST(PdfExists, NeedsAReadableNonEmptyFile) {
    TempDir dir;
    ASSERT_TRUE(write_file(dir.file("empty.pdf"), ""));
    ASSERT_TRUE(write_file(dir.file("one.pdf"), "%"));
    EXPECT_FALSE(pdf_exists(dir.file("empty.pdf")));
    EXPECT_TRUE(pdf_exists(dir.file("one.pdf")));
    EXPECT_FALSE(pdf_exists(dir.file("missing.pdf")));
    EXPECT_FALSE(pdf_exists(dir.path()));
}

TEST(CopyFileTimes, ZeroOrMinusTwo) {
    TempDir dir;
    ASSERT_TRUE(write_file(dir.file("s"), "s"));
    ASSERT_TRUE(write_file(dir.file("t"), "t"));
    const timespec times[2] = {{1100000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, dir.file("s").c_str(), times, 0), 0);
    EXPECT_EQ(copy_file_times(dir.file("s"), dir.file("t")), 0);
    struct stat st {};
    ASSERT_EQ(stat(dir.file("t").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(st.st_atim.tv_sec, 1100000000);
    EXPECT_EQ(copy_file_times(dir.file("missing"), dir.file("t")), -2);
    EXPECT_EQ(copy_file_times(dir.file("s"), dir.file("missing")), -2);
}

}  // namespace
}  // namespace trelvane::app
