// Skip-existing, as the window's automatic passes use it: whole conversions through
// convert_fax_file with real faxes, judged by the report line, the result and the PDF left.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
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
    EXPECT_EQ(job.log_text, fax + " --> " + pdf + " : Failed : " + fax +
                                " - Error in converting to pdf (Is a directory)\r\n");
    EXPECT_TRUE(platform::folder_exists(pdf));
}

void set_modified(const std::string& path, int64_t seconds, int64_t nanoseconds = 0) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// pdfinfo's reading of the private keys, the oracle for what the writer put there.
std::map<std::string, std::string> custom_entries(const std::string& pdf) {
    const ToolRun info = run_tool({"pdfinfo", "-custom", pdf});
    std::map<std::string, std::string> entries;
    size_t at = 0;
    while (at < info.output.size()) {
        const size_t end = std::min(info.output.find('\n', at), info.output.size());
        const std::string line = info.output.substr(at, end - at);
        const size_t colon = line.find(':');
        if (line.starts_with("TrelvaneFax") && colon != std::string::npos) {
            const size_t value = line.find_first_not_of(' ', colon + 1);
            entries[line.substr(0, colon)] = value == std::string::npos ? "" : line.substr(value);
        }
        at = end + 1;
    }
    return entries;
}

struct RecordCase {
    const char* what;
    // Done between the first conversion (which wrote the PDF and its record) and the second.
    void (*change)(const std::string& fax, const std::string& other, std::string& source);
    bool skipped;
};

// With skipping, a PDF is kept only when it records the fax as it is now: the same path below
// the source folder, the same size and modification time. Whether the PDF is newer does not
// matter then.
TEST_F(SkipExisting, APdfIsKeptOnlyWhenItRecordsTheFaxAsItIsNow) {
    TRELVANE_REQUIRE_TOOL("pdfinfo");
    const std::string other = dir.file("w/in.fxs");  // another fax of the same name
    ASSERT_TRUE(platform::create_folder(dir.file("w")));
    const RecordCase cases[] = {
        {"nothing changed", [](const std::string&, const std::string&, std::string&) {}, true},
        {"the fax's time went back (cp -p of an older fax)",
         [](const std::string& fax, const std::string&, std::string&) {
             set_modified(fax, 1200000000);
         },
         false},
        {"the fax grew, its time put back",
         [](const std::string& fax, const std::string&, std::string&) {
             const std::string bytes = read_file(fax);
             ASSERT_TRUE(write_file(fax, bytes + std::string(16, '\0')));
             set_modified(fax, 1500000000);
         },
         false},
        {"a nanosecond later",
         [](const std::string& fax, const std::string&, std::string&) {
             set_modified(fax, 1500000000, 1);
         },
         false},
        {"an older fax of another folder takes the PDF's name",
         [](const std::string& fax, const std::string& w, std::string& source) {
             ASSERT_TRUE(write_file(w, read_file(fax)));
             set_modified(w, 1500000000);
             source = w;
         },
         false},
    };
    job.source = dir.path();
    job.job_mode = kJobModeFolder;
    for (const RecordCase& c : cases) {
        SCOPED_TRACE(c.what);
        platform::remove_file(pdf);
        set_modified(fax, 1500000000);
        job.log_text.clear();
        ASSERT_EQ(convert_fax_file(job, fax, pdf), kConverted);
        EXPECT_EQ(custom_entries(pdf),
                  (std::map<std::string, std::string>{
                      {"TrelvaneFax", "in.fxs"},
                      {"TrelvaneFaxSize", std::to_string(read_file(fax).size())},
                      {"TrelvaneFaxModified", "1500000000.000000000"}}));
        const std::string first = read_file(pdf);
        std::string source = fax;
        c.change(fax, other, source);
        job.log_text.clear();
        const int code = convert_fax_file(job, source, pdf);
        EXPECT_EQ(code, c.skipped ? kSkippedExisting : kConverted) << job.log_text;
        if (c.skipped) {
            EXPECT_EQ(read_file(pdf), first);
        } else {
            EXPECT_EQ(custom_entries(pdf)["TrelvaneFax"], source == other ? "w/in.fxs" : "in.fxs");
        }
    }
}

// The record is found only where this program puts it, whatever else a PDF holds; a record
// that is there but unreadable does not keep the PDF.
TEST_F(SkipExisting, RecordsInOtherPlacesOrOutOfShapeDoNotCount) {
    set_modified(fax, 1500000000);
    const std::string size = std::to_string(read_file(fax).size());
    const std::string head =
        "%PDF-1.1 \r%\xE2\xE3\xCF\xD3\r\n1 0 obj\r<< >>\rendobj\r2 0 obj\r<< \r";
    const std::string tail = "\r>> \rendobj\r";
    struct Case {
        const char* what;
        std::string bytes;
        bool kept;  // the PDF is newer than the fax throughout
    };
    const Case cases[] = {
        {"matching",
         head + "/TrelvaneFax (in.fxs)\r/TrelvaneFaxSize (" + size +
             ")\r/TrelvaneFaxModified (1500000000.000000000)" + tail,
         true},
        {"escaped as the writer escapes",
         head + "/TrelvaneFax (\\151n.fxs)\r/TrelvaneFaxSize (" + size +
             ")\r/TrelvaneFaxModified (1500000000.000000000)" + tail,
         true},
        {"no record: newer than the fax", head + "/Title (x)" + tail, true},
        {"not a PDF", "just bytes", true},
        {"another fax's path",
         head + "/TrelvaneFax (x/in.fxs)\r/TrelvaneFaxSize (" + size +
             ")\r/TrelvaneFaxModified (1500000000.000000000)" + tail,
         false},
        {"a key missing", head + "/TrelvaneFax (in.fxs)\r/TrelvaneFaxSize (" + size + ")" + tail,
         false},
        {"nanoseconds cut",
         head + "/TrelvaneFax (in.fxs)\r/TrelvaneFaxSize (" + size +
             ")\r/TrelvaneFaxModified (1500000000.0)" + tail,
         false},
        {"size not a number",
         head + "/TrelvaneFax (in.fxs)\r/TrelvaneFaxSize (-" + size +
             ")\r/TrelvaneFaxModified (1500000000.000000000)" + tail,
         false},
        {"string never closed", head + "/TrelvaneFax (in.fxs" + tail, false},
        {"outside the information dictionary",
         "%PDF-1.1 \r" + std::string(100, ' ') + "/TrelvaneFax (in.fxs)\r/TrelvaneFaxSize (" +
             size + ")\r/TrelvaneFaxModified (1500000000.000000000)\r",
         true},
    };
    job.source = dir.path();
    job.job_mode = kJobModeFolder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(write_file(pdf, c.bytes));
        set_modified(pdf, 1600000000);
        job.log_text.clear();
        EXPECT_EQ(convert_fax_file(job, fax, pdf), c.kept ? kSkippedExisting : kConverted);
    }
}

// Without skipping no record is written, so a plain run's PDF is what it always was.
TEST_F(SkipExisting, OnlyRunsThatSkipWriteTheRecord) {
    job.skip_existing = 0;
    ASSERT_EQ(convert_fax_file(job, fax, pdf), kConverted);
    EXPECT_EQ(read_file(pdf).find("/TrelvaneFax"), std::string::npos);
    // A single file records its path as given.
    job.skip_existing = 1;
    job.job_mode = kJobModeFile;
    job.source = fax;
    platform::remove_file(pdf);
    ASSERT_EQ(convert_fax_file(job, fax, pdf), kConverted);
    EXPECT_NE(read_file(pdf).find("/TrelvaneFax (" + fax + ")"), std::string::npos);
}

}  // namespace
}  // namespace trelvane::app
