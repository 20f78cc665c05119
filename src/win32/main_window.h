// The window "Vuvod Trelvane": the tabs "Convert" and "Options", "&Help", "&About" and the
// notification-area icon. Closing writes the settings and ends the window run: code 1 through
// OK or "E&xit", 2 through Cancel, Escape or the close box. Minimising hides it behind its
// notification icon.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "win32/convert_page.h"
#include "win32/options_page.h"
#include "win32/tray_icon.h"
#include "win32/window_support.h"

namespace trelvane::win32 {

inline constexpr int kExitThroughOk = 1;
inline constexpr int kExitThroughCancel = 2;
// A start that handed its files to the window already running.
inline constexpr int kExitHandedOver = 0;

struct WindowSetup {
    PagePaths paths;
    std::string home_url;  // behind the about box's "Home Page"
    std::string support_mail;
};

class MainWindow {
  public:
    explicit MainWindow(const WindowSetup& setup);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // False when the dialog could not be made.
    bool create();
    void show(int show_state);
    // Files the desktop handed the program: converted into the save folder as "&Go" converts
    // chosen files, the options left as they are.
    void convert_given_files(const std::vector<std::string>& paths);
    // The message loop; returns the exit code.
    int run();

    // One window a user: a later start finds the running one, hands it its files (nothing:
    // it only comes to the front) and ends. False when there is no such window or it does not
    // answer.
    static bool hand_over(const std::vector<std::string>& files);

    void attach(HWND window) { window_ = window; }
    INT_PTR handle(UINT message, WPARAM w, LPARAM l);

  private:
    void initialise();
    void place_pages();
    void tab_selected(int index);
    void restore();
    void close(int code);
    void settings_not_saved();
    void files_handed_over(const COPYDATASTRUCT& data);

    WindowSetup setup_;
    ConvertPage convert_page_;
    OptionsPage options_page_;
    TrayIcon tray_;
    HWND window_ = nullptr;
    HICON large_icon_ = nullptr;
    HICON small_icon_ = nullptr;
    int exit_code_ = 0;
    std::vector<std::string> handed_files_;  // taken over from a later start, not yet converted
    DialogColours colours_{kWindowBackground, kWindowEditBackground};
};

}  // namespace trelvane::win32
