// Whole conversions through the real stages, judged by qpdf where it is installed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <optional>

#include <gtest/gtest.h>

#include "app/batch_job.h"
#include "app/folder_batch.h"
#include "app/pipeline.h"
#include "app/process_paths.h"
#include "app/report_text.h"
#include "platform/file_system.h"
#include "support/bitmap.h"
#include "support/ccitt.h"
#include "support/pdf_tools.h"
#include "support/temp_dir.h"
#include "support/winfax_builder.h"

namespace trelvane::app {
namespace {

using namespace testsupport;

// A one-page Group 4 WinFax file with a title.
bool write_sample_fax(const std::string& path, uint32_t seed, const std::string& title) {
    Bitmap page = text_like(1728, 120, seed);
    CodedPage coded = encode_page(page, Coding::Group4, 2);
    WinFaxPage fax_page;
    fax_page.data = coded.data;
    fax_page.width = 1728;
    fax_page.length = 120;
    fax_page.coding = 1;
    fax_page.resolution = 1;
    fax_page.title = title;
    return write_winfax(path, {fax_page});
}

class ConversionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* old = getenv("TMPDIR"))
            old_tmpdir = old;
        setenv("TMPDIR", tmp.path().c_str(), 1);
        // The paths as they were before this test, not its own: its temporary folder is gone
        // once it ends, and later tests in this process would have no work files.
        saved_paths = process_paths();
        ASSERT_TRUE(init_process_paths());
        set_startup_settings(global_settings(), process_paths());
        reset_batch_job(job);
    }
    void TearDown() override {
        process_paths() = saved_paths;
        remove_work_files();
        if (old_tmpdir) {
            setenv("TMPDIR", old_tmpdir->c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
    }
    void expect_sound_pdf(const std::string& pdf) {
        EXPECT_TRUE(pdf_exists(pdf)) << pdf;
        if (tool_available("qpdf")) {
            ToolRun check = qpdf_check(pdf);
            EXPECT_EQ(check.exit_code, 0) << check.output;
        }
    }
    TempDir tmp;
    TempDir dir;
    ProcessPaths saved_paths;
    std::optional<std::string> old_tmpdir;
    BatchJob job;
};

TEST_F(ConversionTest, ConvertsOneFile) {
    const std::string fax = dir.file("quote.fxs");
    ASSERT_TRUE(write_sample_fax(fax, 7, "QUOTE REQUEST"));
    const std::string pdf = dir.file("out/deeper/quote.pdf");
    EXPECT_EQ(convert_fax_file(job, fax, pdf), kConverted);
    EXPECT_EQ(job.log_text, fax + " --> " + pdf + " : Success !\r\n");
    EXPECT_EQ(job.written_pdfs, std::vector<std::string>{pdf});
    expect_sound_pdf(pdf);
    EXPECT_NE(read_file(pdf).find("QUOTE REQUEST"), std::string::npos);  // the document title
}

TEST_F(ConversionTest, KeepsFileTimes) {
    const std::string fax = dir.file("a.fxd");
    ASSERT_TRUE(write_sample_fax(fax, 3, "T"));
    const timespec times[2] = {{1200000000, 0}, {1100000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, fax.c_str(), times, 0), 0);
    job.keep_file_times = 1;
    EXPECT_EQ(convert_fax_file(job, fax, dir.file("a.pdf")), kConverted);
    struct stat pdf {};
    ASSERT_EQ(stat(dir.file("a.pdf").c_str(), &pdf), 0);
    EXPECT_EQ(pdf.st_mtim.tv_sec, 1100000000);
    // Reading the source may have moved its access time on; the PDF has the one it had before.
    EXPECT_EQ(pdf.st_atim.tv_sec, 1200000000);
}

TEST_F(ConversionTest, RejectedFileLeavesNoPdf) {
    const std::string fax = dir.file("junk.fxr");
    ASSERT_TRUE(write_file(fax, std::string(3000, '\x5a')));
    EXPECT_EQ(convert_fax_file(job, fax, dir.file("junk.pdf")), kNotFax);
    EXPECT_EQ(job.log_text,
              fax + " --> " + dir.file("junk.pdf") + " : Failed : " + fax + " - Not Fax\r\n");
    EXPECT_FALSE(platform::file_exists(dir.file("junk.pdf")));
    EXPECT_EQ(platform::readable_file_size(default_workspace().intermediate_tiff_path()), 0u);
}

// Each failure injected into a real conversion ends in exactly one outcome: its stage, the
// system's reason when the system gave one, one code, one line; and no PDF.
TEST_F(ConversionTest, EachInjectedFailureHasOneOutcome) {
    const std::string fax = dir.file("a.fxm");
    ASSERT_TRUE(write_sample_fax(fax, 5, "T"));
    const std::string junk = dir.file("junk.fxr");
    ASSERT_TRUE(write_file(junk, std::string(3000, '\x5a')));
    const std::string other_fax = dir.file("b.fxs");
    ASSERT_TRUE(write_sample_fax(other_fax, 6, "T"));
    ASSERT_TRUE(platform::create_folder(dir.file("taken.pdf")));
    ASSERT_TRUE(write_file(dir.file("plain"), "a file, not a folder"));
    ConversionWorkspace no_intermediate = ConversionWorkspace::at_paths(
        dir.file("missing/intermediate.tmp"), default_workspace().normalised_tiff_path(), {});
    ConversionWorkspace no_normalised = ConversionWorkspace::at_paths(
        default_workspace().intermediate_tiff_path(), dir.file("missing/normalised.tmp"), {});

    struct Case {
        const char* what;
        std::string source;
        std::string pdf;
        ConversionWorkspace* workspace;
        FileFailure failure;
        int system_error;
        int code;
        std::string after_source;  // the line after "Failed : SOURCE - ", or the whole outcome
    };
    const std::string missing = " (No such file or directory)";
    const Case cases[] = {
        {"not a fax", junk, dir.file("j.pdf"), nullptr, FileFailure::NotFax, 0, kNotFax, "Not Fax"},
        {"no fax at all", dir.file("gone.fxs"), dir.file("g.pdf"), nullptr, FileFailure::NotFax,
         ENOENT, kNotFax, "Not Fax" + missing},
        {"reader cannot write", fax, dir.file("a.pdf"), &no_intermediate, FileFailure::FaxReader,
         ENOENT, kFaxError, "Error Fax" + missing},
        {"copy stage cannot write", fax, dir.file("a.pdf"), &no_normalised, FileFailure::CopyStage,
         ENOENT, kCopyStageFailed, "Error in prearing to pdf conversion" + missing},
        {"a folder in the PDF's place", fax, dir.file("taken.pdf"), nullptr, FileFailure::PdfWriter,
         0, kPdfWriterFailed, "Error in converting to pdf (Is a directory)"},
        {"a fax in the PDF's place", fax, other_fax, nullptr, FileFailure::PdfWriter, 0,
         kPdfWriterFailed, "Error in converting to pdf (the PDF would replace a WinFax file)"},
        {"the PDF's folder cannot be made", fax, dir.file("plain/a.pdf"), nullptr,
         FileFailure::FolderNotMade, ENOTDIR, kFolderFailed,
         "Failed to create dir: " + dir.file("plain") + " (Not a directory)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConversionWorkspace& workspace = c.workspace ? *c.workspace : default_workspace();
        const FileOutcome outcome = convert_one_fax(job, c.source, c.pdf, workspace);
        EXPECT_EQ(outcome.status, FileStatus::Failed);
        EXPECT_EQ(outcome.failure, c.failure);
        EXPECT_EQ(outcome.system_error, c.system_error);
        EXPECT_EQ(result_code(outcome), c.code);
        const std::string outcome_part = c.failure == FileFailure::FolderNotMade
                                             ? c.after_source
                                             : "Failed : " + c.source + " - " + c.after_source;
        EXPECT_EQ(report_line(outcome), c.source + " --> " + c.pdf + " : " + outcome_part + "\r\n");
        if (c.pdf != other_fax) {
            EXPECT_NE(platform::file_kind(c.pdf), platform::FileKind::Regular);
        }
    }
    EXPECT_TRUE(platform::folder_exists(dir.file("taken.pdf")));
    EXPECT_TRUE(job.written_pdfs.empty());
}

// Running out of descriptors says nothing about the fax: the line names the system's failure,
// which another run may not meet, and the code is its own. A fax the user cannot read is still
// "Not Fax".
TEST_F(ConversionTest, ASystemShortageIsNotCalledNotFax) {
    const std::string fax = dir.file("a.fxs");
    ASSERT_TRUE(write_sample_fax(fax, 9, "T"));
    const std::string pdf = dir.file("a.pdf");
    std::vector<int> held;
    for (int fd; (fd = dup(0)) >= 0;)
        held.push_back(fd);
    ASSERT_EQ(errno, EMFILE);
    const int code = convert_fax_file(job, fax, pdf);
    for (int fd : held)
        close(fd);
    EXPECT_EQ(code, kSystemFailed);
    EXPECT_TRUE(is_failure(code));
    EXPECT_EQ(job.log_text, fax + " --> " + pdf + " : Failed : " + fax +
                                " - System error (Too many open files)\r\n");
    EXPECT_FALSE(platform::file_exists(pdf));

    if (geteuid() != 0) {  // root reads whatever the mode says
        job.log_text.clear();
        ASSERT_EQ(chmod(fax.c_str(), 0), 0);
        EXPECT_EQ(convert_fax_file(job, fax, pdf), kNotFax);
        EXPECT_EQ(job.log_text, fax + " --> " + pdf + " : Failed : " + fax +
                                    " - Not Fax (Permission denied)\r\n");
    }
}

TEST_F(ConversionTest, FolderRunWithSameNamesInSubfolders) {
    const std::string in = dir.file("in");
    ASSERT_TRUE(platform::create_folder_chain(in + "/sub/deep"));
    ASSERT_TRUE(write_sample_fax(in + "/b.fxs", 1, "one"));
    ASSERT_TRUE(write_sample_fax(in + "/sub/deep/b.fxr", 2, "two"));
    ASSERT_TRUE(write_file(in + "/notes.txt", "not a fax"));
    job.source = in;
    job.destination = dir.file("out");
    job.include_subfolders = 1;
    collect_fax_files(job, job.source, true);
    ASSERT_EQ(job.files.size(), 2u);
    EXPECT_EQ(convert_folder(job), 0);

    const std::string first_pdf = dir.file("out/b.pdf");
    const std::string second_pdf = dir.file("out/b (2).pdf");
    expect_sound_pdf(first_pdf);
    expect_sound_pdf(second_pdf);
    EXPECT_NE(read_file(first_pdf), read_file(second_pdf));
    // The renamed file's line says why.
    EXPECT_NE(job.log_text.find(" --> " + second_pdf + " : Success ! (" + first_pdf +
                                " is the PDF of an earlier fax in this run)\r\n"),
              std::string::npos)
        << job.log_text;
    EXPECT_NE(job.log_text.find("\r\n\r\n---------\r\nTotal converted FAX files: 2\r\n"),
              std::string::npos);
    EXPECT_EQ(job.failed_files, 0);
}

TEST_F(ConversionTest, FolderRunKeepingTheHierarchy) {
    const std::string in = dir.file("in");
    ASSERT_TRUE(platform::create_folder_chain(in + "/sub/deep"));
    ASSERT_TRUE(write_sample_fax(in + "/sub/deep/b.fxr", 2, "two"));
    job.source = in;
    job.destination = dir.file("out");
    job.keep_hierarchy = 1;
    job.keep_extension = 1;
    collect_fax_files(job, job.source, true);
    EXPECT_EQ(convert_folder(job), 0);
    expect_sound_pdf(dir.file("out/sub/deep/b.fxr.pdf"));
    EXPECT_NE(job.log_text.find("Total converted FAX files: 1\r\n"), std::string::npos);
}

TEST_F(ConversionTest, FolderRunOverwritesExistingPdfs) {
    const std::string in = dir.file("in");
    ASSERT_TRUE(platform::create_folder(in));
    ASSERT_TRUE(write_sample_fax(in + "/a.fxs", 4, "x"));
    ASSERT_TRUE(platform::create_folder(dir.file("out")));
    ASSERT_TRUE(write_file(dir.file("out/a.pdf"), "old"));
    job.source = in;
    job.destination = dir.file("out");
    job.skip_existing = 0;  // a folder run without /skip
    collect_fax_files(job, job.source, false);
    EXPECT_EQ(convert_folder(job), 0);
    EXPECT_NE(read_file(dir.file("out/a.pdf")), "old");
    EXPECT_NE(job.log_text.find("Total converted FAX files: 1\r\n"), std::string::npos);
}

}  // namespace
}  // namespace trelvane::app
