// The window on Qt's offscreen platform: start-up values, the option rules on the real
// controls, the warnings of "&Go", conversions through the worker, "&Cancel", closing.
#include "gui/main_window.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <future>

#include "app/pipeline.h"
#include "app/settings_file.h"
#include "gui/fax_settings_page.h"
#include "gui/options_page.h"
#include "gui/tray_icon.h"
#include "gui_test_support.h"
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

    static std::vector<std::string> column(const QTreeWidget* list, int index) {
        std::vector<std::string> texts;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            texts.push_back(list->topLevelItem(i)->text(index).toStdString());
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
    EXPECT_EQ(page->result_list()->headerItem()->text(0), "Source Fax Files");
    EXPECT_EQ(page->result_list()->headerItem()->text(1), "Destination PDF Files");
    EXPECT_EQ(page->result_list()->headerItem()->text(2), "Results");
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
    EXPECT_EQ(page->result_list()->topLevelItemCount(), 0);
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
    EXPECT_EQ(column(page->result_list(), 2), (std::vector<std::string>(3, "Converted!")));
    for (const std::string& pdf : column(page->result_list(), 1)) {
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
    const std::string removed = column(page->result_list(), 1)[1];
    ASSERT_EQ(std::remove(removed.c_str()), 0);
    ASSERT_TRUE(run_pass(page, true));
    const std::vector<std::string> results = column(page->result_list(), 2);
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
        ++calls;
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
    EXPECT_EQ(page->result_list()->topLevelItemCount(), converted);
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
    ASSERT_TRUE(guitest::process_events_until(
        [&] { return page->result_list()->topLevelItemCount() == 1; }));

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
    EXPECT_EQ(column(page->result_list(), 2), (std::vector<std::string>{"Converted!"}));
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
    EXPECT_EQ(column(page->result_list(), 2),
              (std::vector<std::string>{"Converted!", "Not WinFax File!", "Converted!"}));
    EXPECT_EQ(column(page->result_list(), 1),
              (std::vector<std::string>{dir.file("out/first fax.fxs.pdf"), "",
                                        dir.file("out/b.fxm.pdf")}));
    EXPECT_EQ(page->status_label()->text(), "Done. 2 FAX files converted");

    // A single chosen file shows as its full path and converts alone.
    prompter.file_answers.push_back(FileSelection{folder, {"first fax.fxs"}});
    page->source_button()->click();
    EXPECT_EQ(page->source_edit()->text().toStdString(), folder + "/first fax.fxs");
    ASSERT_TRUE(run_pass(page));
    EXPECT_EQ(column(page->result_list(), 2), (std::vector<std::string>{"Converted!"}));

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

TEST_F(MainWindowTest, HelpOpensThePageWhenThereIsOne) {
    {
        auto window = make_window();
        window->help_button()->click();
        EXPECT_TRUE(prompter.opened_urls.empty());
    }
    help_page = dir.file("trelvane-help.html");
    ASSERT_TRUE(testsupport::write_file(help_page, "<html></html>"));
    auto window = make_window();
    window->help_button()->click();
    ASSERT_EQ(prompter.opened_urls.size(), 1u);
    EXPECT_EQ(prompter.opened_urls[0], "file://" + help_page);
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
        ++calls;
        return app::convert_fax_file(job, from, to);
    };
    auto window = make_window();
    ConvertPage* page = window->convert_page();
    page->source_edit()->setText(QString::fromStdString(make_source(6)));
    page->destination_edit()->setText(QString::fromStdString(dir.file("out")));
    page->go_button()->click();
    ASSERT_TRUE(guitest::process_events_until(
        [&] { return page->result_list()->topLevelItemCount() >= 1; }));
    window->reject();
    EXPECT_FALSE(page->running());
    EXPECT_EQ(window->exit_code(), kExitThroughCancel);
    // Nothing starts after the window has closed.
    const int started = calls.load();
    EXPECT_LT(started, 6);
    window.reset();
    EXPECT_EQ(calls.load(), started);
}

}  // namespace
}  // namespace trelvane::gui
