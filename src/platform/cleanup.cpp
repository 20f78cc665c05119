#include "platform/cleanup.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <climits>
#include <cstring>
#include <mutex>

namespace trelvane::platform {

namespace {

enum SlotState : int { kFree = 0, kFilling = 1, kWatched = 2 };

struct Slot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX] = {};
};

// More files than this at once only happen with more parallel conversions than anyone runs;
// a file beyond it is simply not watched.
constexpr size_t kSlotCount = 256;
std::array<Slot, kSlotCount> slots;

struct CommitGate {
    std::mutex mutex;
    bool closed = false;
};

CommitGate& gate() {
    static CommitGate instance;
    return instance;
}

thread_local std::atomic<bool>* commit_observer = nullptr;

void remove_watched() {
    for (Slot& slot : slots) {
        if (slot.state.load(std::memory_order_acquire) == kWatched)
            ::unlink(slot.path);
    }
}

}  // namespace

CleanupName::CleanupName(const std::string& path) {
    if (path.empty() || path.size() >= PATH_MAX)
        return;
    for (size_t i = 0; i < kSlotCount; ++i) {
        int expected = kFree;
        if (slots[i].state.compare_exchange_strong(expected, kFilling, std::memory_order_acq_rel)) {
            std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
            slots[i].state.store(kWatched, std::memory_order_release);
            slot_ = static_cast<int>(i);
            return;
        }
    }
}

CleanupName& CleanupName::operator=(CleanupName&& other) noexcept {
    if (this != &other) {
        release();
        slot_ = other.slot_;
        other.slot_ = -1;
    }
    return *this;
}

void CleanupName::release() {
    if (slot_ >= 0) {
        slots[static_cast<size_t>(slot_)].state.store(kFree, std::memory_order_release);
        slot_ = -1;
    }
}

bool begin_commit() {
    CommitGate& g = gate();
    g.mutex.lock();
    if (g.closed) {
        g.mutex.unlock();
        return false;
    }
    return true;
}

void end_commit(bool committed) {
    CommitGate& g = gate();
    // Set before the gate opens again, so whoever closes it next sees the flag.
    if (committed && commit_observer != nullptr)
        commit_observer->store(true);
    g.mutex.unlock();
}

void close_commit_gate() {
    CommitGate& g = gate();
    std::lock_guard<std::mutex> lock(g.mutex);
    g.closed = true;
}

void observe_commits(std::atomic<bool>* flag) {
    commit_observer = flag;
}

void stop_commits_and_remove_registered_files() {
    close_commit_gate();
    remove_watched();
}

void remove_registered_files_from_signal_handler() {
    remove_watched();
}

}  // namespace trelvane::platform
