// The window on Qt's offscreen platform: start-up values, the option rules on the real
// controls, the warnings of "&Go", conversions through the worker, "&Cancel", closing.
#include "gui/main_window.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <future>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "app/pipeline.h"
#include "app/settings_file.h"
#include "gui/fax_settings_page.h"
#include "gui/options_page.h"
#include "gui/result_list_model.h"
#include "gui/result_list_view.h"
#include "gui/tray_icon.h"
#include "gui_test_support.h"
#include "platform/file_system.h"
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
        environment.pages.settings_path = dir.file("trelvane.ini");
        environment.pages.log_path = dir.file("log/tvnlog.txt");
        environment.pages.convert = convert;
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

    // A file that takes a while, so that the window can act during a pass.
    static void slow_file() { std::this_thread::sleep_for(std::chrono::milliseconds(150)); }

    TempDir dir;
    RecordingPrompter prompter;
    ConvertFunction convert;
    std::string help_page;
    guitest::GlobalSettingsGuard settings_guard;
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

TEST_F(MainWindowTest, CancelStopsAfterTheCurrentFile) {
    int calls = 0;
    ConvertPage* page_ptr = nullptr;
    convert = [&](app::BatchJob& job, const std::string& from, const std::string& to) {
        if (++calls >= 2) {
            slow_file();  // so that "&Cancel" comes while the pass is still running
        }
        return app::convert_fax_file(job, from, to);
    };
    auto window = make_window();
    ConvertPage* page = window->convert_page();
    page_ptr = page;
    page->source_edit()->setText(QString::fromStdString(make_source(8)));
    page->destination_edit()->setText(QString::fromStdString(dir.file("out")));

    // "&Cancel" as soon as the second file shows in the list.
    QObject::connect(page, &ConvertPage::file_started, page, [page_ptr](int row) {
        if (row == 1) {
            QTimer::singleShot(0, page_ptr, [page_ptr] { page_ptr->cancel_button()->click(); });
        }
    });
    guitest::SignalLog<int> finished(page, &ConvertPage::pass_finished);
    page->go_button()->click();
    EXPECT_TRUE(page->running());
    EXPECT_FALSE(page->go_button()->isEnabled());
    EXPECT_TRUE(page->cancel_button()->isEnabled());
    EXPECT_FALSE(page->source_edit()->isEnabled());
    EXPECT_TRUE(page->filter_edit()->isEnabled());
    ASSERT_TRUE(guitest::process_events_until([&] { return finished.count() > 0; }));

    const int converted = finished.values.at(0);
    EXPECT_GE(converted, 1);
    EXPECT_LT(converted, 8);
    EXPECT_EQ(calls, converted);
    EXPECT_EQ(page->result_model()->rowCount(), converted);
    EXPECT_EQ(page->status_label()->text().toStdString(),
              "Done. " + std::to_string(converted) + " FAX files converted");
    EXPECT_FALSE(page->running());
    EXPECT_TRUE(page->go_button()->isEnabled());
    EXPECT_FALSE(page->cancel_button()->isEnabled());
}

TEST_F(MainWindowTest, CancelThatOutlastsTheWaitKeepsTheControlsUntilTheWorkerEnds) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    convert = [released](app::BatchJob& job, const std::string& from, const std::string& to) {
        released.wait();  // a file that takes longer than the 2000 ms wait
        return app::convert_fax_file(job, from, to);
    };
    auto window = make_window();
    ConvertPage* page = window->convert_page();
    page->source_edit()->setText(QString::fromStdString(make_source(3)));
    page->destination_edit()->setText(QString::fromStdString(dir.file("out")));
    guitest::SignalLog<int> finished(page, &ConvertPage::pass_finished);
    page->go_button()->click();
    ASSERT_TRUE(
        guitest::process_events_until([&] { return page->result_model()->rowCount() == 1; }));

    page->cancel_button()->click();  // returns after the 2000 ms wait
    EXPECT_TRUE(page->running());
    EXPECT_FALSE(page->go_button()->isEnabled());
    EXPECT_FALSE(page->source_button()->isEnabled());

    // No second worker while this one is still busy.
    page->start_conversion();
    ASSERT_FALSE(prompter.messages.empty());
    EXPECT_EQ(prompter.messages.back().text, "Please wait while running conversion stops");

    release.set_value();
    ASSERT_TRUE(guitest::process_events_until([&] { return finished.count() > 0; }));
    EXPECT_EQ(finished.values.at(0), 1);  // the file it was converting, no more
    EXPECT_EQ(column(page, 2), (std::vector<std::string>{"Converted!"}));
    EXPECT_TRUE(page->go_button()->isEnabled());
    EXPECT_TRUE(page->source_button()->isEnabled());
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
    EXPECT_EQ(page->source_edit()->text().toStdString(), folder + " first fax.fxs notes.txt b.fxm");
    page->destination_edit()->setText(QString::fromStdString(dir.file("out")));

    ASSERT_TRUE(run_pass(page));
    EXPECT_EQ(column(page, 2),
              (std::vector<std::string>{"Converted!", "Not WinFax File!", "Converted!"}));
    EXPECT_EQ(column(page, 1), (std::vector<std::string>{dir.file("out/first fax.fxs.pdf"), "",
                                                         dir.file("out/b.fxm.pdf")}));
    EXPECT_EQ(page->status_label()->text(), "Done. 2 FAX files converted");

    // A single chosen file shows as its full path and converts alone.
    prompter.file_answers.push_back(FileSelection{folder, {"first fax.fxs"}});
    page->source_button()->click();
    EXPECT_EQ(page->source_edit()->text().toStdString(), folder + "/first fax.fxs");
    ASSERT_TRUE(run_pass(page));
    EXPECT_EQ(column(page, 2), (std::vector<std::string>{"Converted!"}));

    // Cancelling the dialog changes nothing.
    page->source_button()->click();
    EXPECT_EQ(page->source_edit()->text().toStdString(), folder + "/first fax.fxs");
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

TEST_F(MainWindowTest, ClosingDuringARunWaitsForTheCurrentFile) {
    std::atomic<int> calls{0};
    convert = [&](app::BatchJob& job, const std::string& from, const std::string& to) {
        if (++calls >= 2) {
            slow_file();
        }
        return app::convert_fax_file(job, from, to);
    };
    auto window = make_window();
    ConvertPage* page = window->convert_page();
    page->source_edit()->setText(QString::fromStdString(make_source(6)));
    page->destination_edit()->setText(QString::fromStdString(dir.file("out")));
    page->go_button()->click();
    ASSERT_TRUE(
        guitest::process_events_until([&] { return page->result_model()->rowCount() >= 2; }));
    window->reject();
    EXPECT_FALSE(page->running());
    EXPECT_EQ(window->exit_code(), kExitThroughCancel);
    // The second file was finished, nothing started after it, and its PDF is whole.
    EXPECT_EQ(calls.load(), 2);
    const std::vector<std::string> pdfs = column(page, 1);
    window.reset();
    EXPECT_EQ(calls.load(), 2);
    ASSERT_EQ(pdfs.size(), 2u);
    for (const std::string& pdf : pdfs) {
        EXPECT_EQ(testsupport::qpdf_check(pdf).exit_code, 0) << pdf;
    }
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

    // During a pass: files done out of files collected.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> calls{0};
    convert = [&](app::BatchJob& job, const std::string& from, const std::string& to) {
        if (++calls == 3) {
            released.wait();
        }
        return app::convert_fax_file(job, from, to);
    };
    auto busy_window = make_window();
    page = busy_window->convert_page();
    bar = page->progress_bar();
    page->source_edit()->setText(QString::fromStdString(make_source(4)));
    page->destination_edit()->setText(QString::fromStdString(dir.file("out")));
    guitest::SignalLog<int> finished(page, &ConvertPage::pass_finished);
    page->go_button()->click();
    ASSERT_TRUE(guitest::process_events_until([&] { return bar->value() == 2; }));
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 4);
    release.set_value();
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

}  // namespace
}  // namespace trelvane::gui
