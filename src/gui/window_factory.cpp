#include "gui/window_factory.h"

#include <QApplication>
#include <cstdlib>
#include <string>

#include "app/process_paths.h"
#include "gui/help_page.h"
#include "gui/main_window.h"
#include "gui/program_icon.h"
#include "gui/prompter.h"
#include "gui/window_handover.h"
#include "platform/console.h"
#include "platform/file_system.h"

namespace trelvane::gui {

namespace {

bool environment_set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

}  // namespace

// A local X display (":N" or ":N.S") is a socket in /tmp/.X11-unix; a DISPLAY left over from
// a server that is gone would make Qt end the process.
bool local_x_display_missing(const std::string& display) {
    if (display.size() < 2 || display[0] != ':') {
        return false;  // remote or unusual forms are left to the toolkit
    }
    const size_t end = display.find('.', 1);
    const std::string number = display.substr(1, end == std::string::npos ? end : end - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    return !platform::file_exists("/tmp/.X11-unix/X" + number);
}

bool display_available() {
    if (environment_set("QT_QPA_PLATFORM") || environment_set("WAYLAND_DISPLAY")) {
        return true;
    }
    return environment_set("DISPLAY") && !local_x_display_missing(std::getenv("DISPLAY"));
}

void configure_application() {
    QApplication::setApplicationName(QStringLiteral("trelvane"));
    QApplication::setDesktopFileName(QStringLiteral("trelvane"));
    QApplication::setWindowIcon(program_icon());
    // The window may live hidden behind its notification icon.
    QApplication::setQuitOnLastWindowClosed(false);
}

std::optional<int> run_window(const app::WindowLaunch& launch) {
    // Qt ends the process when it cannot reach a display, so ask before it tries.
    if (!display_available()) {
        platform::print_error(
            "trelvane: no display (neither X11 nor Wayland) to open the window on; convert "
            "from the command line instead (see trelvane --help)\n");
        return std::nullopt;
    }
    // QApplication keeps references to both for its whole life.
    static char program_name[] = "trelvane";
    static char* fallback_argv[] = {program_name, nullptr};
    int argc = launch.argc > 0 && launch.argv != nullptr ? launch.argc : 1;
    char** argv = launch.argc > 0 && launch.argv != nullptr ? launch.argv : fallback_argv;

    QApplication application(argc, argv);
    configure_application();

    const app::ProcessPaths& paths = app::process_paths();
    DialogPrompter prompter;
    WindowEnvironment environment;
    environment.pages.prompter = &prompter;
    environment.pages.settings_path = paths.settings_file_path;
    environment.pages.log_path = paths.log_file_path;
    if (paths.log_file_path == paths.default_log_file_path) {
        environment.pages.log_parent_folder = paths.log_parent_folder;
    }
    environment.help_page = find_help_page(paths.program_folder);
    environment.support_mail = TRELVANE_SUPPORT_MAIL;

    // A window of this user's is running: it takes the files and comes to the front.
    WindowHandover handover;
    if (handover.hand_over(launch.files)) {
        return kExitHandedOver;
    }
    MainWindow window(environment);
    QObject::connect(&window, &MainWindow::closed, &application, &QCoreApplication::exit);
    if (!handover.listen()) {
        platform::print_error(
            "trelvane: other starts cannot reach this window (no local socket); each opens a "
            "window of its own\n");
    }
    QObject::connect(&handover, &WindowHandover::window_requested, &window,
                     [&window](const std::vector<std::string>& files) {
                         window.restore_window();
                         if (!files.empty()) {
                             window.convert_given_files(files);
                         }
                     });
    window.show();
    if (!launch.files.empty()) {
        window.convert_given_files(launch.files);
    }
    return application.exec();
}

}  // namespace trelvane::gui
