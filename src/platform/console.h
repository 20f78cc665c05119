// The console stands in for the message boxes of a command-line run: reports go to standard
// output, error boxes to standard error with their caption.
#pragma once

#include <string_view>

namespace trelvane::platform {

// Writes the text to standard output as it stands and flushes it.
void print_output(std::string_view text);

// Shows a report in place of an information box: its CR LF line ends become the line feeds of
// this system; a missing final line end is added.
void show_report(std::string_view text);

// Prints one piece of a report as it goes: its CR LF line ends become line feeds (a piece always
// holds whole lines).
void print_report_part(std::string_view text);

// Shows an error box's caption and text as one line on standard error.
void show_error(std::string_view caption, std::string_view text);

// True when standard error is a terminal (progress lines are only worth drawing there).
bool error_is_terminal();

// Writes the text to standard error as it stands (no line end added).
void print_error(std::string_view text);

}  // namespace trelvane::platform
