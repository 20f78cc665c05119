// A conversion pass without a window: what it tells the view (from several conversion threads),
// the files it writes, the log record.
#include "gui/conversion_pass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/conversion_pool.h"
#include "app/page_recognition.h"
#include "app/pipeline.h"
#include "app/process_paths.h"
#include "app/report_text.h"
#include "gui/window_files.h"
#include "sample_fax.h"
#include "support/libtiff_codec.h"
#include "support/pdf_tools.h"
#include "support/temp_dir.h"
#include "support/text_page.h"
#include "support/winfax_builder.h"

namespace trelvane::gui {
namespace {

using testsupport::TempDir;

struct Row {
    std::string source;
    std::string pdf;
    std::string result;
};

// Called from the conversion threads, so everything goes under a lock.
class RecordingView : public PassView {
  public:
    void pass_started() override { event("started"); }
    void save_folder_failed(const std::string&) override { event("save folder failed"); }
    void work_files_failed(const std::string& message) override {
        event("work files failed: " + message);
    }
    void file_started(int row, const std::string& source_path) override {
        std::lock_guard<std::mutex> lock(mutex);
        rows[row].source = source_path;
    }
    void file_finished(int row, const app::FileOutcome& outcome) override {
        std::lock_guard<std::mutex> lock(mutex);
        rows[row].pdf = app::pdf_in_place(outcome) ? outcome.pdf : std::string();
        rows[row].result = app::row_text(outcome);
    }
    void status_changed(const std::string& status) override {
        std::lock_guard<std::mutex> lock(mutex);
        statuses.push_back(status);
    }
    void pages_recognised(uint64_t pages) override {
        std::lock_guard<std::mutex> lock(mutex);
        pages_read.push_back(pages);
    }
    void pass_finished(int converted) override { event("finished " + std::to_string(converted)); }

    std::mutex mutex;
    std::vector<std::string> events;
    std::map<int, Row> rows;
    std::vector<std::string> statuses;
    std::vector<uint64_t> pages_read;

  private:
    void event(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(text);
    }
};

class ConversionPass : public ::testing::Test {
  protected:
    void SetUp() override { guitest::prepare_process_for_conversions(); }
};

PassRequest folder_request(const TempDir& dir, const std::string& source, int jobs = 2) {
    PassRequest request;
    app::reset_batch_job(request.job);
    WindowOptions options;
    options.convert_mode = kConvertDirectory;
    options.subdir = 1;
    options.parallel_jobs = jobs;
    request.source_folder = collect_window_files(request.job, options, source, std::nullopt);
    request.destination = dir.file("out");
    request.options = options;
    request.log_path = dir.file("log/tvnlog.txt");
    return request;
}

// The record's file lines ("source --> destination : outcome"), in order.
std::vector<std::string> file_lines(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (line.find(" --> ") != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

TEST_F(ConversionPass, ConvertsEveryFileAndLogsTheReportInListOrderWithoutATotal) {
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
    PassControl control;
    EXPECT_EQ(run_conversion_pass(request, view, control), 3);

    EXPECT_EQ(view.events, (std::vector<std::string>{"started", "finished 3"}));
    ASSERT_EQ(view.rows.size(), 4u);
    std::vector<std::string> pdfs;
    for (const auto& [index, row] : view.rows) {
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
    EXPECT_EQ(view.statuses, (std::vector<std::string>{"Done. 3 FAX files converted"}));

    const std::string log = testsupport::read_file(dir.file("log/tvnlog.txt"));
    EXPECT_NE(log.find("Vuvod Trelvane in GUI mode : convert folder\r\nSource Folder: " + source +
                       "\r\nDestination Folder: " + out + "\r\n"),
              std::string::npos)
        << log;
    const std::vector<std::string> lines = file_lines(log);
    ASSERT_EQ(lines.size(), 4u) << log;
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].starts_with(view.rows[static_cast<int>(i)].source + " --> "))
            << lines[i];
    }
    EXPECT_NE(log.find("is the PDF of an earlier fax in this run)\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Total converted"), std::string::npos);
}

// The options pages write the process-wide options while a pass runs (a user changing them
// for the next pass): every file of the running pass keeps the options it started with. Under
// ThreadSanitizer a conversion that read the process-wide record would be reported as a race.
TEST_F(ConversionPass, RunningFilesKeepTheOptionsThePassStartedWith) {
    TempDir dir;
    const std::string source = dir.file("in");
    ASSERT_TRUE(app::create_folder_path(source));
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(guitest::write_sample_fax(source + "/f" + std::to_string(i) + ".fxs", 10 + i));

    PassRequest request = folder_request(dir, source, 3);
    request.job.settings = app::global_settings();
    request.job.settings.recalculate_lines = 1;
    std::mutex mutex;
    std::vector<int> seen;
    request.convert = [&](app::BatchJob& job, const std::string& fax, const std::string& pdf,
                          app::ConversionWorkspace& workspace) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            seen.push_back(job.settings.recalculate_lines);
        }
        return app::convert_one_fax(job, fax, pdf, workspace);
    };
    const faxread::ConversionSettings before = app::global_settings();
    std::atomic<bool> done{false};
    std::thread options_page([&] {
        for (uint8_t flip = 0; !done.load(); flip ^= 1)
            app::global_settings().recalculate_lines = flip;
    });
    RecordingView view;
    PassControl control;
    const int converted = run_conversion_pass(request, view, control);
    done = true;
    options_page.join();
    app::global_settings() = before;

    EXPECT_EQ(converted, 6);
    EXPECT_EQ(seen, std::vector<int>(6, 1));
}

TEST_F(ConversionPass, SkipsUpToDatePdfsWhenAskedAndKeepsExtensions) {
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
    // A minute on: the faxes just written have settled.
    const auto later = app::SettleClock::now() + std::chrono::minutes(1);
    request.clock = [later] { return later; };
    RecordingView view;
    PassControl control;
    EXPECT_EQ(run_conversion_pass(request, view, control), 1);
    for (const auto& [index, row] : view.rows) {
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

// A stop while the second file converts (one job): it finishes, nothing starts after it, and
// the record names the files left.
TEST_F(ConversionPass, StopLetsTheRunningFileFinishAndTheRecordNamesTheRest) {
    TempDir dir;
    const std::string source = dir.file("in");
    ASSERT_TRUE(app::create_folder_path(source));
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(guitest::write_sample_fax(source + "/f" + std::to_string(i) + ".fxs", 10 + i));
    }
    PassRequest request = folder_request(dir, source, 1);
    PassControl control;
    std::atomic<int> calls{0};
    request.convert = [&](app::BatchJob& job, const std::string& from, const std::string& to,
                          app::ConversionWorkspace& workspace) {
        if (++calls == 2) {
            control.stop();  // as "&Cancel" would, while the second file converts
        }
        return app::convert_one_fax(job, from, to, workspace);
    };
    RecordingView view;
    EXPECT_EQ(run_conversion_pass(request, view, control), 2);
    EXPECT_EQ(calls.load(), 2);
    EXPECT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(view.statuses.back(), "Cancelled: 2 of 4 files converted");
    const std::string log = testsupport::read_file(dir.file("log/tvnlog.txt"));
    const std::vector<std::string> lines = file_lines(log);
    ASSERT_EQ(lines.size(), 4u) << log;
    EXPECT_TRUE(lines[0].ends_with("Success !\r")) << lines[0];
    EXPECT_TRUE(lines[1].ends_with("Success !\r")) << lines[1];
    for (size_t i = 2; i < 4; ++i) {
        EXPECT_EQ(lines[i], request.source_folder + "/" + request.job.files[i] + " --> " +
                                dir.file("out/") + request.job.files[i].substr(0, 2) +
                                ".pdf : " + std::string(app::kCancelledText) + "\r");
    }
    EXPECT_NE(log.find("Cancelled: 2 of 4 files not converted\r\n"), std::string::npos) << log;
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
    PassControl control;
    EXPECT_EQ(run_conversion_pass(request, view, control), 0);
    EXPECT_EQ(view.events,
              (std::vector<std::string>{"started", "save folder failed", "finished 0"}));
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].result,
              "Failed to create dir: " + dir.file("blocker/out") + " (Not a directory)");
}

TEST_F(ConversionPass, WorkFilesThatCannotBeMadeAreReportedAndNothingConverts) {
    TempDir dir;
    const std::string source = dir.file("in");
    ASSERT_TRUE(app::create_folder_path(source));
    ASSERT_TRUE(guitest::write_sample_fax(source + "/a.fxs", 22));
    PassRequest request = folder_request(dir, source);
    std::string& temp_folder = app::process_paths().temp_folder;
    const std::string saved = temp_folder;
    temp_folder = dir.file("no such folder/");
    RecordingView view;
    PassControl control;
    const int converted = run_conversion_pass(request, view, control);
    temp_folder = saved;

    EXPECT_EQ(converted, 0);
    const std::string problem = "Failed to create work files in " + dir.file("no such folder/") +
                                " (No such file or directory)";
    EXPECT_EQ(view.events,
              (std::vector<std::string>{"started", "work files failed: " + problem, "finished 0"}));
    EXPECT_TRUE(view.rows.empty());
    EXPECT_NE(testsupport::read_file(dir.file("log/tvnlog.txt")).find(problem + "\r\n"),
              std::string::npos);
}

// Chosen files of another kind get their rows but claim no PDF name, as in a command-line walk.
TEST_F(ConversionPass, ChosenFilesThatAreNoFaxesTakeNoPdfName) {
    TempDir dir;
    const std::string folder = dir.file("in");
    ASSERT_TRUE(app::create_folder_path(folder));
    ASSERT_TRUE(testsupport::write_file(folder + "/a.txt", "a note"));
    ASSERT_TRUE(guitest::write_sample_fax(folder + "/a.fxs", 23));
    ASSERT_TRUE(guitest::write_sample_fax(folder + "/a.fxm", 24));
    PassRequest request = folder_request(dir, folder);
    request.options.convert_mode = kConvertFiles;
    request.options.keep_ext = 0;
    request.source_folder = collect_window_files(request.job, request.options,
                                                 folder + " a.txt a.fxs a.fxm", std::nullopt);
    RecordingView view;
    PassControl control;
    EXPECT_EQ(run_conversion_pass(request, view, control), 2);
    ASSERT_EQ(view.rows.size(), 3u);
    EXPECT_EQ(view.rows[0].result, "Not WinFax File!");
    EXPECT_EQ(view.rows[0].pdf, "");
    EXPECT_EQ(view.rows[1].pdf, dir.file("out/a.pdf"));
    EXPECT_EQ(view.rows[2].pdf, dir.file("out/a (2).pdf"));
    EXPECT_EQ(request.job.files, (std::vector<std::string>{"a.txt", "a.fxs", "a.fxm"}));
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
    request.convert = [](app::BatchJob& job, const std::string& from, const std::string& to,
                         app::ConversionWorkspace& workspace) {
        app::FileOutcome outcome = app::convert_one_fax(job, from, to, workspace);
        outcome.times_error = EPERM;  // as a failed time copy
        return outcome;
    };
    RecordingView view;
    PassControl control;
    EXPECT_EQ(run_conversion_pass(request, view, control), 0);
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].pdf, dir.file("out/a.pdf"));
    EXPECT_EQ(view.rows[0].result, app::kTimesNotKeptText);
    EXPECT_TRUE(app::pdf_exists(view.rows[0].pdf));
}

// Searchable PDFs from the window: the words are in the PDF, and the view hears of every page
// read, so that a long fax shows it is moving on.
TEST_F(ConversionPass, SearchablePdfsCountThePagesRead) {
    if (!app::recognition_available())
        GTEST_SKIP() << "built without text recognition (TRELVANE_OCR=OFF or no Tesseract)";
    for (const char* tool : {"gs", "pdftotext"}) {
        if (!testsupport::tool_available(tool))
            GTEST_SKIP() << tool << " is not installed (scripts/install-deps installs it)";
    }
    TempDir dir;
    const std::string source = dir.file("in");
    ASSERT_TRUE(app::create_folder_path(source));
    std::vector<testsupport::WinFaxPage> pages;
    for (const char* line : {"The quick brown fox jumps over the lazy dog.",
                             "Please call us back before Friday, 10:30 at the latest."}) {
        testsupport::Bitmap page;
        ASSERT_TRUE(testsupport::render_postscript(testsupport::text_page_program({line}, 12), 204,
                                                   196, 1728, 2200, page));
        testsupport::WinFaxPage p;
        p.data = testsupport::libtiff_encode(page, testsupport::Coding::Group4, 2);
        p.width = 1728;
        p.length = 2200;
        p.coding = 1;
        p.resolution = 1;
        pages.push_back(std::move(p));
    }
    ASSERT_TRUE(testsupport::write_winfax(source + "/letter.fxs", pages));

    PassRequest request = folder_request(dir, source);
    request.options.ocr = true;
    RecordingView view;
    PassControl control;
    ASSERT_EQ(run_conversion_pass(request, view, control), 1);
    EXPECT_EQ(view.rows[0].result, "Converted!");
    EXPECT_EQ(view.pages_read, (std::vector<uint64_t>{1, 2}));
    EXPECT_NE(testsupport::pdf_text(view.rows[0].pdf, 1).find("quick brown fox"),
              std::string::npos);
    EXPECT_NE(testsupport::pdf_text(view.rows[0].pdf, 2).find("call us back"), std::string::npos);
}

}  // namespace
}  // namespace trelvane::gui
