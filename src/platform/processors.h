// The processors this process may run on, and keeping a thread on one of them.
//
// A pool's worker threads wake each other as they hand work on, and the system tends to run a
// woken thread on the processor of the thread that woke it. On virtual machines that describe
// no caches to it, it was seen to leave two busy workers sharing one processor while the other
// stood idle, for 24 ms at a time, a tenth of a folder run. A pool that keeps each of its busy
// workers on a processor of its own does not depend on the system spreading them.
#pragma once

#include <vector>

namespace trelvane::platform {

// How many processors the system has online (0 when it does not tell).
unsigned online_processors();

// The processors the calling thread may run on, in ascending order (empty when unknown).
std::vector<int> allowed_processors();

// Keeps the calling thread on `processor` (one of allowed_processors()). False when the system
// refused; the thread runs where it ran before.
bool bind_thread(int processor);

}  // namespace trelvane::platform
