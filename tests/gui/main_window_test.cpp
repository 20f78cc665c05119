// The window on Qt's offscreen platform: start-up values, the option rules on the real
// controls, the warnings of "&Go", conversions through the worker, "&Cancel", closing.
#include "gui/main_window.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "app/conversion_workspace.h"
#include "app/page_recognition.h"
#include "app/pipeline.h"
#include "app/report_text.h"
#include "app/settings_file.h"
#include "gui/fax_settings_page.h"
#include "gui/options_page.h"
#include "gui/result_list_model.h"
#include "gui/result_list_view.h"
#include "gui/tray_icon.h"
#include "gui_test_support.h"
#include "platform/file_system.h"
#include "support/child_process.h"
#include "support/pdf_tools.h"
#include "support/temp_dir.h"

namespace trelvane::gui {
namespace {

using guitest::RecordingPrompter;
using testsupport::TempDir;

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        guitest::test_application();
        guitest::prepare_process_for_conversions();
    }

    std::unique_ptr<MainWindow> make_window() {
        WindowEnvironment environment;
        environment.pages.prompter = &prompter;
        environment.pages.settings_path =
            settings_file.empty() ? dir.file("trelvane.ini") : settings_file;
        environment.pages.log_path = dir.file("log/tvnlog.txt");
        environment.pages.convert = convert;
        environment.pages.clock = [this] { return test_now.load(); };
        environment.help_page = help_page;
        environment.support_mail = "help@example.invalid";
        environment.use_tray = false;
        return std::make_unique<MainWindow>(environment);
    }

    std::string make_source(int count) {
        const std::string source = dir.file("in");
        EXPECT_TRUE(app::create_folder_path(source));
        for (int i = 0; i < count; ++i) {
            EXPECT_TRUE(
                guitest::write_sample_fax(source + "/fax" + std::to_string(i) + ".fxs", 100 + i));
        }
        return source;
    }

    // What one column shows, row by row, as the view gets it from the model.
    static std::vector<std::string> column(const ConvertPage* page, int index) {
        const ResultListModel* model = page->result_model();
        std::vector<std::string> texts;
        for (int row = 0; row < model->rowCount(); ++row) {
            texts.push_back(model->data(model->index(row, index)).toString().toStdString());
        }
        return texts;
    }

    // Clicks "&Go" and waits for the pass to end; false when no pass ended in time.
    static bool run_pass(ConvertPage* page, bool by_timer = false) {
        guitest::SignalLog<int> finished(page, &ConvertPage::pass_finished);
        if (by_timer) {
            page->cycle_tick();
        } else {
            page->go_button()->click();
        }
        return guitest::process_events_until([&] { return finished.count() > 0; });
    }

    // "Parallel conversions" on the Options page, taken over by the Convert page as a user
    // does it: by going back to its tab.
    static void set_jobs(MainWindow* window, int jobs) {
        window->tabs()->setCurrentIndex(1);
        window->options_page()->jobs_field()->setValue(jobs);
        window->tabs()->setCurrentIndex(0);
        ASSERT_EQ(window->convert_page()->window_options().parallel_jobs, jobs);
    }

    // The files of a folder, by name.
    static std::vector<std::string> names_in(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // The log record's file lines ("source --> destination : outcome"), in order.
    std::vector<std::string> logged_lines() const {
        std::vector<std::string> lines;
        std::istringstream in(testsupport::read_file(dir.file("log/tvnlog.txt")));
        for (std::string line; std::getline(in, line);) {
            if (line.find(" --> ") != std::string::npos) {
                lines.push_back(line.substr(0, line.size() - 1));  // without the CR
            }
        }
        return lines;
    }

    TempDir dir;
    RecordingPrompter prompter;
    ConvertFunction convert;
    std::string help_page;
    std::string settings_file;  // empty: trelvane.ini in dir
    guitest::GlobalSettingsGuard settings_guard;
    // "Now" for the settle rule: a minute ahead, so that faxes a test has just written count as
    // settled unless the test says otherwise.
    std::atomic<app::SettleClock::time_point> test_now{app::SettleClock::now() +
                                                       std::chrono::minutes(1)};
};

// Files that wait, each on the conversion thread, until the test lets them go.
class ConversionGate {
  public:
    // The conversion to put into the window: counts the start, waits, converts.
    ConvertFunction convert() {
        return [this](app::BatchJob& job, const std::string& from, const std::string& to,
                      app::ConversionWorkspace& workspace) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                started_.push_back(from);
                changed_.notify_all();
                changed_.wait(lock, [&] { return all_released_ || released_.contains(from); });
            }
            return app::convert_one_fax(job, from, to, workspace);
        };
    }
    void release(const std::string& source) {
        std::lock_guard<std::mutex> lock(mutex_);
        released_.insert(source);
        changed_.notify_all();
    }
    void release_all() {
        std::lock_guard<std::mutex> lock(mutex_);
        all_released_ = true;
        changed_.notify_all();
    }
    std::vector<std::string> started() {
        std::lock_guard<std::mutex> lock(mutex_);
        return started_;
    }
    // Declared after the window, so that a test that ends early lets its files go before the
    // window waits for them.
    struct Releaser {
        ConversionGate& gate;
        ~Releaser() { gate.release_all(); }
    };
    Releaser release_at_exit() { return Releaser{*this}; }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> started_;
    std::set<std::string> released_;
    bool all_released_ = false;
};

TEST_F(MainWindowTest, FirstStartWithoutSettingsFile) {
    auto window = make_window();
    EXPECT_EQ(window->windowTitle(), "Vuvod Trelvane");
    ASSERT_EQ(window->tabs()->count(), 2);
    EXPECT_EQ(window->tabs()->tabText(0), "Convert");
    EXPECT_EQ(window->tabs()->tabText(1), "Options");
    EXPECT_EQ(window->tabs()->currentIndex(), 0);
    EXPECT_FALSE(window->windowIcon().isNull());

    ConvertPage* page = window->convert_page();
    EXPECT_EQ(page->filter_edit()->text(), "*.*");
    EXPECT_EQ(page->source_edit()->text(), "");
    EXPECT_EQ(page->destination_edit()->text(), "");
    EXPECT_EQ(page->status_label()->text(), kFirstStatusText);
    EXPECT_TRUE(page->go_button()->isEnabled());
    EXPECT_FALSE(page->cancel_button()->isEnabled());
    const ResultListModel* model = page->result_model();
    EXPECT_EQ(model->headerData(0, Qt::Horizontal), "Source Fax Files");
    EXPECT_EQ(model->headerData(1, Qt::Horizontal), "Destination PDF Files");
    EXPECT_EQ(model->headerData(2, Qt::Horizontal), "Results");
    EXPECT_FALSE(page->cycle_active());

    OptionsPage* options = window->options_page();
    EXPECT_TRUE(options->directory_button()->isChecked());
    EXPECT_FALSE(options->files_button()->isChecked());
    EXPECT_TRUE(options->keep_ext_box()->isChecked());
    for (QCheckBox* box :
         {options->subdir_box(), options->hierarchy_box(), options->keep_date_box(),
          options->recalculate_box(), options->cycle_box()}) {
        EXPECT_FALSE(box->isChecked()) << box->text().toStdString();
    }
    EXPECT_EQ(options->minutes_field()->value(), 60);
    EXPECT_TRUE(options->subdir_box()->isEnabled());
    EXPECT_TRUE(options->minutes_field()->isEnabled());
    EXPECT_FALSE(window->fax_settings_page()->isVisible());
}

// At twice the scale a 1280 x 800 screen has 640 x 400 pixels of room: the first window fits
// it, frame and all. Runs in a child of this program on such a screen (Qt's offscreen platform
// with a screen configuration).
TEST_F(MainWindowTest, FirstWindowFitsA1280By800ScreenAtTwiceTheScale) {
    if (std::getenv("TRELVANE_FIT_CHILD") != nullptr) {
        auto window = make_window();
        window->show();
        QCoreApplication::processEvents();
        const QRect room = window->screen()->availableGeometry();
        ASSERT_EQ(room.size(), QSize(640, 400));
        EXPECT_TRUE(room.contains(window->frameGeometry()))
            << window->frameGeometry().width() << " x " << window->frameGeometry().height();
        EXPECT_GE(window->width(), window->minimumSizeHint().width());
        EXPECT_GE(window->height(), window->minimumSizeHint().height());
        return;
    }
    ASSERT_TRUE(testsupport::write_file(
        dir.file("screen.json"),
        R"({"windowFrameMargins": true, "screens": [{"name": "laptop", "x": 0, "y": 0,)"
        R"( "width": 1280, "height": 800, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})"));
    testsupport::ChildOptions child;
    child.args = {"--gtest_filter=MainWindowTest.FirstWindowFitsA1280By800ScreenAtTwiceTheScale"};
    child.env = {
        {"TRELVANE_FIT_CHILD", "1"},
        {"QT_SCALE_FACTOR", "2"},
        {"QT_QPA_PLATFORM", "offscreen:configfile=" + dir.file("screen.json")},
        {"LSAN_OPTIONS", "suppressions=" TRELVANE_SOURCE_DIR "/tests/gui/lsan-system.supp"}};
    const testsupport::ChildResult result = testsupport::run_child("/proc/self/exe", child);
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("[  PASSED  ] 1 test"), std::string::npos) << result.out;
}

TEST_F(MainWindowTest, RecalculateBoxFollowsTheCommandLineWhenTheFileHasNoKey) {
    app::global_settings().recalculate_lines = 1;
    auto window = make_window();
    EXPECT_TRUE(window->options_page()->recalculate_box()->isChecked());
}

TEST_F(MainWindowTest, ClosingWritesTheSettingsAndGivesTheExitCode) {
    {
        auto window = make_window();
        guitest::SignalLog<int> closed(window.get(), &MainWindow::closed);
        window->convert_page()->source_edit()->setText("/fax/in");
        window->convert_page()->destination_edit()->setText("/pdf/out");
        window->options_page()->keep_date_box()->click();
        window->options_page()->recalculate_box()->click();
        window->options_page()->cycle_box()->click();
        window->reject();  // the close box and Escape
        ASSERT_EQ(closed.count(), 1);
        EXPECT_EQ(closed.values.at(0), kExitThroughCancel);
        EXPECT_EQ(window->exit_code(), kExitThroughCancel);
    }
    const app::SavedFolders folders = app::read_saved_folders(dir.file("trelvane.ini"));
    EXPECT_EQ(folders.fax_dir, "/fax/in");
    EXPECT_EQ(folders.save_dir, "/pdf/out");
    const std::string text = testsupport::read_file(dir.file("trelvane.ini"));
    EXPECT_LT(text.find("[Main]"), text.find("[Options]"));
    EXPECT_LT(text.find("DirFile="), text.find("CycleMinutes="));

    // The next window starts where this one ended.
    auto window = make_window();
    EXPECT_EQ(window->convert_page()->source_edit()->text(), "/fax/in");
    EXPECT_TRUE(window->options_page()->keep_date_box()->isChecked());
    EXPECT_TRUE(window->options_page()->recalculate_box()->isChecked());
    EXPECT_TRUE(window->options_page()->cycle_box()->isChecked());
    EXPECT_FALSE(window->options_page()->minutes_field()->isEnabled());
    EXPECT_TRUE(window->convert_page()->cycle_active());
    EXPECT_EQ(window->convert_page()->cycle_interval_ms(), 60 * 60000);

    guitest::SignalLog<int> closed(window.get(), &MainWindow::closed);
    window->tray()->exit_action()->trigger();  // the tray's "E&xit"
    ASSERT_EQ(closed.count(), 1);
    EXPECT_EQ(closed.values.at(0), kExitThroughOk);
}

TEST_F(MainWindowTest, GoWarnsAboutAMissingSourceThenAMissingDestination) {
    auto window = make_window();
    ConvertPage* page = window->convert_page();
    page->go_button()->click();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].caption, "Warning");
    EXPECT_EQ(prompter.messages[0].text,
              "Select Source Dir,\nwhere your fax files to be converted should be");

    page->source_edit()->setText(QString::fromStdString(make_source(1)));
    page->go_button()->click();
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[1].caption, "Warning");
    EXPECT_EQ(prompter.messages[1].text,
              "Select Save Dir,\nwhere your converted pdf files should be");
    EXPECT_FALSE(page->running());
    EXPECT_EQ(page->result_model()->rowCount(), 0);
}

TEST_F(MainWindowTest, GoConvertsAFolderAndACycleSkipsWhatExists) {
    auto window = make_window();
    ConvertPage* page = window->convert_page();
    const std::string source = make_source(3);
    const std::string out = dir.file("out");
    page->source_edit()->setText(QString::fromStdString(source));
    page->destination_edit()->setText(QString::fromStdString(out));

    ASSERT_TRUE(run_pass(page));
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(column(page, 2), (std::vector<std::string>(3, "Converted!")));
    for (const std::string& pdf : column(page, 1)) {
        EXPECT_TRUE(app::pdf_exists(pdf)) << pdf;
    }
    EXPECT_EQ(page->status_label()->text(), "Done. 3 FAX files converted");
    EXPECT_EQ(page->progress_bar()->maximum(), 3);
    EXPECT_EQ(page->progress_bar()->value(), 3);
    EXPECT_TRUE(page->go_button()->isEnabled());
    EXPECT_FALSE(page->cancel_button()->isEnabled());
    EXPECT_TRUE(page->source_edit()->isEnabled());
    EXPECT_NE(testsupport::read_file(dir.file("log/tvnlog.txt"))
                  .find("Vuvod Trelvane in GUI mode : convert folder"),
              std::string::npos);

    // Remove one PDF: the next automatic cycle converts it and skips the other two.
    const std::string removed = column(page, 1)[1];
    ASSERT_EQ(std::remove(removed.c_str()), 0);
    ASSERT_TRUE(run_pass(page, true));
    const std::vector<std::string> results = column(page, 2);
    EXPECT_EQ(std::count(results.begin(), results.end(), "Already exist, skipped!"), 2);
    EXPECT_EQ(results[1], "Converted!");
    EXPECT_EQ(page->status_label()->text(), "Done. 1 FAX files converted");
    EXPECT_TRUE(app::pdf_exists(removed));

    // "&Go" converts everything again.
    ASSERT_TRUE(run_pass(page));
    EXPECT_EQ(page->status_label()->text(), "Done. 3 FAX files converted");
}

TEST_F(MainWindowTest, CycleTickWithoutFoldersDoesNothingSilently) {
    auto window = make_window();
    window->convert_page()->cycle_tick();
    EXPECT_FALSE(window->convert_page()->running());
    EXPECT_TRUE(prompter.messages.empty());
}

// "&Cancel" with several conversions at once: the files being converted finish whole, no file
// starts after it, and the record lists every file in list order, those not converted named.
TEST_F(MainWindowTest, CancelWithSeveralJobsStartsNothingMoreAndLeavesNoPartialPdf) {
    for (const int jobs : {1, 2, 3}) {
        SCOPED_TRACE("jobs " + std::to_string(jobs));
        TempDir case_dir;
        const std::string source = case_dir.file("in");
        const std::string out = case_dir.file("out");
        ASSERT_TRUE(app::create_folder_path(source));
        constexpr int kFiles = 8;
        for (int i = 0; i < kFiles; ++i) {
            ASSERT_TRUE(
                guitest::write_sample_fax(source + "/fax" + std::to_string(i) + ".fxs", 200 + i));
        }
        ConversionGate gate;
        convert = gate.convert();
        auto window = make_window();
        auto release = gate.release_at_exit();
        set_jobs(window.get(), jobs);
        ConvertPage* page = window->convert_page();
        page->source_edit()->setText(QString::fromStdString(source));
        page->destination_edit()->setText(QString::fromStdString(out));
        guitest::SignalLog<int> finished(page, &ConvertPage::pass_finished);
        page->go_button()->click();
        ASSERT_TRUE(guitest::process_events_until(
            [&] { return static_cast<int>(gate.started().size()) == jobs; }));
        EXPECT_TRUE(page->cancel_button()->isEnabled());
        EXPECT_TRUE(guitest::process_events_until(
            [&] { return page->status_label()->text().startsWith("Doing: "); }));

        // The files being converted go on while "&Cancel" waits for them.
        QTimer::singleShot(100, page, [&] { gate.release_all(); });
        page->cancel_button()->click();
        ASSERT_TRUE(guitest::process_events_until([&] { return finished.count() > 0; }));
        EXPECT_FALSE(page->running());
        EXPECT_TRUE(page->go_button()->isEnabled());
        EXPECT_FALSE(page->cancel_button()->isEnabled());

        const std::vector<std::string> started = gate.started();
        EXPECT_EQ(static_cast<int>(started.size()), jobs);  // nothing started after the cancel
        EXPECT_EQ(finished.values.at(0), jobs);
        EXPECT_EQ(page->status_label()->text().toStdString(),
                  "Cancelled: " + std::to_string(jobs) + " of 8 files converted");
        EXPECT_EQ(column(page, 2), std::vector<std::string>(jobs, "Converted!"));
        EXPECT_EQ(page->progress_bar()->value(), jobs);
        EXPECT_EQ(page->progress_bar()->maximum(), kFiles);

        // Exactly the PDFs of the files converted, each whole; nothing else in the folder.
        std::vector<std::string> expected_names;
        for (const std::string& pdf : column(page, 1)) {
            EXPECT_EQ(testsupport::qpdf_check(pdf).exit_code, 0) << pdf;
            expected_names.push_back(std::filesystem::path(pdf).filename().string());
        }
        std::sort(expected_names.begin(), expected_names.end());
        EXPECT_EQ(names_in(out), expected_names);

        // The record: the converted files first (they were the first in the list), then every
        // other file of the list, in order, as not converted.
        const std::vector<std::string> lines = logged_lines();
        ASSERT_EQ(lines.size(), static_cast<size_t>(kFiles));
        const std::vector<std::string> sources = column(page, 0);
        for (int i = 0; i < kFiles; ++i) {
            if (i < jobs) {
                EXPECT_EQ(lines[i], sources[i] + " --> " + column(page, 1)[i] + " : Success !");
            } else {
                EXPECT_TRUE(lines[i].ends_with(" : " + std::string(app::kCancelledText)))
                    << lines[i];
            }
        }
        EXPECT_NE(testsupport::read_file(dir.file("log/tvnlog.txt"))
                      .find("Cancelled: " + std::to_string(kFiles - jobs) + " of " +
                            std::to_string(kFiles) + " files not converted\r\n"),
                  std::string::npos);
        std::filesystem::remove(dir.file("log/tvnlog.txt"));
    }
}

TEST_F(MainWindowTest, CancelThatOutlastsTheWaitKeepsTheControlsUntilTheFilesAreDone) {
    ConversionGate gate;
    convert = gate.convert();
    auto window = make_window();
    auto release = gate.release_at_exit();
    set_jobs(window.get(), 2);
    ConvertPage* page = window->convert_page();
    page->source_edit()->setText(QString::fromStdString(make_source(4)));
    page->destination_edit()->setText(QString::fromStdString(dir.file("out")));
    guitest::SignalLog<int> finished(page, &ConvertPage::pass_finished);
    page->go_button()->click();
    ASSERT_TRUE(guitest::process_events_until([&] { return gate.started().size() == 2; }));

    page->cancel_button()->click();  // returns after the 2000 ms wait
    EXPECT_TRUE(page->running());
    EXPECT_FALSE(page->go_button()->isEnabled());
    EXPECT_FALSE(page->cancel_button()->isEnabled());
    EXPECT_FALSE(page->source_button()->isEnabled());

    // No second pass while this one is still busy.
    page->start_conversion();
    ASSERT_FALSE(prompter.messages.empty());
    EXPECT_EQ(prompter.messages.back().text, "Please wait while running conversion stops");

    // One file done: the status names the one still being converted.
    const std::vector<std::string> started = gate.started();
    gate.release(started[0]);
    ASSERT_TRUE(guitest::process_events_until([&] { return page->progress_bar()->value() == 1; }));
    EXPECT_TRUE(page->running());
    EXPECT_EQ(page->status_label()->text().toStdString(), "Doing: " + started[1]);

    gate.release_all();
    ASSERT_TRUE(guitest::process_events_until([&] { return finished.count() > 0; }));
    EXPECT_EQ(finished.values.at(0), 2);  // the files it was converting, no more
    EXPECT_EQ(page->status_label()->text(), "Cancelled: 2 of 4 files converted");
    EXPECT_EQ(column(page, 2), (std::vector<std::string>{"Converted!", "Converted!"}));
    EXPECT_EQ(gate.started().size(), 2u);
    EXPECT_TRUE(page->go_button()->isEnabled());
    EXPECT_TRUE(page->source_button()->isEnabled());
}

// A save folder that is a file would fail every file of the pass: nothing starts, and the
// message says which path and why; the timer's passes skip it silently.
TEST_F(MainWindowTest, ASaveFolderThatIsAFileStopsThePassBeforeItStarts) {
    auto window = make_window();
    ConvertPage* page = window->convert_page();
    const std::string blocker = dir.file("out.pdf");
    ASSERT_TRUE(testsupport::write_file(blocker, "not a folder"));
    page->source_edit()->setText(QString::fromStdString(make_source(2)));
    page->destination_edit()->setText(QString::fromStdString(blocker));
    page->go_button()->click();
    page->cycle_tick();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].caption, "Error");
    EXPECT_EQ(prompter.messages[0].text,
              "Error Save Dir: " + blocker +
                  " is not a folder (Not a directory)\nSelect Save Dir, where your converted pdf "
                  "files should be");
    EXPECT_FALSE(page->running());
    EXPECT_EQ(page->result_model()->rowCount(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("log/tvnlog.txt")));
    EXPECT_EQ(testsupport::read_file(blocker), "not a folder");

    // A folder that cannot be made below a file: the pass names it and the reason.
    page->destination_edit()->setText(QString::fromStdString(blocker + "/sub"));
    ASSERT_TRUE(run_pass(page));
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[1].text,
              "Error Save Dir: cannot create " + blocker + "/sub (Not a directory)");
}

TEST_F(MainWindowTest, SelectedFilesConvertEvenWithSpacesAndNonFaxFilesAreNamed) {
    auto window = make_window();
    window->tabs()->setCurrentIndex(1);
    window->options_page()->files_button()->click();
    window->tabs()->setCurrentIndex(0);

    const std::string folder = dir.file("Fax Inbox");
    ASSERT_TRUE(app::create_folder_path(folder));
    ASSERT_TRUE(guitest::write_sample_fax(folder + "/first fax.fxs", 7));
    ASSERT_TRUE(guitest::write_sample_fax(folder + "/b.fxm", 8));
    ASSERT_TRUE(testsupport::write_file(folder + "/notes.txt", "hello"));
    prompter.file_answers.push_back(FileSelection{folder, {"first fax.fxs", "notes.txt", "b.fxm"}});

    ConvertPage* page = window->convert_page();
    page->filter_edit()->setText("*.fx?");
    page->source_button()->click();
    ASSERT_EQ(prompter.file_filters, (std::vector<std::string>{"*.fx?"}));
    EXPECT_EQ(page->source_edit()->text().toStdString(),
              "\"" + folder + "\" \"first fax.fxs\" \"notes.txt\" \"b.fxm\"");
    page->destination_edit()->setText(QString::fromStdString(dir.file("out")));

    ASSERT_TRUE(run_pass(page));
    EXPECT_EQ(column(page, 2),
              (std::vector<std::string>{"Converted!", "Not WinFax File!", "Converted!"}));
    EXPECT_EQ(column(page, 1), (std::vector<std::string>{dir.file("out/first fax.fxs.pdf"), "",
                                                         dir.file("out/b.fxm.pdf")}));
    EXPECT_EQ(page->status_label()->text(), "Done. 2 FAX files converted");

    // The selection, names with spaces and all, is the same after a restart.
    window->accept();
    window = make_window();
    page = window->convert_page();
    ASSERT_TRUE(run_pass(page));
    EXPECT_EQ(column(page, 2),
              (std::vector<std::string>{"Converted!", "Not WinFax File!", "Converted!"}));

    // A single chosen file shows as its full path and converts alone.
    prompter.file_answers.push_back(FileSelection{folder, {"first fax.fxs"}});
    page->source_button()->click();
    const std::string single = "\"" + folder + "/first fax.fxs\"";
    EXPECT_EQ(page->source_edit()->text().toStdString(), single);
    ASSERT_TRUE(run_pass(page));
    EXPECT_EQ(column(page, 2), (std::vector<std::string>{"Converted!"}));

    // Cancelling the dialog changes nothing.
    page->source_button()->click();
    EXPECT_EQ(page->source_edit()->text().toStdString(), single);

    // Typed without quotes, a path with spaces that names a file is that file.
    page->source_edit()->setText(QString::fromStdString(folder + "/b.fxm"));
    ASSERT_TRUE(run_pass(page));
    EXPECT_EQ(column(page, 1), (std::vector<std::string>{dir.file("out/b.fxm.pdf")}));
}

// A file manager's "Open with" starts the program with the files; the window converts them.
TEST_F(MainWindowTest, FilesFromTheDesktopAreConvertedIntoTheSaveFolder) {
    const std::string folder = dir.file("Feb In");
    ASSERT_TRUE(app::create_folder_path(folder));
    ASSERT_TRUE(guitest::write_sample_fax(folder + "/a b.fxs", 3));
    ASSERT_TRUE(guitest::write_sample_fax(folder + "/c.fxd", 4));
    const std::vector<std::string> given = {folder + "/a b.fxs", folder + "/c.fxd"};
    {
        // No save folder yet: the window asks for one and converts nothing.
        auto window = make_window();
        window->convert_given_files(given);
        ASSERT_EQ(prompter.messages.size(), 1u);
        EXPECT_EQ(prompter.messages[0].text, kNoDestinationWarning);
        EXPECT_FALSE(window->convert_page()->running());
        window->accept();
    }
    auto window = make_window();
    ConvertPage* page = window->convert_page();
    page->source_edit()->setText(QString::fromStdString(dir.file("watched")));
    page->destination_edit()->setText(QString::fromStdString(dir.file("out")));
    window->options_page()->cycle_box()->click();  // a folder converted automatically
    guitest::SignalLog<int> finished(page, &ConvertPage::pass_finished);
    window->convert_given_files(given);
    ASSERT_TRUE(guitest::process_events_until([&] { return finished.count() > 0; }));
    EXPECT_EQ(column(page, 0), (std::vector<std::string>{folder + "/a b.fxs", folder + "/c.fxd"}));
    EXPECT_EQ(column(page, 2), (std::vector<std::string>{"Converted!", "Converted!"}));
    // The user's own choices stay: the folder, the mode, the automatic conversion.
    EXPECT_EQ(page->source_edit()->text().toStdString(), dir.file("watched"));
    EXPECT_TRUE(window->options_page()->directory_button()->isChecked());
    EXPECT_TRUE(page->cycle_active());
    EXPECT_TRUE(std::filesystem::exists(dir.file("out/a b.fxs.pdf")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("out/c.fxd.pdf")));
}

TEST_F(MainWindowTest, FolderPickersFillTheEdits) {
    auto window = make_window();
    ConvertPage* page = window->convert_page();
    prompter.folder_answers = {std::string("/chosen/in"), std::string("/chosen/out"), std::nullopt};
    page->source_button()->click();
    page->destination_button()->click();
    page->destination_button()->click();
    EXPECT_EQ(page->source_edit()->text(), "/chosen/in");
    EXPECT_EQ(page->destination_edit()->text(), "/chosen/out");
}

TEST_F(MainWindowTest, ModeButtonsClearAndDisableTheFolderChoices) {
    auto window = make_window();
    OptionsPage* options = window->options_page();
    ConvertPage* page = window->convert_page();
    window->tabs()->setCurrentIndex(1);
    options->subdir_box()->click();
    options->hierarchy_box()->click();
    options->cycle_box()->click();
    ASSERT_TRUE(page->cycle_active());

    options->files_button()->click();
    for (QCheckBox* box : {options->subdir_box(), options->hierarchy_box(), options->cycle_box()}) {
        EXPECT_FALSE(box->isChecked()) << box->text().toStdString();
        EXPECT_FALSE(box->isEnabled()) << box->text().toStdString();
    }
    EXPECT_FALSE(page->cycle_active());
    EXPECT_TRUE(options->minutes_field()->isEnabled());
    EXPECT_TRUE(options->keep_ext_box()->isEnabled());

    options->directory_button()->click();
    for (QCheckBox* box : {options->subdir_box(), options->hierarchy_box(), options->cycle_box()}) {
        EXPECT_FALSE(box->isChecked()) << box->text().toStdString();
        EXPECT_TRUE(box->isEnabled()) << box->text().toStdString();
    }

    // The Convert page takes the options when its tab is selected.
    options->keep_date_box()->click();
    EXPECT_EQ(page->window_options().keep_date, 0);
    window->tabs()->setCurrentIndex(0);
    EXPECT_EQ(page->window_options().keep_date, 1);
    EXPECT_EQ(page->window_options().convert_mode, kConvertDirectory);
}

TEST_F(MainWindowTest, MinutesFieldIsLockedWhileAutomaticConversionIsOn) {
    auto window = make_window();
    OptionsPage* options = window->options_page();
    ConvertPage* page = window->convert_page();
    options->minutes_field()->setValue(5);
    options->cycle_box()->click();
    EXPECT_FALSE(options->minutes_field()->isEnabled());
    EXPECT_TRUE(page->cycle_active());
    EXPECT_EQ(page->cycle_interval_ms(), 5 * 60000);

    options->cycle_box()->click();
    EXPECT_TRUE(options->minutes_field()->isEnabled());
    EXPECT_FALSE(page->cycle_active());
}

TEST_F(MainWindowTest, SelectingTheConvertTabWritesBackTheFaxSettingsAndRecalculation) {
    auto window = make_window();
    FaxSettingsPage* fax = window->fax_settings_page();
    fax->bit_order_box()->setCurrentIndex(2);
    fax->resolution_box()->setCurrentIndex(3);
    fax->threshold_field()->setValue(77);
    fax->min_width_field()->setValue(640);
    window->options_page()->recalculate_box()->click();
    EXPECT_EQ(app::global_settings().bit_order, 0);  // nothing changes before the tab is selected

    window->tabs()->setCurrentIndex(1);
    window->tabs()->setCurrentIndex(0);
    const faxread::ConversionSettings& settings = app::global_settings();
    EXPECT_EQ(settings.bit_order, 2);
    EXPECT_EQ(settings.vertical_resolution, 300);
    EXPECT_EQ(settings.threshold, 77);
    EXPECT_EQ(settings.min_width, 640);
    EXPECT_EQ(settings.recalculate_lines, 1);
}

TEST_F(MainWindowTest, HiddenPageKeepsValuesItHasNoNameFor) {
    app::global_settings().vertical_resolution = 150;
    auto window = make_window();
    window->tabs()->setCurrentIndex(1);
    window->tabs()->setCurrentIndex(0);
    EXPECT_EQ(app::global_settings().vertical_resolution, 150);
}

TEST_F(MainWindowTest, HelpOpensThePageOrSaysWhereItIs) {
    {
        auto window = make_window();
        window->help_button()->click();
        EXPECT_TRUE(prompter.opened_urls.empty());
        ASSERT_EQ(prompter.messages.size(), 1u);
        EXPECT_EQ(prompter.messages[0].caption, "Help");
        EXPECT_EQ(prompter.messages[0].text, kNoHelpPageText);
    }
    help_page = dir.file("trelvane-help.html");
    ASSERT_TRUE(testsupport::write_file(help_page, "<html></html>"));
    auto window = make_window();
    window->help_button()->click();
    ASSERT_EQ(prompter.opened_urls.size(), 1u);
    EXPECT_EQ(prompter.opened_urls[0], "file://" + help_page);
    EXPECT_EQ(prompter.messages.size(), 1u);

    // No browser: a message names the page, so the user can open it another way.
    prompter.fail_urls = true;
    window->help_button()->click();
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[1].caption, "Help");
    EXPECT_EQ(prompter.messages[1].text, kNoBrowserText + help_page);
}

TEST_F(MainWindowTest, MinimisingWithoutATrayKeepsTheWindowReachable) {
    auto window = make_window();
    window->show();
    window->showMinimized();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->tray()->added());
    EXPECT_FALSE(window->isHidden());
    window->restore_window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
}

TEST_F(MainWindowTest, ClosingDuringAPassLetsTheFilesBeingConvertedFinish) {
    ConversionGate gate;
    convert = gate.convert();
    auto window = make_window();
    auto release = gate.release_at_exit();
    set_jobs(window.get(), 2);
    ConvertPage* page = window->convert_page();
    page->source_edit()->setText(QString::fromStdString(make_source(6)));
    page->destination_edit()->setText(QString::fromStdString(dir.file("out")));
    page->go_button()->click();
    ASSERT_TRUE(guitest::process_events_until([&] { return gate.started().size() == 2; }));
    QTimer::singleShot(100, page, [&] { gate.release_all(); });  // within the wait
    window->reject();
    EXPECT_FALSE(page->running());
    EXPECT_EQ(window->exit_code(), kExitThroughCancel);
    const std::vector<std::string> pdfs = column(page, 1);
    window.reset();
    // The two files being converted were finished, nothing started after them.
    EXPECT_EQ(gate.started().size(), 2u);
    ASSERT_EQ(pdfs.size(), 2u);
    for (const std::string& pdf : pdfs) {
        EXPECT_EQ(testsupport::qpdf_check(pdf).exit_code, 0) << pdf;
    }
    const std::vector<std::string> lines = logged_lines();
    ASSERT_EQ(lines.size(), 6u);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].ends_with(i < 2 ? std::string(" : Success !")
                                             : " : " + std::string(app::kClosedText)))
            << lines[i];
    }
    EXPECT_NE(testsupport::read_file(dir.file("log/tvnlog.txt"))
                  .find("Window closed: 4 of 6 files not converted\r\n"),
              std::string::npos);
}

// The window names PDFs as the command line does, in every combination of "Keep Hiberarchy" and
// "Include Source File Extention": the same folder converted by both gives the same names,
// collisions included (a.fxs beside a.fxm, the same name in a subfolder).
TEST_F(MainWindowTest, NamesFollowTheCommandLineInEveryOptionCombination) {
    const std::string source = dir.file("in");
    ASSERT_TRUE(app::create_folder_path(source + "/sub"));
    ASSERT_TRUE(guitest::write_sample_fax(source + "/a.fxs", 1));
    ASSERT_TRUE(guitest::write_sample_fax(source + "/a.fxm", 2));
    ASSERT_TRUE(guitest::write_sample_fax(source + "/sub/a.fxs", 3));
    ASSERT_TRUE(guitest::write_sample_fax(source + "/sub/b.fxd", 4));
    auto window = make_window();
    ConvertPage* page = window->convert_page();
    OptionsPage* options = window->options_page();
    options->subdir_box()->setChecked(true);
    page->source_edit()->setText(QString::fromStdString(source));

    for (const bool hierarchy : {false, true}) {
        for (const bool keep_ext : {false, true}) {
            const std::string tag =
                std::string(hierarchy ? "kh" : "flat") + (keep_ext ? "-ke" : "-noext");
            SCOPED_TRACE(tag);
            // The command line's names, from its log: source --> destination : outcome.
            const std::string cli_out = dir.file("cli-" + tag);
            const std::string cli_log = dir.file("cli-" + tag + ".txt");
            std::vector<std::string> args{TRELVANE_EXE, "/d=" + source, "/sd=" + cli_out,
                                          "/i",         "/q",           "/log=" + cli_log};
            if (hierarchy) {
                args.push_back("/kh");
            }
            if (keep_ext) {
                args.push_back("/ke");
            }
            ASSERT_EQ(testsupport::run_tool(args).exit_code, 0);
            std::map<std::string, std::string> cli_names;
            std::istringstream log(testsupport::read_file(cli_log));
            for (std::string line; std::getline(log, line);) {
                const size_t arrow = line.find(" --> ");
                const size_t colon = line.find(" : ", arrow);
                if (arrow != std::string::npos && colon != std::string::npos) {
                    cli_names[line.substr(0, arrow)] =
                        line.substr(arrow + 5, colon - arrow - 5).substr(cli_out.size());
                }
            }
            ASSERT_EQ(cli_names.size(), 4u);

            window->tabs()->setCurrentIndex(1);
            options->hierarchy_box()->setChecked(hierarchy);
            options->keep_ext_box()->setChecked(keep_ext);
            window->tabs()->setCurrentIndex(0);
            const std::string out = dir.file("gui-" + tag);
            page->destination_edit()->setText(QString::fromStdString(out));
            ASSERT_TRUE(run_pass(page));
            EXPECT_EQ(page->status_label()->text(), "Done. 4 FAX files converted");

            std::map<std::string, std::string> window_names;
            std::set<std::string> distinct;
            const std::vector<std::string> sources = column(page, 0);
            const std::vector<std::string> pdfs = column(page, 1);
            for (size_t row = 0; row < sources.size(); ++row) {
                ASSERT_TRUE(pdfs[row].starts_with(out)) << pdfs[row];
                EXPECT_TRUE(app::pdf_exists(pdfs[row])) << pdfs[row];
                window_names[sources[row]] = pdfs[row].substr(out.size());
                distinct.insert(pdfs[row]);
            }
            EXPECT_EQ(distinct.size(), 4u);  // no PDF replaced another
            EXPECT_EQ(window_names, cli_names);
        }
    }
}

TEST_F(MainWindowTest, ProgressBarIsEmptyWhenIdleAndCountsFilesDuringAPass) {
    // A range of 0..0 is Qt's busy animation: it must never show while nothing converts.
    auto is_empty = [](const QProgressBar* bar) {
        return bar->maximum() > bar->minimum() && bar->value() == bar->minimum();
    };
    auto window = make_window();
    ConvertPage* page = window->convert_page();
    QProgressBar* bar = page->progress_bar();
    EXPECT_TRUE(is_empty(bar));

    // A pass over a folder without faxes leaves it empty too.
    const std::string empty_folder = dir.file("empty");
    ASSERT_TRUE(app::create_folder_path(empty_folder));
    page->source_edit()->setText(QString::fromStdString(empty_folder));
    page->destination_edit()->setText(QString::fromStdString(dir.file("out")));
    ASSERT_TRUE(run_pass(page));
    EXPECT_EQ(page->status_label()->text(), "Done. 0 FAX files converted");
    EXPECT_TRUE(is_empty(bar));

    // During a pass: files done out of files collected, whichever finish first.
    ConversionGate gate;
    convert = gate.convert();
    auto busy_window = make_window();
    auto release = gate.release_at_exit();
    set_jobs(busy_window.get(), 3);
    page = busy_window->convert_page();
    bar = page->progress_bar();
    page->source_edit()->setText(QString::fromStdString(make_source(4)));
    page->destination_edit()->setText(QString::fromStdString(dir.file("out")));
    guitest::SignalLog<int> finished(page, &ConvertPage::pass_finished);
    page->go_button()->click();
    ASSERT_TRUE(guitest::process_events_until([&] { return gate.started().size() == 3; }));
    EXPECT_EQ(bar->value(), 0);
    gate.release(gate.started()[2]);
    gate.release(gate.started()[1]);
    ASSERT_TRUE(guitest::process_events_until([&] { return bar->value() == 2; }));
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 4);
    gate.release_all();
    ASSERT_TRUE(guitest::process_events_until([&] { return finished.count() > 0; }));
    EXPECT_EQ(bar->value(), 4);
    EXPECT_EQ(bar->maximum(), 4);
}

TEST_F(MainWindowTest, GoOnAMissingSourceFolderWarnsAndCreatesNothing) {
    auto window = make_window();
    ConvertPage* page = window->convert_page();
    const std::string missing = dir.file("no such folder");
    const std::string out = dir.file("out");
    page->source_edit()->setText(QString::fromStdString(missing));
    page->destination_edit()->setText(QString::fromStdString(out));
    page->go_button()->click();
    EXPECT_FALSE(page->running());
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].kind, MessageKind::Warning);
    EXPECT_EQ(prompter.messages[0].caption, "Warning");
    EXPECT_EQ(prompter.messages[0].text,
              std::string(kMissingSourceWarning) + missing + kMissingSourceAdvice);
    EXPECT_FALSE(platform::folder_exists(out));
    EXPECT_FALSE(platform::file_exists(dir.file("log/tvnlog.txt")));
    EXPECT_EQ(page->status_label()->text(), kFirstStatusText);

    // An automatic pass says nothing and creates nothing either; it tries again next time.
    page->cycle_tick();
    EXPECT_FALSE(page->running());
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_FALSE(platform::folder_exists(out));
}

TEST_F(MainWindowTest, SettingsAreWrittenAsTheyChangeNotOnlyOnClose) {
    auto window = make_window();
    const std::string settings = dir.file("trelvane.ini");
    window->convert_page()->source_edit()->setText("/fax/typed");
    window->tabs()->setCurrentIndex(1);
    window->options_page()->keep_date_box()->click();
    window->options_page()->minutes_field()->setValue(15);
    // Neither closed nor switched back: only the pause after the changes writes them.
    ASSERT_TRUE(guitest::process_events_until(
        [&] {
            const app::SavedOptions saved = app::read_saved_options(settings, 0);
            return app::read_saved_folders(settings).fax_dir == "/fax/typed" &&
                   saved.keep_date == 1 && saved.cycle_minutes == 15;
        },
        std::chrono::seconds(10)));
    // The options the Convert page works with still change only when its tab is selected.
    EXPECT_EQ(window->convert_page()->window_options().keep_date, 0);
}

// An installed program's settings live in a folder that does not exist before the first save.
TEST_F(MainWindowTest, SettingsFolderIsMadeAtTheFirstSaveAndTheSettingsSurviveARestart) {
    settings_file = dir.file("config/trelvane/trelvane.ini");
    {
        auto window = make_window();
        window->convert_page()->source_edit()->setText("/fax/Feb In");
        window->options_page()->keep_date_box()->click();
        window->accept();
        EXPECT_EQ(window->convert_page()->status_label()->text(), kFirstStatusText);
    }
    struct stat folder {};
    ASSERT_EQ(stat(dir.file("config/trelvane").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    auto window = make_window();
    EXPECT_EQ(window->convert_page()->source_edit()->text(), "/fax/Feb In");
    EXPECT_TRUE(window->options_page()->keep_date_box()->isChecked());
}

TEST_F(MainWindowTest, ASettingsFileThatCannotBeWrittenIsReportedOnceWithItsReason) {
    ASSERT_TRUE(testsupport::write_file(dir.file("config"), "a file where a folder should be"));
    settings_file = dir.file("config/trelvane/trelvane.ini");
    const std::string expected =
        "Settings not saved to " + settings_file +
        " (Not a directory): folders and options will not be kept for the next start";
    testing::internal::CaptureStderr();
    {
        auto window = make_window();
        QLabel* status = window->convert_page()->status_label();
        window->convert_page()->source_edit()->setText("/fax/in");
        window->options_page()->keep_date_box()->click();
        EXPECT_TRUE(guitest::process_events_until(
            [&] { return status->text().toStdString() == expected; }, std::chrono::seconds(10)));
        window->options_page()->hierarchy_box()->click();
        window->reject();  // saves both pages again
    }
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(errors, "trelvane: " + expected + "\n");
    EXPECT_TRUE(prompter.messages.empty());
}

// At archive scale a failure must be found without scrolling: a filter, sorting by any column,
// and a row's PDF opened from the list.
TEST_F(MainWindowTest, TheListFiltersFailuresSortsAndOpensARowsPdf) {
    auto window = make_window();
    ConvertPage* page = window->convert_page();
    const std::string source = make_source(2);
    ASSERT_TRUE(testsupport::write_file(source + "/damaged.fxs", "not a fax"));
    page->source_edit()->setText(QString::fromStdString(source));
    page->destination_edit()->setText(QString::fromStdString(dir.file("out")));
    ASSERT_TRUE(run_pass(page));
    ResultListView* view = page->result_view();
    const QAbstractItemModel* shown = view->model();
    const auto shown_text = [&](int row, int column) {
        return shown->data(shown->index(row, column)).toString().toStdString();
    };
    ASSERT_EQ(shown->rowCount(), 3);
    EXPECT_EQ(shown_text(0, 2), "Failed : Not Fax");  // the pass's order: damaged.fxs first

    page->failures_only_box()->click();
    ASSERT_EQ(shown->rowCount(), 1);
    EXPECT_EQ(shown_text(0, 0), source + "/damaged.fxs");
    page->failures_only_box()->click();
    EXPECT_EQ(shown->rowCount(), 3);

    view->sortByColumn(ResultListModel::kSourceColumn, Qt::DescendingOrder);
    EXPECT_EQ(shown_text(0, 0), source + "/fax1.fxs");
    EXPECT_EQ(shown_text(2, 0), source + "/damaged.fxs");

    // Enter or a double click: the row's PDF in the desktop's viewer; a failed row has none.
    emit view->activated(shown->index(0, 1));
    ASSERT_EQ(prompter.opened_urls.size(), 1u);
    EXPECT_EQ(prompter.opened_urls[0], "file://" + dir.file("out/fax1.fxs.pdf"));
    emit view->activated(shown->index(2, 2));
    EXPECT_EQ(prompter.opened_urls.size(), 1u);
    prompter.fail_urls = true;
    emit view->activated(shown->index(1, 0));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, kNoViewerText + dir.file("out/fax0.fxs.pdf"));
    // The model keeps the pass's order underneath.
    EXPECT_EQ(column(page, 0)[0], source + "/damaged.fxs");
}

TEST_F(MainWindowTest, ColumnsShowTheirWholeTextsAndElideWhenNarrow) {
    auto window = make_window();
    window->show();
    ConvertPage* page = window->convert_page();
    const std::string source = make_source(2);
    ASSERT_TRUE(testsupport::write_file(source + "/damaged.fxs", "not a fax"));
    page->source_edit()->setText(QString::fromStdString(source));
    page->destination_edit()->setText(
        QString::fromStdString(dir.file("a rather long folder "
                                        "name for the PDFs")));
    ASSERT_TRUE(run_pass(page));
    QCoreApplication::processEvents();

    const ResultListModel* model = page->result_model();
    const ResultListView* view = page->result_view();
    EXPECT_EQ(view->textElideMode(), Qt::ElideMiddle);
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int column = 0; column < 3; ++column) {
            const QModelIndex index = model->index(row, column);
            EXPECT_EQ(model->data(index, Qt::ToolTipRole).toString(),
                      model->data(index).toString());
        }
    }
    auto widths_fill_the_list = [&] {
        return view->columnWidth(0) + view->columnWidth(1) + view->columnWidth(2) ==
               view->viewport()->width();
    };
    auto whole_texts_fit = [&] {
        for (int column = 0; column < 3; ++column) {
            if (view->columnWidth(column) < view->wanted_width(column)) {
                return false;
            }
        }
        return true;
    };
    // Wide: every text whole, the list filled.
    window->resize(1800, 500);
    ASSERT_TRUE(guitest::process_events_until(whole_texts_fit, std::chrono::seconds(5)));
    EXPECT_TRUE(widths_fill_the_list());

    // Narrow: the paths give way, the results stay whole, nothing runs off to the right.
    window->resize(window->minimumSizeHint().width(), 500);
    ASSERT_TRUE(
        guitest::process_events_until([&] { return !whole_texts_fit(); }, std::chrono::seconds(5)));
    EXPECT_GE(view->columnWidth(2), view->wanted_width(2));
    EXPECT_TRUE(widths_fill_the_list());
    EXPECT_LT(view->columnWidth(0), view->wanted_width(0));

    // A column the user drags keeps its width.
    const_cast<ResultListView*>(view)->header()->resizeSection(0, 77);
    window->resize(1200, 500);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->columnWidth(0), 77);
    EXPECT_FALSE(view->fitting_columns());
}

// Gives a file a modification (and access) time, to the nanosecond.
bool set_modified(const std::string& path, app::SettleClock::time_point when) {
    const auto since_epoch =
        std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
    timespec times[2];
    times[0].tv_sec = static_cast<time_t>(since_epoch / 1000000000);
    times[0].tv_nsec = static_cast<long>(since_epoch % 1000000000);
    times[1] = times[0];
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

// Several files converting at once finish in any order; each row ends up with its own PDF and
// result, and the record keeps the list's order.
TEST_F(MainWindowTest, RowsFilledOutOfOrderEndUpRight) {
    const std::vector<std::vector<int>> release_orders = {{3, 2, 1, 0}, {1, 3, 0, 2}, {0, 1, 2, 3}};
    for (const std::vector<int>& order : release_orders) {
        SCOPED_TRACE("release order " + std::to_string(order[0]) + std::to_string(order[1]) +
                     std::to_string(order[2]) + std::to_string(order[3]));
        TempDir case_dir;
        const std::string source = case_dir.file("in");
        const std::string out = case_dir.file("out");
        ASSERT_TRUE(app::create_folder_path(source));
        ASSERT_TRUE(guitest::write_sample_fax(source + "/a.fxs", 31));
        ASSERT_TRUE(guitest::write_sample_fax(source + "/a.fxm", 32));  // the same PDF name
        ASSERT_TRUE(guitest::write_sample_fax(source + "/b.fxs", 33));
        ASSERT_TRUE(testsupport::write_file(source + "/broken.fxs", "no fax in here"));

        ConversionGate gate;
        convert = gate.convert();
        auto window = make_window();
        auto release = gate.release_at_exit();
        set_jobs(window.get(), 4);
        window->tabs()->setCurrentIndex(1);
        window->options_page()->keep_ext_box()->setChecked(false);
        window->tabs()->setCurrentIndex(0);
        ConvertPage* page = window->convert_page();
        page->source_edit()->setText(QString::fromStdString(source));
        page->destination_edit()->setText(QString::fromStdString(out));
        guitest::SignalLog<int> finished(page, &ConvertPage::pass_finished);
        page->go_button()->click();
        ASSERT_TRUE(guitest::process_events_until([&] { return gate.started().size() == 4; }));
        ASSERT_TRUE(
            guitest::process_events_until([&] { return page->result_model()->rowCount() == 4; }));

        // What each row must end with, from its source alone: the first of the two a's in the
        // list gets a.pdf, the second a (2).pdf.
        const std::vector<std::string> sources = column(page, 0);
        std::vector<std::string> pdfs;
        std::vector<std::string> results;
        bool first_a = true;
        for (const std::string& s : sources) {
            const std::string name = std::filesystem::path(s).filename().string();
            if (name == "broken.fxs") {
                pdfs.push_back("");
                results.push_back("Failed : Not Fax");
                continue;
            }
            if (name == "b.fxs") {
                pdfs.push_back(out + "/b.pdf");
            } else {
                pdfs.push_back(out + (first_a ? "/a.pdf" : "/a (2).pdf"));
                first_a = false;
            }
            results.push_back("Converted!");
        }

        std::set<int> done;
        for (const int row : order) {
            gate.release(sources[row]);
            ASSERT_TRUE(guitest::process_events_until(
                [&] { return !page->result_model()->text(row, 2).empty(); }));
            done.insert(row);
            for (int other = 0; other < 4; ++other) {
                const std::string shown = page->result_model()->text(other, 2);
                EXPECT_EQ(shown, done.contains(other) ? results[other] : "") << other;
            }
        }
        ASSERT_TRUE(guitest::process_events_until([&] { return finished.count() > 0; }));
        EXPECT_EQ(column(page, 0), sources);
        EXPECT_EQ(column(page, 1), pdfs);
        EXPECT_EQ(column(page, 2), results);
        EXPECT_EQ(page->status_label()->text(), "Done. 3 FAX files converted");
        for (const std::string& pdf : pdfs) {
            if (!pdf.empty()) {
                EXPECT_EQ(testsupport::qpdf_check(pdf).exit_code, 0) << pdf;
            }
        }
        const std::vector<std::string> lines = logged_lines();
        ASSERT_EQ(lines.size(), 4u);
        for (size_t i = 0; i < 4; ++i) {
            const std::string head =
                sources[i] + " --> " + (pdfs[i].empty() ? out + "/broken.pdf" : pdfs[i]) + " : ";
            EXPECT_TRUE(lines[i].starts_with(head)) << lines[i];
        }
        std::filesystem::remove(dir.file("log/tvnlog.txt"));
    }
}

// An automatic pass leaves a fax that changed less than 10 seconds ago for the next one, and
// replaces a PDF older than its fax; "now" is the test's clock and every time is set by the
// test. The next pass, 20 seconds on, takes what has settled since.
TEST_F(MainWindowTest, AutomaticPassesWaitForFaxesToSettleAndRedoOutdatedPdfs) {
    using std::chrono::milliseconds;
    using std::chrono::seconds;
    enum class Pdf { None, Older, SameTime, Newer };
    constexpr const char* kConverted = "Converted!";
    constexpr const char* kSkipped = "Already exist, skipped!";
    const std::string settling(app::kLeftForNextPassText);
    struct Case {
        const char* name;
        milliseconds fax_age;  // before "now" of the first pass
        Pdf pdf;
        std::string first;
        std::string second;
    };
    const std::vector<Case> cases = {
        {"new", seconds(60), Pdf::None, kConverted, kSkipped},
        {"older-pdf", seconds(60), Pdf::Older, kConverted, kSkipped},
        {"same-time-pdf", seconds(60), Pdf::SameTime, kSkipped, kSkipped},
        {"newer-pdf", seconds(60), Pdf::Newer, kSkipped, kSkipped},
        {"changing", seconds(3), Pdf::None, settling, kConverted},
        {"changing-older-pdf", seconds(3), Pdf::Older, settling, kConverted},
        {"changed-9.9s-ago", milliseconds(9900), Pdf::None, settling, kConverted},
        {"changed-10s-ago", seconds(10), Pdf::None, kConverted, kSkipped},
        {"dated-5s-ahead", seconds(-5), Pdf::None, settling, kConverted},
        // A clock far ahead says nothing about writing: converted, and then kept, since the PDF
        // records the fax as it is (its time ahead included).
        {"dated-1h-ahead", seconds(-3600), Pdf::None, kConverted, kSkipped},
    };
    const auto now = std::chrono::time_point_cast<seconds>(app::SettleClock::now());
    const std::string source = dir.file("in");
    const std::string out = dir.file("out");
    ASSERT_TRUE(app::create_folder_path(source));
    ASSERT_TRUE(app::create_folder_path(out));
    std::map<std::string, const Case*> by_source;
    for (const Case& c : cases) {
        const std::string fax = source + "/" + c.name + ".fxs";
        const std::string pdf = out + "/" + c.name + ".fxs.pdf";
        ASSERT_TRUE(guitest::write_sample_fax(fax, 40 + static_cast<uint32_t>(by_source.size())));
        const auto fax_time = now - c.fax_age;
        ASSERT_TRUE(set_modified(fax, fax_time));
        if (c.pdf != Pdf::None) {
            ASSERT_TRUE(testsupport::write_file(pdf, "%PDF-old"));
            const auto pdf_time = c.pdf == Pdf::Older   ? fax_time - seconds(30)
                                  : c.pdf == Pdf::Newer ? fax_time + seconds(30)
                                                        : fax_time;
            ASSERT_TRUE(set_modified(pdf, pdf_time));
        }
        by_source[fax] = &c;
    }

    auto window = make_window();
    ConvertPage* page = window->convert_page();
    page->source_edit()->setText(QString::fromStdString(source));
    page->destination_edit()->setText(QString::fromStdString(out));
    for (const bool second : {false, true}) {
        SCOPED_TRACE(second ? "second pass" : "first pass");
        test_now = second ? now + seconds(20) : now;
        ASSERT_TRUE(run_pass(page, true));
        const std::vector<std::string> sources = column(page, 0);
        ASSERT_EQ(sources.size(), cases.size());
        int converted = 0;
        const std::vector<std::string> lines = logged_lines();
        ASSERT_EQ(lines.size(), cases.size());
        for (size_t row = 0; row < sources.size(); ++row) {
            const Case& c = *by_source.at(sources[row]);
            SCOPED_TRACE(c.name);
            const std::string pdf = out + "/" + c.name + ".fxs.pdf";
            const std::string& expected = second ? c.second : c.first;
            EXPECT_EQ(page->result_model()->text(static_cast<int>(row), 2), expected);
            EXPECT_EQ(page->result_model()->text(static_cast<int>(row), 1),
                      expected == kConverted ? pdf : "");
            if (expected == kConverted) {
                ++converted;
                EXPECT_EQ(testsupport::qpdf_check(pdf).exit_code, 0);
            } else if (c.pdf != Pdf::None && !second) {
                EXPECT_EQ(testsupport::read_file(pdf), "%PDF-old");  // left as it was
            } else if (expected == settling) {
                EXPECT_FALSE(platform::file_exists(pdf));
            }
            EXPECT_TRUE(lines[row].starts_with(sources[row] + " --> " + pdf + " : ")) << lines[row];
            if (expected == settling) {
                EXPECT_TRUE(lines[row].ends_with(" : " + settling)) << lines[row];
            }
        }
        EXPECT_EQ(page->status_label()->text().toStdString(),
                  "Done. " + std::to_string(converted) + " FAX files converted");
        EXPECT_EQ(page->progress_bar()->value(), static_cast<int>(cases.size()));
        std::filesystem::remove(dir.file("log/tvnlog.txt"));
    }

    // "&Go" is the user asking now: it waits for nothing.
    test_now = now;
    ASSERT_TRUE(run_pass(page));
    EXPECT_EQ(column(page, 2), std::vector<std::string>(cases.size(), kConverted));
}

// "Parallel conversions" is kept in the settings file as "ParallelJobs"; a missing or bad value
// reads as the default (one per processor).
TEST_F(MainWindowTest, ParallelConversionsRoundTripThroughTheSettingsFile) {
    const int fallback = app::default_parallel_jobs();
    const std::string settings = dir.file("trelvane.ini");
    struct Case {
        std::optional<std::string> stored;  // nothing: no such key
        int shown;
    };
    const std::vector<Case> cases = {
        {std::nullopt, fallback},
        {"3", 3},
        {" 7 ", 7},
        {"1", 1},
        {"64", 64},
        {"0", fallback},
        {"65", fallback},
        {"-2", fallback},
        {"abc", fallback},
        {"4x", fallback},
        {"", fallback},
        {"99999", fallback},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored ? "stored '" + *c.stored + "'" : "no key");
        std::string text = "[Options]\nCycleMinutes=60\n";
        if (c.stored) {
            text += "ParallelJobs=" + *c.stored + "\n";
        }
        ASSERT_TRUE(testsupport::write_file(settings, text));
        {
            auto window = make_window();
            QSpinBox* field = window->options_page()->jobs_field();
            EXPECT_EQ(field->value(), c.shown);
            EXPECT_EQ(field->minimum(), 1);
            EXPECT_EQ(field->maximum(), app::kMaxParallelJobs);
            EXPECT_EQ(window->convert_page()->window_options().parallel_jobs, c.shown);

            // Changed, it is written a moment later, without closing the window.
            const int chosen = c.shown == 5 ? 6 : 5;
            window->tabs()->setCurrentIndex(1);
            field->setValue(chosen);
            ASSERT_TRUE(guitest::process_events_until(
                [&] {
                    return testsupport::read_file(settings).find(
                               "ParallelJobs=" + std::to_string(chosen) + "\n") !=
                           std::string::npos;
                },
                std::chrono::seconds(10)));
        }
        auto window = make_window();
        EXPECT_EQ(window->options_page()->jobs_field()->value(), c.shown == 5 ? 6 : 5);
    }
}

// Searchable PDFs: the check box and the language field show what the settings file holds
// (anything but 1 is off, a language text that is no list of names is English) and are written
// back as they change.
TEST_F(MainWindowTest, SearchablePdfChoicesRoundTripThroughTheSettingsFile) {
    if (!app::recognition_available())
        GTEST_SKIP() << "built without text recognition: the check box stays off and disabled";
    const std::string settings = dir.file("trelvane.ini");
    struct Case {
        std::string stored;  // the lines after [Options]
        bool checked;
        std::string languages;
    };
    const std::vector<Case> cases = {
        {"", false, "eng"},
        {"Ocr=1\nOcrLanguages=deu+eng\n", true, "deu+eng"},
        {"Ocr=2\nOcrLanguages=chi_sim\n", false, "chi_sim"},
        {"Ocr=1\nOcrLanguages=deu+\n", true, "eng"},
        {"Ocr=1\nOcrLanguages=../etc\n", true, "eng"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("stored '" + c.stored + "'");
        ASSERT_TRUE(testsupport::write_file(settings, "[Options]\nCycleMinutes=60\n" + c.stored));
        {
            auto window = make_window();
            OptionsPage* page = window->options_page();
            EXPECT_EQ(page->ocr_box()->isChecked(), c.checked);
            EXPECT_EQ(page->languages_field()->text().toStdString(), c.languages);
            EXPECT_EQ(page->languages_field()->isEnabled(), c.checked);
            EXPECT_EQ(window->convert_page()->window_options().ocr, c.checked);

            window->tabs()->setCurrentIndex(1);
            page->ocr_box()->setChecked(!c.checked);
            page->languages_field()->setText("fra+eng");
            const std::string wanted =
                std::string("Ocr=") + (c.checked ? "0" : "1") + "\nOcrLanguages=fra+eng\n";
            ASSERT_TRUE(guitest::process_events_until(
                [&] { return testsupport::read_file(settings).find(wanted) != std::string::npos; },
                std::chrono::seconds(10)))
                << testsupport::read_file(settings);
        }
        auto window = make_window();
        EXPECT_EQ(window->options_page()->ocr_box()->isChecked(), !c.checked);
        EXPECT_EQ(window->options_page()->languages_field()->text().toStdString(), "fra+eng");
    }
}

// "Verify each PDF against its fax": read (only 1 is on), shown, handed to the passes, and
// written back as it changes.
TEST_F(MainWindowTest, VerifyChoiceRoundTripsThroughTheSettingsFile) {
    const std::string settings = dir.file("trelvane.ini");
    for (const auto& [stored, checked] : std::vector<std::pair<std::string, bool>>{
             {"", false}, {"Verify=1\n", true}, {"Verify=yes\n", false}}) {
        SCOPED_TRACE("stored '" + stored + "'");
        ASSERT_TRUE(testsupport::write_file(settings, "[Options]\nCycleMinutes=60\n" + stored));
        {
            auto window = make_window();
            EXPECT_EQ(window->options_page()->verify_box()->isChecked(), checked);
            EXPECT_EQ(window->convert_page()->window_options().verify, checked);
            window->tabs()->setCurrentIndex(1);
            window->options_page()->verify_box()->setChecked(!checked);
            const std::string wanted = std::string("Verify=") + (checked ? "0" : "1") + "\n";
            ASSERT_TRUE(guitest::process_events_until(
                [&] { return testsupport::read_file(settings).find(wanted) != std::string::npos; },
                std::chrono::seconds(10)))
                << testsupport::read_file(settings);
        }
        auto window = make_window();
        EXPECT_EQ(window->options_page()->verify_box()->isChecked(), !checked);
    }
}

// Archive PDFs: the check box and the level show what the settings file holds (anything but
// 1 is off, a level this program does not make is 2b), go into the pass's options, and are
// written back as they change.
TEST_F(MainWindowTest, ArchivePdfChoicesRoundTripThroughTheSettingsFile) {
    const std::string settings = dir.file("trelvane.ini");
    struct Case {
        std::string stored;  // the lines after [Options]
        bool checked;
        std::string level;
    };
    const std::vector<Case> cases = {
        {"", false, "2b"},
        {"Pdfa=1\nPdfaLevel=3b\n", true, "3b"},
        {"Pdfa=1\nPdfaLevel=4\n", true, "2b"},
        {"Pdfa=2\nPdfaLevel=1B\n", false, "1b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("stored '" + c.stored + "'");
        ASSERT_TRUE(testsupport::write_file(settings, "[Options]\nCycleMinutes=60\n" + c.stored));
        {
            auto window = make_window();
            OptionsPage* page = window->options_page();
            EXPECT_EQ(page->pdfa_box()->isChecked(), c.checked);
            EXPECT_EQ(page->pdfa_level_field()->currentText().toStdString(), "PDF/A-" + c.level);
            EXPECT_EQ(page->pdfa_level_field()->isEnabled(), c.checked);
            EXPECT_EQ(window->convert_page()->window_options().pdfa,
                      c.checked ? *pdfout::archive_level_from_name(c.level)
                                : pdfout::ArchiveLevel::kNone);

            window->tabs()->setCurrentIndex(1);
            page->pdfa_box()->setChecked(!c.checked);
            page->pdfa_level_field()->setCurrentIndex(0);
            const std::string wanted =
                std::string("Pdfa=") + (c.checked ? "0" : "1") + "\nPdfaLevel=1b\n";
            ASSERT_TRUE(guitest::process_events_until(
                [&] { return testsupport::read_file(settings).find(wanted) != std::string::npos; },
                std::chrono::seconds(10)))
                << testsupport::read_file(settings);
        }
        auto window = make_window();
        EXPECT_EQ(window->options_page()->pdfa_box()->isChecked(), !c.checked);
        EXPECT_EQ(window->options_page()->pdfa_level_field()->currentText().toStdString(),
                  "PDF/A-1b");
    }
}

// Closing while a conversion hangs (a stalled network share): the window gives it up after
// its wait, the record says which files were not converted, no PDF of them appears, and the
// process ends. Runs in a child of this test program, where the given-up conversions cannot
// disturb other tests.
TEST_F(MainWindowTest, ClosingGivesUpAHungConversionAndTheRecordSaysSo) {
    if (std::getenv("TRELVANE_HUNG_CHILD") != nullptr) {
        GTEST_SKIP() << "this is the child run";
    }
    testsupport::ChildOptions child;
    child.args = {"--gtest_filter=HungConversionChild.*"};
    child.env = {
        {"TRELVANE_HUNG_CHILD", dir.path()},
        {"QT_QPA_PLATFORM", "offscreen"},
        {"LSAN_OPTIONS", "suppressions=" TRELVANE_SOURCE_DIR "/tests/gui/lsan-system.supp"}};
    child.timeout_seconds = 120;
    const testsupport::ChildResult result = testsupport::run_child("/proc/self/exe", child);
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.timed_out) << result.out;
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("[       OK ] HungConversionChild.CloseWhileConversionsHang"),
              std::string::npos)
        << result.out;

    // The first file converted; the next two hung and were given up; the last two never
    // started.
    const std::vector<std::string> lines = logged_lines();
    ASSERT_EQ(lines.size(), 5u) << testsupport::read_file(dir.file("log/tvnlog.txt"));
    const std::vector<std::string> endings = {
        " : Success !", " : " + std::string(app::kAbandonedText),
        " : " + std::string(app::kAbandonedText), " : " + std::string(app::kClosedText),
        " : " + std::string(app::kClosedText)};
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].ends_with(endings[i])) << lines[i];
    }
    EXPECT_NE(testsupport::read_file(dir.file("log/tvnlog.txt"))
                  .find("Window closed: 4 of 5 files not converted\r\n"),
              std::string::npos);
    const size_t arrow = lines[0].find(" --> ") + 5;
    const std::string pdf = lines[0].substr(arrow, lines[0].find(" : ", arrow) - arrow);
    ASSERT_EQ(names_in(dir.file("out")),
              (std::vector<std::string>{std::filesystem::path(pdf).filename().string()}));
    EXPECT_EQ(testsupport::qpdf_check(pdf).exit_code, 0);
}

TEST(HungConversionChild, CloseWhileConversionsHang) {
    const char* parent_dir = std::getenv("TRELVANE_HUNG_CHILD");
    if (parent_dir == nullptr) {
        GTEST_SKIP() << "runs in a child of MainWindowTest.ClosingGivesUpAHungConversion...";
    }
    guitest::test_application();
    guitest::prepare_process_for_conversions();
    const std::string dir = parent_dir;
    const std::string source = dir + "/in";
    ASSERT_TRUE(app::create_folder_path(source));
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(
            guitest::write_sample_fax(source + "/fax" + std::to_string(i) + ".fxs", 60 + i));
    }
    // Only the first file of the list converts; every other one hangs, never released, until
    // the process ends.
    app::BatchJob walk;
    app::reset_batch_job(walk);
    WindowOptions folder_mode;
    ASSERT_EQ(collect_window_files(walk, folder_mode, source, std::nullopt), source);
    ASSERT_EQ(walk.files.size(), 5u);
    const std::string first = source + "/" + walk.files[0];
    auto never = std::make_shared<std::promise<void>>();
    std::shared_future<void> hung = never->get_future().share();
    auto started = std::make_shared<std::atomic<int>>(0);
    RecordingPrompter prompter;
    WindowEnvironment environment;
    environment.pages.prompter = &prompter;
    environment.pages.settings_path = dir + "/trelvane.ini";
    environment.pages.log_path = dir + "/log/tvnlog.txt";
    environment.pages.convert = [hung, started, never, first](
                                    app::BatchJob& job, const std::string& from,
                                    const std::string& to, app::ConversionWorkspace& workspace) {
        ++*started;
        if (from != first) {
            hung.wait();
        }
        return app::convert_one_fax(job, from, to, workspace);
    };
    environment.use_tray = false;
    auto window = std::make_unique<MainWindow>(environment);
    window->tabs()->setCurrentIndex(1);
    window->options_page()->jobs_field()->setValue(2);
    window->tabs()->setCurrentIndex(0);
    ConvertPage* page = window->convert_page();
    page->source_edit()->setText(QString::fromStdString(source));
    page->destination_edit()->setText(QString::fromStdString(dir + "/out"));
    page->go_button()->click();
    ASSERT_TRUE(guitest::process_events_until([&] { return started->load() == 3; }));
    ASSERT_TRUE(guitest::process_events_until([&] {
        // The first file's row may come after the third file started: its PDF was still
        // reaching the disk.
        return page->result_model()->rowCount() > 0 &&
               page->result_model()->text(0, 2) == "Converted!";
    }));

    const auto before = std::chrono::steady_clock::now();
    window->reject();
    const auto waited = std::chrono::steady_clock::now() - before;
    EXPECT_FALSE(page->running());
    EXPECT_GE(waited, std::chrono::milliseconds(kStopWaitMs));
    EXPECT_LT(waited, std::chrono::seconds(30));
    window.reset();
    EXPECT_EQ(started->load(), 3);
}

}  // namespace
}  // namespace trelvane::gui
