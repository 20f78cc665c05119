// The about box, the notification-area icon (under Xvfb with a tray host, in a child process
// of this test program) and the screenshots shown in the README.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTabWidget>

#include <chrono>
#include <thread>

#include "app/pipeline.h"
#include "app/report_text.h"
#include "gui/about_box.h"
#include "gui/main_window.h"
#include "gui/program_icon.h"
#include "gui/result_list_model.h"
#include "gui/result_list_view.h"
#include "gui/tray_icon.h"
#include "gui/window_files.h"
#include "gui_test_support.h"
#include "support/child_process.h"
#include "support/pdf_tools.h"
#include "support/temp_dir.h"

namespace trelvane::gui {
namespace {

using guitest::RecordingPrompter;
using testsupport::TempDir;

TEST(AboutBox, ShowsTheBuildAndOpensItsLinks) {
    guitest::test_application();
    RecordingPrompter prompter;
    AboutBox about(program_icon(), "file:///usr/share/doc/trelvane/trelvane-help.html",
                   "help@example.invalid", &prompter);
    EXPECT_EQ(about.windowTitle(), "About");
    const QList<QLabel*> labels = about.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](const QLabel* label) {
        return label->text() == "Vuvod Trelvane V3.00, build 0903";
    }));

    emit about.home_link()->linkActivated("file:///usr/share/doc/trelvane/trelvane-help.html");
    emit about.support_link()->linkActivated("mailto:help@example.invalid");
    EXPECT_EQ(prompter.opened_urls,
              (std::vector<std::string>{"file:///usr/share/doc/trelvane/trelvane-help.html",
                                        "mailto:help@example.invalid"}));
    EXPECT_TRUE(about.support_link()->text().contains("mailto:help@example.invalid"));

    ASSERT_TRUE(about.copy_home_link());
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              "file:///usr/share/doc/trelvane/trelvane-help.html");
}

TEST(AboutBox, TooLongOrMissingAddressIsNotCopied) {
    guitest::test_application();
    RecordingPrompter prompter;
    AboutBox without(program_icon(), "", "help@example.invalid", &prompter);
    EXPECT_FALSE(without.copy_home_link());
    emit without.home_link()->linkActivated("");
    EXPECT_TRUE(prompter.opened_urls.empty());
    AboutBox too_long(program_icon(), "file:///" + std::string(260, 'x'), "m@x.invalid", &prompter);
    EXPECT_FALSE(too_long.copy_home_link());
}

TEST(TrayIcon, WorksUnderXvfbWithATrayHost) {
    if (std::getenv("TRELVANE_TRAY_CHILD") != nullptr) {
        GTEST_SKIP() << "this is the child run";
    }
    TRELVANE_REQUIRE_TOOL("Xvfb");
    // Any small tray host will do: stalonetray where the distribution has it, else trayer.
    std::vector<std::string> tray_host;
    if (testsupport::tool_available("stalonetray")) {
        tray_host = {"stalonetray", "--geometry", "4x1+0+0"};
    } else if (testsupport::tool_available("trayer")) {
        tray_host = {"trayer", "--edge", "top", "--widthtype", "request", "--height", "24"};
    } else {
        GTEST_SKIP() << "no tray host (stalonetray or trayer) is installed";
    }

    guitest::XvfbDisplay xvfb;
    ASSERT_TRUE(xvfb.running());
    const std::string display_name = xvfb.name();
    const pid_t tray = guitest::spawn_background(tray_host, {"DISPLAY=" + display_name});

    // The tray checks run in a child of this test program, on the Xvfb display.
    testsupport::ChildOptions child;
    child.args = {"--gtest_filter=TrayHost.*"};
    child.env = {
        {"DISPLAY", display_name},
        {"QT_QPA_PLATFORM", "xcb"},
        {"TRELVANE_TRAY_CHILD", "1"},
        {"WAYLAND_DISPLAY", ""},
        {"LSAN_OPTIONS", "suppressions=" TRELVANE_SOURCE_DIR "/tests/gui/lsan-system.supp"}};
    child.timeout_seconds = 120;
    const testsupport::ChildResult result = testsupport::run_child("/proc/self/exe", child);
    guitest::stop_background(tray);
    ASSERT_GT(tray, 0);
    ASSERT_TRUE(result.started);
    const std::string& output = result.out;
    EXPECT_FALSE(result.timed_out) << output;
    EXPECT_EQ(result.exit_code, 0) << output << result.err;
    EXPECT_NE(output.find("[       OK ] TrayHost.IconMenuDoubleClickAndExit"), std::string::npos)
        << output;
}

TEST(TrayHost, IconMenuDoubleClickAndExit) {
    if (std::getenv("TRELVANE_TRAY_CHILD") == nullptr) {
        GTEST_SKIP() << "runs in the Xvfb session of TrayIcon.WorksUnderXvfbWithATrayHost";
    }
    guitest::test_application();
    ASSERT_TRUE(guitest::process_events_until(&QSystemTrayIcon::isSystemTrayAvailable,
                                              std::chrono::seconds(10)));
    TempDir dir;
    RecordingPrompter prompter;
    WindowEnvironment environment;
    environment.pages.prompter = &prompter;
    environment.pages.settings_path = dir.file("trelvane.ini");
    environment.pages.log_path = dir.file("tvnlog.txt");
    environment.use_tray = true;
    MainWindow window(environment);
    window.show();

    TrayIcon* tray = window.tray();
    ASSERT_TRUE(tray->added());
    EXPECT_TRUE(tray->icon()->isVisible());
    EXPECT_EQ(tray->icon()->toolTip(), "Vuvod Trelvane\nConvert WinFax fxd/fxm/fxr/fxs to pdf");
    ASSERT_NE(tray->icon()->contextMenu(), nullptr);
    const QList<QAction*> actions = tray->icon()->contextMenu()->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), "&Open...");
    EXPECT_EQ(actions[1]->text(), "&About...");
    EXPECT_EQ(actions[2]->text(), "E&xit");
    EXPECT_EQ(tray->icon()->contextMenu()->defaultAction(), actions[0]);

    // Minimised, the window hides behind the icon; a double click brings it back.
    window.showMinimized();
    ASSERT_TRUE(
        guitest::process_events_until([&] { return window.isHidden(); }, std::chrono::seconds(5)));
    emit tray->icon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());

    guitest::SignalLog<int> closed(&window, &MainWindow::closed);
    actions[2]->trigger();
    ASSERT_EQ(closed.count(), 1);
    EXPECT_EQ(closed.values.at(0), kExitThroughOk);
    EXPECT_FALSE(tray->added());
    EXPECT_TRUE(testsupport::read_file(dir.file("trelvane.ini")).find("[Options]") !=
                std::string::npos);
}

// Pictures of both tabs as a user first sees them after a pass: the window at its default size,
// a failed file and a cut-short one among the faxes, each row saying so, the failure's reason
// readable without widening anything. They are
// written to the build folder, and into docs/screenshots when TRELVANE_UPDATE_SCREENSHOTS is set.
TEST(Screenshots, BothTabsAfterAPassWithAFailedFile) {
    guitest::test_application();
    guitest::prepare_process_for_conversions();
    TempDir dir;
    const std::string source = dir.file("Faxes");
    ASSERT_TRUE(app::create_folder_path(source));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(guitest::write_sample_fax(
            source + "/fax-2009-04-0" + std::to_string(i + 1) + ".fxs", 30 + i));
    }
    ASSERT_TRUE(testsupport::write_file(source + "/cover.fxd", "not a fax"));
    // A fax whose file ends inside its page's data, as one still being received.
    const std::string cut = source + "/fax-2009-04-04.fxs";
    ASSERT_TRUE(guitest::write_sample_fax(cut, 34));
    const std::string whole = testsupport::read_file(cut);
    ASSERT_TRUE(testsupport::write_file(cut, whole.substr(0, whole.size() - whole.size() / 4)));
    RecordingPrompter prompter;
    WindowEnvironment environment;
    environment.pages.prompter = &prompter;
    environment.pages.settings_path = dir.file("trelvane.ini");
    environment.pages.log_path = dir.file("tvnlog.txt");
    environment.use_tray = false;
    MainWindow window(environment);
    const QSize default_size = window.size();
    window.show();
    ConvertPage* page = window.convert_page();
    page->source_edit()->setText(QString::fromStdString(source));
    page->destination_edit()->setText(QString::fromStdString(dir.file("PDF")));
    guitest::SignalLog<int> finished(page, &ConvertPage::pass_finished);
    page->go_button()->click();
    ASSERT_TRUE(guitest::process_events_until([&] { return finished.count() > 0; }));
    QCoreApplication::processEvents();  // the columns follow the rows once they are in
    ASSERT_EQ(window.size(), default_size);

    // The failed row says why, in full, at this size.
    const ResultListModel* model = page->result_model();
    const ResultListView* view = page->result_view();
    int failed_row = -1;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->text(row, ResultListModel::kResultColumn).starts_with("Failed : ")) {
            failed_row = row;
        }
    }
    ASSERT_GE(failed_row, 0);
    // The cut fax's row says so, as its report line does.
    bool cut_row = false;
    for (int row = 0; row < model->rowCount(); ++row) {
        const std::string text = model->text(row, ResultListModel::kResultColumn);
        cut_row = cut_row || (text.starts_with("Converted! (page 1: ") &&
                              text.find("file cut short") != std::string::npos);
    }
    EXPECT_TRUE(cut_row);
    const QString reason =
        model->data(model->index(failed_row, ResultListModel::kResultColumn)).toString();
    EXPECT_EQ(reason, "Failed : Not Fax");
    EXPECT_GE(view->columnWidth(ResultListModel::kResultColumn),
              view->fontMetrics().horizontalAdvance(reason) + 8);
    EXPECT_GE(view->columnWidth(ResultListModel::kResultColumn),
              view->fontMetrics().horizontalAdvance(
                  QString::fromLatin1(app::kConvertedText.data(), app::kConvertedText.size())));

    std::vector<std::string> folders{std::string(TRELVANE_BINARY_DIR) + "/screenshots"};
    if (std::getenv("TRELVANE_UPDATE_SCREENSHOTS") != nullptr) {
        folders.push_back(std::string(TRELVANE_SOURCE_DIR) + "/docs/screenshots");
    }
    for (const auto& [tab, name] : {std::pair{0, "convert.png"}, std::pair{1, "options.png"}}) {
        window.tabs()->setCurrentIndex(tab);
        QCoreApplication::processEvents();
        const QImage image = window.grab().toImage();
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), default_size * window.devicePixelRatio()) << name;
        EXPECT_EQ(image.pixelColor(2, image.height() / 2), QColor(236, 255, 245)) << name;
        for (const std::string& folder : folders) {
            QDir().mkpath(QString::fromStdString(folder));
            EXPECT_TRUE(image.save(QString::fromStdString(folder + "/" + name))) << folder;
        }
    }
}

}  // namespace
}  // namespace trelvane::gui
