#include "platform/console.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace trelvane::platform {

namespace {

void write_to(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

std::string without_carriage_returns(std::string_view text) {
    std::string converted;
    converted.reserve(text.size() + 1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        converted += text[i];
    }
    return converted;
}

}  // namespace

void print_output(std::string_view text) {
    write_to(stdout, text);
}

void show_report(std::string_view text) {
    std::string converted = without_carriage_returns(text);
    if (!converted.empty() && converted.back() != '\n')
        converted += '\n';
    write_to(stdout, converted);
}

void print_report_part(std::string_view text) {
    write_to(stdout, without_carriage_returns(text));
}

void show_error(std::string_view caption, std::string_view text) {
    std::string line(caption);
    line += ": ";
    line += text;
    line += '\n';
    write_to(stderr, line);
}

bool error_is_terminal() {
    return isatty(STDERR_FILENO) == 1;
}

void print_error(std::string_view text) {
    write_to(stderr, text);
}

}  // namespace trelvane::platform
