#include "win32/window_entry.h"

#include <windows.h>

#include <commctrl.h>
#include <ole2.h>

#include "app/process_paths.h"
#include "platform/console.h"
#include "win32/help_viewer.h"
#include "win32/main_window.h"

namespace trelvane::win32 {

std::optional<int> run_window(const app::WindowLaunch& launch) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_LINK_CLASS |
                     ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
    // The folder browser and the clipboard want the thread in a single-threaded apartment.
    const bool ole = SUCCEEDED(OleInitialize(nullptr));

    // A window of this user's is running: it takes the files and comes to the front.
    if (MainWindow::hand_over(launch.files)) {
        if (ole) {
            OleUninitialize();
        }
        return kExitHandedOver;
    }

    const app::ProcessPaths& paths = app::process_paths();
    WindowSetup setup;
    setup.paths.settings_path = paths.settings_file_path;
    setup.paths.log_path = paths.log_file_path;
    if (paths.log_file_path == paths.default_log_file_path) {
        setup.paths.log_parent_folder = paths.log_parent_folder;
    }
    setup.home_url = help_file_path();
    setup.support_mail = TRELVANE_SUPPORT_MAIL;

    std::optional<int> code;
    {
        MainWindow window(setup);
        if (window.create()) {
            window.show(launch.show_state > 0 ? launch.show_state : SW_SHOWNORMAL);
            if (!launch.files.empty()) {
                window.convert_given_files(launch.files);
            }
            code = window.run();
        } else {
            platform::print_error("trelvane: the window could not be created (error " +
                                  std::to_string(GetLastError()) + ")\n");
        }
    }
    if (ole) {
        OleUninitialize();
    }
    return code;
}

}  // namespace trelvane::win32
