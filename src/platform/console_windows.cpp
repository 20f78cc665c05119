#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/console.h"
#include "platform/windowed_output.h"
#include "platform/windows_calls.h"

namespace trelvane::platform {

namespace {

std::atomic<bool> collecting{false};

struct Collected {
    std::mutex mutex;
    std::string report;
    std::string errors;
};

Collected& collected() {
    static Collected instance;
    return instance;
}

// Every line end as this system's CR LF: the report's lines have them already, other texts
// end their lines with a line feed alone.
std::string with_system_line_ends(std::string_view text) {
    std::string converted;
    converted.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            converted += '\r';
        converted += text[i];
    }
    return converted;
}

bool is_console(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// A console takes UTF-16 (whatever its code page); a file or a pipe gets the UTF-8 bytes.
void write_to(DWORD which, std::string_view text) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty())
        return;
    if (is_console(handle)) {
        const std::wstring wide = windows::widen(text);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::FILE* stream = which == STD_OUTPUT_HANDLE ? stdout : stderr;
    _setmode(_fileno(stream), _O_BINARY);
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

void message_box(std::string_view caption, std::string_view text, UINT icon) {
    MessageBoxW(nullptr, windows::widen(text).c_str(), windows::widen(caption).c_str(),
                MB_OK | icon | MB_SETFOREGROUND);
}

// A box shows the report's first lines only: a folder run can report thousands of files.
constexpr size_t kBoxLines = 40;

std::string first_lines(const std::string& text) {
    size_t at = 0;
    for (size_t line = 0; line < kBoxLines; ++line) {
        at = text.find('\n', at);
        if (at == std::string::npos)
            return text;
        ++at;
    }
    if (at >= text.size())
        return text;
    size_t more = 0;
    for (size_t i = at; i < text.size(); ++i)
        more += text[i] == '\n' ? 1 : 0;
    return text.substr(0, at) + "... and " + std::to_string(more) +
           " more lines: the whole report is in the log.\r\n";
}

}  // namespace

void print_output(std::string_view text) {
    write_to(STD_OUTPUT_HANDLE, with_system_line_ends(text));
}

void show_report(std::string_view text) {
    std::string converted = with_system_line_ends(text);
    if (!converted.empty() && converted.back() != '\n')
        converted += "\r\n";
    print_report_part(converted);
}

void print_report_part(std::string_view text) {
    const std::string converted = with_system_line_ends(text);
    if (collecting.load()) {
        std::lock_guard<std::mutex> lock(collected().mutex);
        collected().report += converted;
    }
    write_to(STD_OUTPUT_HANDLE, converted);
}

void show_error(std::string_view caption, std::string_view text) {
    if (collecting.load()) {
        message_box(caption, text, MB_ICONERROR);
        return;
    }
    print_error(std::string(caption) + ": " + std::string(text) + "\n");
}

bool error_is_terminal() {
    // Progress lines redraw themselves with escape sequences, which a console takes only when
    // asked to.
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (collecting.load() || !is_console(handle) || !GetConsoleMode(handle, &mode))
        return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

void print_error(std::string_view text) {
    const std::string converted = with_system_line_ends(text);
    if (collecting.load()) {
        std::lock_guard<std::mutex> lock(collected().mutex);
        collected().errors += converted;
    }
    write_to(STD_ERROR_HANDLE, converted);
}

void collect_output_for_message_boxes() {
    collecting.store(true);
}

void show_collected_output() {
    std::string report;
    std::string errors;
    {
        std::lock_guard<std::mutex> lock(collected().mutex);
        report.swap(collected().report);
        errors.swap(collected().errors);
    }
    if (!report.empty()) {
        if (!errors.empty())
            report += "\r\n" + errors;
        message_box("Vuvod Trelvane Results", first_lines(report),
                    errors.empty() ? MB_ICONINFORMATION : MB_ICONWARNING);
    } else if (!errors.empty()) {
        message_box("Trelvane", first_lines(errors), MB_ICONERROR);
    }
}

}  // namespace trelvane::platform
