// The files of a run handed to its workers in plan order, and their outcomes handed to the
// reporter in plan order, whatever order they finish in. Thread-safe: workers call begin_next
// and finish, the reporter take, take_finished and stop, any thread wake.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "app/file_outcome.h"
#include "platform/sync.h"

namespace trelvane::app {

class ResultOrder {
  public:
    ResultOrder(size_t files, size_t workers);

    // The next file of the plan for `worker`, or nothing once every file was handed out or the
    // order was stopped. From here until finish, the worker's commit flag belongs to the file.
    std::optional<size_t> begin_next(size_t worker);
    // Set (from the converting thread) when the worker's current file puts its PDF in place.
    std::atomic<bool>& commit_flag(size_t worker);
    // Stores the outcome of the worker's current file `index`.
    void finish(size_t worker, size_t index, FileOutcome outcome);

    // Waits for the outcome of file `index` and hands it over (once). Nothing when wake() was
    // called meanwhile, or when the order was stopped before the file started.
    std::optional<FileOutcome> take(size_t index);
    // Makes a waiting take() return at once.
    void wake();
    // No further file starts; files being converted go on. Outcomes stored from now on count
    // only when their PDF was put in place (see take_finished).
    void stop();
    // After stop and after the commit gate was closed (platform::close_commit_gate): waits until
    // every PDF put in place has its outcome stored, then hands over, in plan order, each
    // finished outcome not yet taken.
    std::vector<std::pair<size_t, FileOutcome>> take_finished();
    // The files handed out so far, always the first of the plan.
    size_t started_count() const;

  private:
    struct Slot {
        std::optional<FileOutcome> outcome;
        bool late = false;   // stored after stop()
        bool taken = false;  // handed over
    };
    static constexpr size_t kIdle = static_cast<size_t>(-1);

    mutable platform::Mutex mutex_;
    platform::ConditionVariable changed_;
    std::vector<Slot> slots_;
    std::vector<size_t> current_;  // each worker's file (kIdle: none)
    std::unique_ptr<std::atomic<bool>[]> committed_;
    size_t next_ = 0;
    bool stopped_ = false;
    bool woken_ = false;
};

}  // namespace trelvane::app
