// Skip-existing, as the window's automatic passes use it: whole conversions through
// convert_fax_file with real faxes, judged by the report line, the result and the PDF left.
#include <fcntl.h>
#include <sys/stat.h>

#include <optional>

#include <gtest/gtest.h>

#include "app/batch_job.h"
#include "app/pipeline.h"
#include "app/process_paths.h"
#include "platform/file_system.h"
#include "support/bitmap.h"
#include "support/ccitt.h"
#include "support/pdf_tools.h"
#include "support/temp_dir.h"
#include "support/winfax_builder.h"

namespace trelvane::app {
namespace {

using namespace testsupport;

class SkipExisting : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* old = getenv("TMPDIR"))
            old_tmpdir = old;
        setenv("TMPDIR", tmp.path().c_str(), 1);
        ASSERT_TRUE(init_process_paths());
        set_startup_settings(global_settings(), process_paths());
        reset_batch_job(job);
        job.skip_existing = 1;
        WinFaxPage page;
        page.data = encode_page(text_like(1728, 150, 9), Coding::Group4, 2).data;
        page.length = 150;
        page.coding = 1;
        page.resolution = 1;
        ASSERT_TRUE(write_winfax(fax, {page}));
    }
    void TearDown() override {
        remove_work_files();
        if (old_tmpdir) {
            setenv("TMPDIR", old_tmpdir->c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
    }
    TempDir tmp;
    TempDir dir;
    std::optional<std::string> old_tmpdir;
    BatchJob job;
    const std::string fax = dir.file("in.fxs");
    const std::string pdf = dir.file("in.pdf");
};

struct ExistingCase {
    const char* what;
    std::optional<std::string> existing;  // content of the PDF beforehand; nothing: no file
    int64_t pdf_age;                      // seconds the PDF's modification time is before the fax's
    int code;
    const char* outcome;  // after the line head; "%" stands for the destination
    bool replaced;        // a fresh PDF is there afterwards
};

// The up-to-date rule: a PDF is left alone only when it is not empty and at least as new as
// the fax, so a fax completed after its first conversion is converted again.
TEST_F(SkipExisting, OnlyAnUpToDatePdfIsLeftAlone) {
    const int64_t fax_time = 1500000000;
    const timespec fax_times[2] = {{fax_time, 0}, {fax_time, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, fax.c_str(), fax_times, 0), 0);
    const ExistingCase cases[] = {
        {"no PDF yet", std::nullopt, 0, kConverted, "Success !", true},
        {"empty PDF from an earlier failure", std::string(), -10, kConverted, "Success !", true},
        {"as new as the fax (file times copied)", std::string("%"), 0, kSkippedExisting,
         "Skipped : % already exist!", false},
        {"newer than the fax", std::string("%PDF-1.1 new"), -3600, kSkippedExisting,
         "Skipped : % already exist!", false},
        {"older than the fax", std::string("%PDF-1.1 old"), 1, kConverted, "Success !", true},
    };
    for (const ExistingCase& c : cases) {
        SCOPED_TRACE(c.what);
        platform::remove_file(pdf);
        if (c.existing) {
            ASSERT_TRUE(write_file(pdf, *c.existing));
            const timespec pdf_times[2] = {{fax_time - c.pdf_age, 0}, {fax_time - c.pdf_age, 0}};
            ASSERT_EQ(utimensat(AT_FDCWD, pdf.c_str(), pdf_times, 0), 0);
        }
        job.log_text.clear();
        EXPECT_EQ(convert_fax_file(job, fax, pdf), c.code);
        std::string outcome = c.outcome;
        if (const size_t at = outcome.find('%'); at != std::string::npos)
            outcome.replace(at, 1, pdf);
        EXPECT_EQ(job.log_text, fax + " --> " + pdf + " : " + outcome + "\r\n");
        if (c.replaced) {
            EXPECT_EQ(read_file(pdf).substr(0, 8), "%PDF-1.1");
            EXPECT_EQ(job.written_pdfs.back(), pdf);
            if (tool_available("qpdf")) {
                const ToolRun check = qpdf_check(pdf);
                EXPECT_EQ(check.exit_code, 0) << check.output;
            }
        } else {
            EXPECT_EQ(read_file(pdf), *c.existing);
        }
    }
    EXPECT_EQ(job.failed_files, 0);
}

TEST_F(SkipExisting, SkippedPdfKeepsItsOwnTimes) {
    const timespec fax_times[2] = {{1300000000, 0}, {1300000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, fax.c_str(), fax_times, 0), 0);
    ASSERT_TRUE(write_file(pdf, "%PDF"));
    const timespec pdf_times[2] = {{1400000000, 0}, {1400000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, pdf.c_str(), pdf_times, 0), 0);
    job.keep_file_times = 1;
    EXPECT_EQ(convert_fax_file(job, fax, pdf), kSkippedExisting);
    struct stat st {};
    ASSERT_EQ(stat(pdf.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1400000000);
}

TEST_F(SkipExisting, AFolderInThePdfsPlaceIsNotAPdf) {
    ASSERT_TRUE(platform::create_folder(pdf));
    EXPECT_EQ(convert_fax_file(job, fax, pdf), kPdfWriterFailed);
    EXPECT_EQ(job.log_text,
              fax + " --> " + pdf + " : Failed : " + fax +
                  " - Error in converting to pdf (Is a directory)\r\n");
    EXPECT_TRUE(platform::folder_exists(pdf));
}

}  // namespace
}  // namespace trelvane::app
