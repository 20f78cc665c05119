#include "platform/interrupt_watch.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "platform/cleanup.h"

namespace trelvane::platform {

namespace {

// Wakes the watcher when the watch ends; only ever sent to that one thread.
constexpr int kStopWatching = SIGUSR2;

sigset_t watched_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, kStopWatching);
    return set;
}

// A second signal means the user will not wait for the orderly end (the run may be blocked on
// a log that does not answer): our names go, and the process ends without another step.
[[noreturn]] void end_at_once(int signal_number) {
    constexpr int kExitSignalBase = 128;
    const std::string message =
        "trelvane: " + signal_name(signal_number) + " again: stopped at once\n";
    const ssize_t written = ::write(STDERR_FILENO, message.data(), message.size());
    (void)written;
    remove_registered_files_from_signal_handler();
    _exit(kExitSignalBase + signal_number);
}

}  // namespace

struct InterruptWatch::State {
    std::function<void(int)> on_interrupt;
    std::thread watcher;
    pthread_t watcher_handle{};
    bool started = false;
};

InterruptWatch::InterruptWatch(std::function<void(int)> on_interrupt)
    : state_(std::make_unique<State>()) {
    state_->on_interrupt = std::move(on_interrupt);
    const sigset_t set = watched_signals();
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0)
        return;
    State* state = state_.get();
    state->watcher = std::thread([state, set] {
        bool interrupted = false;
        for (;;) {
            int signal_number = 0;
            if (sigwait(&set, &signal_number) != 0)
                continue;
            if (signal_number == kStopWatching)
                return;
            if (interrupted)
                end_at_once(signal_number);
            interrupted = true;
            if (state->on_interrupt)
                state->on_interrupt(signal_number);
        }
    });
    state->watcher_handle = state->watcher.native_handle();
    state->started = true;
}

InterruptWatch::~InterruptWatch() {
    if (!state_->started)
        return;
    pthread_kill(state_->watcher_handle, kStopWatching);
    state_->watcher.join();
    const sigset_t set = watched_signals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

const char* interrupt_statuses_text() {
    return "128+N  interrupted by signal N (130 SIGINT, 143 SIGTERM, 129 SIGHUP); the report and\n"
           "         the log list the files that were finished; a second signal stops at once";
}

}  // namespace trelvane::platform
