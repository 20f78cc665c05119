// The Windows programs: trelvane.exe, a windowed program without a console of its own (a
// command-line run ends with its report in a message box), and trelvanec.exe, the same program
// for consoles and scripts (the report on standard output). TRELVANE_CONSOLE_PROGRAM tells
// which is being built.
#include <windows.h>

#include <optional>
#include <string>

#include "app/run_program.h"
#include "platform/windowed_output.h"
#include "platform/windows_calls.h"
#if !TRELVANE_CONSOLE_PROGRAM
#include "win32/window_entry.h"
#endif

namespace {

// What follows the program's name in the command line, by the system's rule for that name: up
// to the closing quote when it starts with one, else up to the first blank. Nothing when the
// command line ends with the name.
std::optional<std::string> arguments_text(std::wstring_view line) {
    size_t at = 0;
    if (!line.empty() && line[0] == L'"') {
        const size_t close = line.find(L'"', 1);
        at = close == std::wstring_view::npos ? line.size() : close + 1;
    } else {
        while (at < line.size() && line[at] != L' ' && line[at] != L'\t')
            ++at;
    }
    while (at < line.size() && (line[at] == L' ' || line[at] == L'\t'))
        ++at;
    if (at >= line.size())
        return std::nullopt;
    return trelvane::platform::windows::narrow(line.substr(at));
}

}  // namespace

int main() {
    const std::optional<std::string> text = arguments_text(GetCommandLineW());
#if TRELVANE_CONSOLE_PROGRAM
    return trelvane::app::program_entry_text(text);
#else
    trelvane::app::set_window_factory(&trelvane::win32::run_window);
    trelvane::platform::collect_output_for_message_boxes();
    const int code = trelvane::app::program_entry_text(text);
    trelvane::platform::show_collected_output();
    return code;
#endif
}
