// The mutex and condition variable of the conversion threads' hand-overs (the processor turns,
// the results in plan order). On POSIX systems they are the standard ones. On Windows the
// standard ones come from MinGW's POSIX-threads layer, whose condition variables wait on
// kernel semaphores: a hand-over between two threads took 228 us under Wine against 10 us with
// the system's own slim locks and condition variables, which these use, and a run of small
// faxes makes several hand-overs a fax.
#pragma once

#ifdef _WIN32
#include "platform/sync_windows.h"
#else
#include <condition_variable>
#include <mutex>

namespace trelvane::platform {
using Mutex = std::mutex;
using ConditionVariable = std::condition_variable;
}  // namespace trelvane::platform
#endif
