#include "app/result_order.h"

namespace trelvane::app {

ResultOrder::ResultOrder(size_t files, size_t workers)
    : slots_(files),
      current_(workers, kIdle),
      committed_(std::make_unique<std::atomic<bool>[]>(workers)) {}

std::optional<size_t> ResultOrder::begin_next(size_t worker) {
    std::lock_guard<platform::Mutex> lock(mutex_);
    if (stopped_ || next_ >= slots_.size())
        return std::nullopt;
    current_[worker] = next_;
    committed_[worker].store(false);
    return next_++;
}

std::atomic<bool>& ResultOrder::commit_flag(size_t worker) {
    return committed_[worker];
}

void ResultOrder::finish(size_t worker, size_t index, FileOutcome outcome) {
    {
        std::lock_guard<platform::Mutex> lock(mutex_);
        Slot& slot = slots_[index];
        slot.late = stopped_;
        slot.outcome = std::move(outcome);
        current_[worker] = kIdle;
    }
    changed_.notify_all();
}

std::optional<FileOutcome> ResultOrder::take(size_t index) {
    std::unique_lock<platform::Mutex> lock(mutex_);
    Slot& slot = slots_.at(index);
    // After a stop the files started are those before `next_`; any other never will be.
    changed_.wait(
        lock, [&] { return slot.outcome.has_value() || woken_ || (stopped_ && index >= next_); });
    if (!slot.outcome || slot.taken)
        return std::nullopt;
    slot.taken = true;
    return std::move(*slot.outcome);
}

void ResultOrder::wake() {
    {
        std::lock_guard<platform::Mutex> lock(mutex_);
        woken_ = true;
    }
    changed_.notify_all();
}

void ResultOrder::stop() {
    {
        std::lock_guard<platform::Mutex> lock(mutex_);
        stopped_ = true;
    }
    changed_.notify_all();
}

std::vector<std::pair<size_t, FileOutcome>> ResultOrder::take_finished() {
    std::unique_lock<platform::Mutex> lock(mutex_);
    // A PDF that was put in place is reported, however late its outcome comes. The gate is
    // closed, so no worker puts another one in place meanwhile.
    changed_.wait(lock, [&] {
        for (size_t w = 0; w < current_.size(); ++w) {
            if (current_[w] != kIdle && committed_[w].load())
                return false;
        }
        return true;
    });
    std::vector<std::pair<size_t, FileOutcome>> finished;
    for (size_t i = 0; i < slots_.size(); ++i) {
        Slot& slot = slots_[i];
        if (!slot.outcome || slot.taken || (slot.late && !slot.outcome->committed))
            continue;
        slot.taken = true;
        finished.emplace_back(i, std::move(*slot.outcome));
    }
    return finished;
}

size_t ResultOrder::started_count() const {
    std::lock_guard<platform::Mutex> lock(mutex_);
    return next_;
}

}  // namespace trelvane::app
