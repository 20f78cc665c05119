// The window "Vuvod Trelvane": the tabs "Convert" and "Options" (and the hidden fax-settings
// page), "&Help", "&About" and the notification-area icon. Closing writes the settings and
// reports the run's exit code: 1 through OK or "E&xit", 2 through Cancel or the close box.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "gui/convert_page.h"

class QPushButton;
class QTabWidget;

namespace trelvane::gui {

class FaxSettingsPage;
class OptionsPage;
class TrayIcon;

struct WindowEnvironment {
    PageEnvironment pages;
    std::string help_page;     // empty when there is none: "&Help" then does nothing
    std::string support_mail;  // behind the about box's support link
    bool use_tray = true;
};

// "&Help" when the page cannot be shown (the second is followed by the page's path).
inline constexpr const char* kNoHelpPageText =
    "The help page trelvane-help.html is not installed (it is looked for beside the program "
    "and in " TRELVANE_INSTALL_FULL_HELPDIR ").\nSee also: man trelvane";
inline constexpr const char* kNoBrowserText =
    "No web browser could be started to show the help.\nOpen the help page yourself:\n";

inline constexpr int kExitThroughOk = 1;
inline constexpr int kExitThroughCancel = 2;

class MainWindow : public QDialog {
    Q_OBJECT

  public:
    explicit MainWindow(const WindowEnvironment& environment, QWidget* parent = nullptr);
    ~MainWindow() override;

    ConvertPage* convert_page() const { return convert_page_; }
    OptionsPage* options_page() const { return options_page_; }
    FaxSettingsPage* fax_settings_page() const { return fax_settings_page_; }
    QTabWidget* tabs() const { return tabs_; }
    TrayIcon* tray() const { return tray_; }
    QPushButton* help_button() const { return help_button_; }
    QPushButton* about_button() const { return about_button_; }

    void open_help();
    void show_about();
    // The tray's "&Open...": back from hidden or minimised, to the front.
    void restore_window();
    // Files the desktop handed the program: converted into the save folder as "&Go" converts
    // chosen files (it asks for a save folder when there is none), the options left as they
    // are, so an automatic conversion of a folder goes on.
    void convert_given_files(const std::vector<std::string>& paths);
    // The exit code once the window has closed, else 0.
    int exit_code() const { return exit_code_; }

    void done(int result) override;

  signals:
    void closed(int exit_code);

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void tab_selected(int index);
    void fit_screen();
    // Once a window run: a failure to save the settings would otherwise repeat at every change.
    void settings_not_saved(const std::string& settings_path, int error);

    WindowEnvironment environment_;
    QTabWidget* tabs_ = nullptr;
    ConvertPage* convert_page_ = nullptr;
    OptionsPage* options_page_ = nullptr;
    FaxSettingsPage* fax_settings_page_ = nullptr;
    QPushButton* help_button_ = nullptr;
    QPushButton* about_button_ = nullptr;
    TrayIcon* tray_ = nullptr;
    int exit_code_ = 0;
    bool settings_failure_shown_ = false;
};

}  // namespace trelvane::gui
