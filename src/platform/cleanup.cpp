#include "platform/cleanup.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/cleanup_system.h"
#include "platform/conversion_context.h"
#include "platform/file_io.h"

namespace trelvane::platform {

namespace {

// Long enough for the longest names the systems allow (32,767 UTF-16 units on Windows are more,
// but a temporary name that long cannot occur beside a PDF's name that fits).
constexpr size_t kRegisteredPathBytes = 4096;

enum SlotState : int { kFree = 0, kFilling = 1, kWatched = 2 };

struct Slot {
    std::atomic<int> state{kFree};
    CleanupKind kind = CleanupKind::File;
    char path[kRegisteredPathBytes] = {};
};

std::atomic<void (*)(const char*)> numbered_files_remover{nullptr};

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

void remove_watched() {
    for (Slot& slot : slots) {
        if (slot.state.load(std::memory_order_acquire) != kWatched)
            continue;
        if (slot.kind == CleanupKind::File) {
            remove_registered_name(slot.path);
        } else if (auto remover = numbered_files_remover.load()) {
            remover(slot.path);
        }
    }
}

}  // namespace

CleanupName::CleanupName(const std::string& path, CleanupKind kind) {
    if (path.empty() || path.size() >= kRegisteredPathBytes)
        return;
    for (size_t i = 0; i < kSlotCount; ++i) {
        int expected = kFree;
        if (slots[i].state.compare_exchange_strong(expected, kFilling, std::memory_order_acq_rel)) {
            std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
            slots[i].kind = kind;
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
    if (std::atomic<bool>* flag = conversion_context().committed; committed && flag != nullptr)
        flag->store(true);
    g.mutex.unlock();
}

void close_commit_gate() {
    CommitGate& g = gate();
    std::lock_guard<std::mutex> lock(g.mutex);
    g.closed = true;
}

void stop_commits_and_remove_registered_files() {
    close_commit_gate();
    remove_watched();
}

void remove_registered_files_from_signal_handler() {
    remove_watched();
}

void set_numbered_files_remover(void (*remover)(const char* stem)) {
    numbered_files_remover.store(remover);
}

namespace {

constexpr size_t kHostDigits = 6;

std::string host_digits() {
    const std::string name = host_name();
    const char* host = name.c_str();
    // FNV-1a: a stable hash, the same in every run on this host.
    uint32_t hash = 2166136261u;
    for (const char* c = host; *c != '\0'; ++c) {
        hash ^= static_cast<uint8_t>(*c);
        hash *= 16777619u;
    }
    char digits[16];
    std::snprintf(digits, sizeof digits, "%06x", static_cast<unsigned>(hash & 0xFFFFFF));
    return digits;
}

bool all_of(std::string_view text, int (*test)(int)) {
    for (char c : text) {
        if (!test(static_cast<unsigned char>(c)))
            return false;
    }
    return !text.empty();
}

}  // namespace

const std::string& owner_tag() {
    static const std::string tag = host_digits() + "-" + std::to_string(process_id());
    return tag;
}

bool owner_is_gone(std::string_view tag) {
    static const std::string host = host_digits();
    if (tag.size() < kHostDigits + 2 || tag.substr(0, kHostDigits) != host ||
        tag[kHostDigits] != '-')
        return false;
    const std::string_view digits = tag.substr(kHostDigits + 1);
    if (digits.size() > 9 || !all_of(digits, [](int c) { return std::isdigit(c); }))
        return false;
    const long pid = std::strtol(std::string(digits).c_str(), nullptr, 10);
    if (pid <= 0 || pid == process_id())
        return false;
    return process_is_gone(pid);
}

}  // namespace trelvane::platform
