#include "platform/interrupt_watch.h"

#include <unistd.h>

#include <csignal>

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

InterruptWatch::InterruptWatch(std::function<void(int)> on_interrupt)
    : on_interrupt_(std::move(on_interrupt)) {
    const sigset_t set = watched_signals();
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0)
        return;
    watcher_ = std::thread([this, set] {
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
            if (on_interrupt_)
                on_interrupt_(signal_number);
        }
    });
    watcher_handle_ = watcher_.native_handle();
    started_ = true;
}

InterruptWatch::~InterruptWatch() {
    if (!started_)
        return;
    pthread_kill(watcher_handle_, kStopWatching);
    watcher_.join();
    const sigset_t set = watched_signals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

std::string signal_name(int signal_number) {
    switch (signal_number) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal " + std::to_string(signal_number);
    }
}

}  // namespace trelvane::platform
