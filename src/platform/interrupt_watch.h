// Turns the signals that ask a run to stop (SIGINT, SIGTERM, SIGHUP) into a call on a thread of
// its own, so that an interrupted run can still finish its report and its log record: nothing
// of that is safe inside a signal handler.
#pragma once

#include <pthread.h>
#include <functional>
#include <string>
#include <thread>

namespace trelvane::platform {

class InterruptWatch {
  public:
    // Blocks the signals in the calling thread, and so in every thread it starts later, and
    // starts watching. on_interrupt runs once, on the watching thread, with the signal number.
    // A second signal ends the process at once (128 + the signal), after removing the names
    // registered for cleanup. Make the watch before starting any other thread.
    explicit InterruptWatch(std::function<void(int)> on_interrupt);
    // Stops watching and unblocks the signals again (a signal that came meanwhile is then
    // delivered as usual).
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

  private:
    std::function<void(int)> on_interrupt_;
    std::thread watcher_;
    pthread_t watcher_handle_{};
    bool started_ = false;
};

// "SIGINT", "SIGTERM", "SIGHUP", or "signal N".
std::string signal_name(int signal_number);

}  // namespace trelvane::platform
