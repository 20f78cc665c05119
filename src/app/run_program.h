// The process entry point and the two run modes: a command-line run (one file or one folder)
// and a window run.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace trelvane::app {

// What the window needs to start: the program's arguments (for the window toolkit) and the
// show state of the first window.
struct WindowLaunch {
    int argc = 0;
    char** argv = nullptr;
    int show_state = 0;
    std::vector<std::string> files;  // files named on the command line, for the window to convert
};

// Creates the main window and runs it until it closes. Returns the window's exit code (1
// closed through OK or Exit, 2 through Cancel), or nothing when the window could not be
// created (the factory has then said why on standard error).
using WindowFactory = std::optional<int> (*)(const WindowLaunch& launch);

// The desktop window registers itself here; without it a window run fails with a message.
void set_window_factory(WindowFactory factory);

// The body of the program: paths and settings, the command line, then the run. Returns the
// exit code. arguments are the program's arguments without its name, each one token (nothing
// when there were none).
int run_program(const std::optional<std::vector<std::string>>& arguments,
                const WindowLaunch& launch);

// The entry point: --help, -h and --version, then run_program; removes the work files at exit.
int program_entry(int argc, char** argv);

// The same for a system that hands the program its command line as one text (Windows): `text`
// is what follows the program's name (nothing when there is no text at all), split and parsed
// as parse_command_line does.
int program_entry_text(const std::optional<std::string>& text);

}  // namespace trelvane::app
