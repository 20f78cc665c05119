// A conversion pass without a window: what it tells the view, the files it writes, the log.
#include "gui/conversion_pass.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/pipeline.h"
#include "gui/window_files.h"
#include "sample_fax.h"
#include "support/pdf_tools.h"
#include "support/temp_dir.h"

namespace trelvane::gui {
namespace {

using testsupport::TempDir;

struct Row {
    std::string source;
    std::string pdf;
    std::string result;
};

class RecordingView : public PassView {
  public:
    void pass_started() override { events.push_back("started"); }
    void save_folder_failed() override { events.push_back("save folder failed"); }
    void file_started(int row, const std::string& source_path) override {
        EXPECT_EQ(row, static_cast<int>(rows.size()));
        rows.push_back({source_path, "", ""});
    }
    void file_finished(int row, const std::string& pdf_path, const std::string& result) override {
        rows.at(row).pdf = pdf_path;
        rows.at(row).result = result;
    }
    void status_changed(const std::string& status) override { statuses.push_back(status); }
    void pass_finished(int converted) override {
        events.push_back("finished " + std::to_string(converted));
    }

    std::vector<std::string> events;
    std::vector<Row> rows;
    std::vector<std::string> statuses;
};

class ConversionPass : public ::testing::Test {
  protected:
    void SetUp() override { guitest::prepare_process_for_conversions(); }
};

PassRequest folder_request(const TempDir& dir, const std::string& source) {
    PassRequest request;
    app::reset_batch_job(request.job);
    WindowOptions options;
    options.convert_mode = kConvertDirectory;
    options.subdir = 1;
    request.source_folder = collect_window_files(request.job, options, source, std::nullopt);
    request.destination = dir.file("out");
    request.options = options;
    request.log_path = dir.file("log/tvnlog.txt");
    return request;
}

TEST_F(ConversionPass, ConvertsEveryFileAndLogsTheReportWithoutATotal) {
    TempDir dir;
    const std::string source = dir.file("in");
    ASSERT_TRUE(app::create_folder_path(source + "/sub"));
    ASSERT_TRUE(guitest::write_sample_fax(source + "/a.fxs", 1));
    ASSERT_TRUE(guitest::write_sample_fax(source + "/sub/a.fxm", 2));  // same PDF name
    ASSERT_TRUE(guitest::write_sample_fax(source + "/b.fxd", 3));
    ASSERT_TRUE(testsupport::write_file(source + "/broken.fxr", "not a fax at all"));

    PassRequest request = folder_request(dir, source);
    ASSERT_EQ(request.job.files.size(), 4u);
    RecordingView view;
    std::atomic<bool> stop{false};
    EXPECT_EQ(run_conversion_pass(request, view, stop), 3);

    EXPECT_EQ(view.events, (std::vector<std::string>{"started", "finished 3"}));
    ASSERT_EQ(view.rows.size(), 4u);
    std::vector<std::string> pdfs;
    for (const Row& row : view.rows) {
        if (row.source.ends_with("broken.fxr")) {
            EXPECT_EQ(row.pdf, "");
            EXPECT_EQ(row.result, "Failed : Not Fax");
            continue;
        }
        EXPECT_EQ(row.result, "Converted!") << row.source;
        pdfs.push_back(row.pdf);
        EXPECT_EQ(testsupport::qpdf_check(row.pdf).exit_code, 0) << row.pdf;
    }
    std::sort(pdfs.begin(), pdfs.end());
    const std::string out = dir.file("out");
    EXPECT_EQ(pdfs, (std::vector<std::string>{out + "/a (2).pdf", out + "/a.pdf", out + "/b.pdf"}));
    EXPECT_EQ(view.statuses.back(), "Done. 3 FAX files converted");
    EXPECT_EQ(view.statuses.front(), "Doing: " + view.rows.front().source);

    const std::string log = testsupport::read_file(dir.file("log/tvnlog.txt"));
    EXPECT_NE(log.find("Vuvod Trelvane in GUI mode : convert folder\r\nSource Folder: " + source +
                       "\r\nDestination Folder: " + out + "\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("was already written in this run"), std::string::npos) << log;
    EXPECT_EQ(log.find("Total converted"), std::string::npos);
}

TEST_F(ConversionPass, SkipsExistingPdfsWhenAskedAndKeepsExtensions) {
    TempDir dir;
    const std::string source = dir.file("in");
    ASSERT_TRUE(app::create_folder_path(source));
    ASSERT_TRUE(guitest::write_sample_fax(source + "/a.fxs", 4));
    ASSERT_TRUE(guitest::write_sample_fax(source + "/b.fxs", 5));
    ASSERT_TRUE(app::create_folder_path(dir.file("out")));
    ASSERT_TRUE(testsupport::write_file(dir.file("out/a.fxs.pdf"), "%PDF-old"));

    PassRequest request = folder_request(dir, source);
    request.options.keep_ext = 1;
    request.job.skip_existing = 1;
    RecordingView view;
    std::atomic<bool> stop{false};
    EXPECT_EQ(run_conversion_pass(request, view, stop), 1);
    for (const Row& row : view.rows) {
        if (row.source.ends_with("a.fxs")) {
            EXPECT_EQ(row.result, "Already exist, skipped!");
            EXPECT_EQ(row.pdf, "");
        } else {
            EXPECT_EQ(row.result, "Converted!");
            EXPECT_EQ(row.pdf, dir.file("out/b.fxs.pdf"));
        }
    }
    EXPECT_EQ(testsupport::read_file(dir.file("out/a.fxs.pdf")), "%PDF-old");
}

TEST_F(ConversionPass, StopsBetweenFilesAndStillLogs) {
    TempDir dir;
    const std::string source = dir.file("in");
    ASSERT_TRUE(app::create_folder_path(source));
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(guitest::write_sample_fax(source + "/f" + std::to_string(i) + ".fxs", 10 + i));
    }
    PassRequest request = folder_request(dir, source);
    std::atomic<bool> stop{false};
    int calls = 0;
    request.convert = [&](app::BatchJob& job, const std::string& from, const std::string& to) {
        if (++calls == 2) {
            stop = true;  // as "&Cancel" would, while the second file converts
        }
        return app::convert_fax_file(job, from, to);
    };
    RecordingView view;
    EXPECT_EQ(run_conversion_pass(request, view, stop), 2);
    EXPECT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(view.statuses.back(), "Done. 2 FAX files converted");
    const std::string log = testsupport::read_file(dir.file("log/tvnlog.txt"));
    size_t lines = 0;
    for (size_t at = log.find("Success !"); at != std::string::npos;
         at = log.find("Success !", at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, 2u);
}

TEST_F(ConversionPass, UncreatableSaveFolderIsReportedAndEveryFileFails) {
    TempDir dir;
    const std::string source = dir.file("in");
    ASSERT_TRUE(app::create_folder_path(source));
    ASSERT_TRUE(guitest::write_sample_fax(source + "/a.fxs", 20));
    ASSERT_TRUE(testsupport::write_file(dir.file("blocker"), "a file, not a folder"));

    PassRequest request = folder_request(dir, source);
    request.destination = dir.file("blocker/out");
    RecordingView view;
    std::atomic<bool> stop{false};
    EXPECT_EQ(run_conversion_pass(request, view, stop), 0);
    EXPECT_EQ(view.events,
              (std::vector<std::string>{"started", "save folder failed", "finished 0"}));
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].result,
              "Failed to create dir: " + dir.file("blocker/out") + " (Not a directory)");
}

// The PDF was written but its file times could not be set: not counted as converted, yet the
// row names the PDF that is there.
TEST_F(ConversionPass, PdfWrittenWithoutItsTimesIsStillNamed) {
    TempDir dir;
    const std::string source = dir.file("in");
    ASSERT_TRUE(app::create_folder_path(source));
    ASSERT_TRUE(guitest::write_sample_fax(source + "/a.fxs", 21));
    PassRequest request = folder_request(dir, source);
    request.options.keep_date = 1;
    request.convert = [](app::BatchJob& job, const std::string& from, const std::string& to) {
        const int code = app::convert_fax_file(job, from, to);
        return code == app::kConverted ? app::kFolderFailed : code;  // as a failed time copy
    };
    RecordingView view;
    std::atomic<bool> stop{false};
    EXPECT_EQ(run_conversion_pass(request, view, stop), 0);
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].pdf, dir.file("out/a.pdf"));
    EXPECT_EQ(view.rows[0].result, kTimesNotKeptText);
    EXPECT_TRUE(app::pdf_exists(view.rows[0].pdf));
}

}  // namespace
}  // namespace trelvane::gui
