#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

#include "platform/cleanup.h"
#include "platform/console.h"
#include "platform/interrupt_watch.h"
#include "platform/windows_calls.h"

// The console tells Ctrl+C, Ctrl+Break and the closing of its window to a handler that the
// system runs on a thread of its own. The handler hands the request to the watcher thread, as
// the POSIX signals are handed over; for a closing console it then waits a little, since the
// system ends the process as soon as the handler returns.

namespace trelvane::platform {

struct InterruptWatch::State {
    std::function<void(int)> on_interrupt;
    std::thread watcher;
    std::mutex mutex;
    std::condition_variable changed;
    int pending = 0;  // a request not yet handed to on_interrupt
    bool interrupted = false;
    bool stopping = false;
    bool finished = false;
};

namespace {

// The one watch of the process (a run makes one).
std::mutex active_mutex;
InterruptWatch::State* active = nullptr;

// How long a closing console waits for the run to write its report and log; the system allows
// five seconds before it ends the process.
constexpr DWORD kCloseWaitMilliseconds = 4500;

[[noreturn]] void end_at_once(int signal_number) {
    constexpr int kExitSignalBase = 128;
    print_error("trelvane: " + signal_name(signal_number) + " again: stopped at once\n");
    stop_commits_and_remove_registered_files();
    ExitProcess(kExitSignalBase + signal_number);
}

BOOL WINAPI console_request(DWORD type) {
    std::unique_lock<std::mutex> lock(active_mutex);
    InterruptWatch::State* state = active;
    if (state == nullptr)
        return FALSE;  // no run to stop: the default handler ends the process
    {
        std::lock_guard<std::mutex> state_lock(state->mutex);
        if (state->interrupted) {
            lock.unlock();
            end_at_once(SIGINT);
        }
        state->interrupted = true;
        state->pending = SIGINT;
    }
    state->changed.notify_all();
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        std::unique_lock<std::mutex> state_lock(state->mutex);
        lock.unlock();
        state->changed.wait_for(state_lock, std::chrono::milliseconds(kCloseWaitMilliseconds),
                                [state] { return state->finished; });
    }
    return TRUE;
}

}  // namespace

InterruptWatch::InterruptWatch(std::function<void(int)> on_interrupt)
    : state_(std::make_unique<State>()) {
    state_->on_interrupt = std::move(on_interrupt);
    State* state = state_.get();
    state->watcher = std::thread([state] {
        std::unique_lock<std::mutex> lock(state->mutex);
        for (;;) {
            state->changed.wait(lock, [state] { return state->pending != 0 || state->stopping; });
            if (state->stopping)
                return;
            const int signal_number = state->pending;
            state->pending = 0;
            lock.unlock();
            if (state->on_interrupt)
                state->on_interrupt(signal_number);
            lock.lock();
        }
    });
    {
        std::lock_guard<std::mutex> lock(active_mutex);
        active = state;
    }
    SetConsoleCtrlHandler(console_request, TRUE);
}

InterruptWatch::~InterruptWatch() {
    SetConsoleCtrlHandler(console_request, FALSE);
    {
        std::lock_guard<std::mutex> lock(active_mutex);
        active = nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->stopping = true;
        state_->finished = true;
    }
    state_->changed.notify_all();
    state_->watcher.join();
}

const char* interrupt_statuses_text() {
    return "130    interrupted by Ctrl+C, Ctrl+Break or closing the console; the report and the\n"
           "         log list the files that were finished; a second Ctrl+C stops at once";
}

}  // namespace trelvane::platform
