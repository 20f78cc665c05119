#include "gui/main_window.h"

#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/report_text.h"
#include "gui/about_box.h"
#include "gui/fax_settings_page.h"
#include "gui/help_page.h"
#include "gui/options_page.h"
#include "gui/program_icon.h"
#include "gui/prompter.h"
#include "gui/tray_icon.h"
#include "gui/window_colours.h"
#include "gui/window_files.h"
#include "platform/console.h"

namespace trelvane::gui {

namespace {

constexpr int kConvertTab = 0;
constexpr int kFirstWidth = 660;
constexpr int kFirstHeight = 420;
// What a window manager's frame and title bar take, beyond the window's own size.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 40;

}  // namespace

MainWindow::MainWindow(const WindowEnvironment& environment, QWidget* parent)
    : QDialog(parent), environment_(environment) {
    setWindowTitle(tr("Vuvod Trelvane"));
    setWindowIcon(program_icon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    apply_colours(this, kWindowBackground, kWindowEditBackground);
    resize(kFirstWidth, kFirstHeight);

    tabs_ = new QTabWidget(this);
    convert_page_ = new ConvertPage(environment_.pages);
    options_page_ = new OptionsPage(environment_.pages.settings_path);
    tabs_->addTab(convert_page_, style()->standardIcon(QStyle::SP_FileDialogContentsView),
                  tr("Convert"));
    tabs_->addTab(options_page_, style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                  tr("Options"));
    // Carries the fax decoding settings; never shown.
    fax_settings_page_ = new FaxSettingsPage(this);
    fax_settings_page_->hide();

    help_button_ = new QPushButton(tr("&Help"), this);
    about_button_ = new QPushButton(tr("&About"), this);
    for (QPushButton* button : {help_button_, about_button_}) {
        button->setAutoDefault(false);
    }
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(help_button_);
    buttons->addWidget(about_button_);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(tabs_, 1);
    layout->addLayout(buttons);

    connect(tabs_, &QTabWidget::currentChanged, this, &MainWindow::tab_selected);
    connect(help_button_, &QPushButton::clicked, this, &MainWindow::open_help);
    connect(about_button_, &QPushButton::clicked, this, &MainWindow::show_about);
    connect(options_page_, &OptionsPage::cycle_changed, convert_page_, &ConvertPage::set_cycle);
    connect(convert_page_, &ConvertPage::settings_not_saved, this, &MainWindow::settings_not_saved);
    connect(options_page_, &OptionsPage::settings_not_saved, this, &MainWindow::settings_not_saved);

    tabs_->setCurrentIndex(kConvertTab);
    tab_selected(kConvertTab);

    tray_ = new TrayIcon(program_icon(), this);
    connect(tray_, &TrayIcon::open_requested, this, &MainWindow::restore_window);
    connect(tray_, &TrayIcon::about_requested, this, &MainWindow::show_about);
    connect(tray_, &TrayIcon::exit_requested, this, &QDialog::accept);
    if (environment_.use_tray) {
        tray_->add();
    }

    fit_screen();

    // The automatic conversion runs from the start when it was left on.
    options_page_->take_fields();
    convert_page_->set_cycle(options_page_->fields().cycle_minutes,
                             options_page_->fields().cycle_enabled == 1);
}

MainWindow::~MainWindow() {
    convert_page_->shut_down();
}

void MainWindow::fit_screen() {
    // At twice the scale a 1280 x 800 screen leaves 640 x 400: the first size gives way to the
    // screen, down to what the pages need.
    const QScreen* screen = this->screen();
    if (screen == nullptr) {
        return;
    }
    const QSize room = screen->availableGeometry().size() - QSize(kFrameWidth, kFrameHeight);
    resize(size().boundedTo(room).expandedTo(minimumSizeHint()));
}

void MainWindow::tab_selected(int index) {
    if (index != kConvertTab) {
        return;
    }
    // The Convert page works with the options as they stood when its tab was last selected.
    options_page_->take_fields();
    convert_page_->set_window_options(options_page_->window_options());
    fax_settings_page_->write_back();
}

void MainWindow::settings_not_saved(const std::string& settings_path, int error) {
    if (settings_failure_shown_)
        return;
    settings_failure_shown_ = true;
    const std::string text = app::settings_not_saved_text(settings_path, error);
    // Standard error too: the window may be closing, and a session's log keeps it.
    platform::print_error("trelvane: " + text + "\n");
    convert_page_->status_label()->setText(QString::fromStdString(text));
}

void MainWindow::open_help() {
    Prompter* prompter = environment_.pages.prompter;
    const std::string& page = environment_.help_page;
    if (page.empty()) {
        prompter->show_message(this, MessageKind::Information, "Help", kNoHelpPageText);
        return;
    }
    // Without a browser the user still learns where the page is.
    QPointer<MainWindow> window(this);
    prompter->open_url(file_url(page), [window, prompter, page] {
        if (window) {
            prompter->show_message(window, MessageKind::Information, "Help", kNoBrowserText + page);
        }
    });
}

void MainWindow::show_about() {
    QWidget* owner = isVisible() ? static_cast<QWidget*>(this) : nullptr;
    AboutBox about(program_icon(), file_url(environment_.help_page), environment_.support_mail,
                   environment_.pages.prompter, owner);
    about.exec();
}

void MainWindow::convert_given_files(const std::vector<std::string>& paths) {
    const std::optional<FileSelection> selection =
        selection_of_files(paths, QDir::currentPath().toStdString());
    if (!selection) {
        return;
    }
    tabs_->setCurrentIndex(kConvertTab);
    tab_selected(kConvertTab);
    convert_page_->convert_selection(*selection);
}

void MainWindow::restore_window() {
    if (isMinimized()) {
        showNormal();
    } else {
        show();
    }
    raise();
    activateWindow();
}

void MainWindow::done(int result) {
    if (exit_code_ != 0) {
        QDialog::done(result);
        return;
    }
    exit_code_ = result == QDialog::Accepted ? kExitThroughOk : kExitThroughCancel;
    convert_page_->write_settings();
    options_page_->write_settings();
    // A pass still running gets a moment to finish the files being converted; whatever is
    // still converting then is given up, and no PDF appears half written either way.
    convert_page_->shut_down();
    tray_->remove();
    QDialog::done(result);
    emit closed(exit_code_);
}

void MainWindow::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // Hidden only when the notification icon can bring it back.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && tray_->added()) {
        QTimer::singleShot(0, this, &QWidget::hide);
    }
}

}  // namespace trelvane::gui
