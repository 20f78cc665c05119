// How freed memory is kept. Each conversion allocates its page buffers (a bitmap of half a
// megabyte and more a page) and frees them at its end; by default the C library hands freed
// memory of that size straight back to the system, and the next fax faults every page of it in
// again, which costs more than a tenth of a millisecond a page buffer on virtual machines.
#pragma once

namespace trelvane::platform {

// Keeps buffers of up to a few megabytes, once freed, for the next allocation of the process
// instead of returning them to the system at once. Buffers larger than that still go back as
// soon as they are freed, so what the process keeps stays a few megabytes a thread.
void keep_freed_memory_for_reuse();

}  // namespace trelvane::platform
