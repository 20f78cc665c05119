// Output of the windowed Windows program, which has no console: what a command-line run would
// print is collected and shown in message boxes, as Windows programs without a console do.
#pragma once

namespace trelvane::platform {

// From now on the report and the error lines are collected rather than printed (they still go
// to standard output and standard error when those lead somewhere, a redirection); an error box
// (show_error) is shown at once. Call once, before any thread starts.
void collect_output_for_message_boxes();

// Shows what was collected: the report (with any error lines below it) in the box "Vuvod
// Trelvane Results", or error lines alone in an error box. Nothing when nothing was collected.
void show_collected_output();

}  // namespace trelvane::platform
