// Mutex and ConditionVariable over the system's slim reader/writer locks and condition
// variables, with the parts of std::mutex's and std::condition_variable's interfaces the
// program uses. Included through platform/sync.h only.
#pragma once

#include <windows.h>

#include <chrono>
#include <mutex>

namespace trelvane::platform {

class Mutex {
  public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock() { AcquireSRWLockExclusive(&lock_); }
    bool try_lock() { return TryAcquireSRWLockExclusive(&lock_) != 0; }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }
    SRWLOCK* native_handle() { return &lock_; }

  private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class ConditionVariable {
  public:
    ConditionVariable() = default;
    ConditionVariable(const ConditionVariable&) = delete;
    ConditionVariable& operator=(const ConditionVariable&) = delete;

    void notify_one() { WakeConditionVariable(&condition_); }
    void notify_all() { WakeAllConditionVariable(&condition_); }

    void wait(std::unique_lock<Mutex>& lock) {
        SleepConditionVariableSRW(&condition_, lock.mutex()->native_handle(), INFINITE, 0);
    }
    template <typename Predicate>
    void wait(std::unique_lock<Mutex>& lock, Predicate ready) {
        while (!ready())
            wait(lock);
    }

    template <typename Rep, typename Period, typename Predicate>
    bool wait_for(std::unique_lock<Mutex>& lock, const std::chrono::duration<Rep, Period>& time,
                  Predicate ready) {
        return wait_until(lock, std::chrono::steady_clock::now() + time, std::move(ready));
    }

    template <typename Clock, typename Duration, typename Predicate>
    bool wait_until(std::unique_lock<Mutex>& lock,
                    const std::chrono::time_point<Clock, Duration>& deadline, Predicate ready) {
        while (!ready()) {
            const auto left = deadline - Clock::now();
            if (left <= left.zero())
                return ready();
            // Rounded up, so that a wait never ends before the deadline it was given.
            const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
            const DWORD timeout = milliseconds >= static_cast<long long>(INFINITE - 1)
                                      ? INFINITE - 1
                                      : static_cast<DWORD>(milliseconds);
            SleepConditionVariableSRW(&condition_, lock.mutex()->native_handle(), timeout, 0);
        }
        return true;
    }

  private:
    CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};

}  // namespace trelvane::platform
