// The process-wide signal dispositions a run sets at its start. POSIX systems send signals for
// a closed pipe, a file past the size limit and a request to stop; Windows knows only the
// last (Ctrl+C and Ctrl+Break, through the C library), so the first two do nothing there.
#pragma once

namespace trelvane::platform {

// A reader of the report that goes away (| head) must not end the run.
void ignore_broken_pipe_signal();

// A file that grows past the user's file size limit fails with its error instead of ending the
// process.
void ignore_file_size_signal();

// Calls handler (which must be safe in a signal handler) on a request to stop: SIGINT, SIGTERM
// and SIGHUP; on Windows SIGINT, SIGTERM and SIGBREAK.
void on_stop_signals(void (*handler)(int));

// Removes a file from inside a signal handler (no allocation, failures ignored).
void remove_file_from_signal_handler(const char* path);

}  // namespace trelvane::platform
