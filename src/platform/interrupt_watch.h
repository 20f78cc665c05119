// Turns the requests to stop a run (SIGINT, SIGTERM, SIGHUP on POSIX systems; Ctrl+C,
// Ctrl+Break and closing the console on Windows, told as SIGINT) into a call on a thread of its
// own, so that an interrupted run can still finish its report and its log record: nothing of
// that is safe inside a signal handler.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace trelvane::platform {

class InterruptWatch {
  public:
    // Starts watching; on POSIX systems the signals are blocked in the calling thread, and so in
    // every thread it starts later. on_interrupt runs once, on the watching thread, with the
    // signal number. A second request ends the process at once (128 + the signal), after
    // removing the names registered for cleanup. Make the watch before starting any other
    // thread.
    explicit InterruptWatch(std::function<void(int)> on_interrupt);
    // Stops watching (a signal that came meanwhile is then delivered as usual).
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    struct State;

  private:
    std::unique_ptr<State> state_;
};

// The help text's lines on the exit statuses of an interrupted run, indented for its table.
const char* interrupt_statuses_text();

// "SIGINT", "SIGTERM", "SIGHUP", or "signal N".
std::string signal_name(int signal_number);

}  // namespace trelvane::platform
