#include "platform/memory_reuse.h"

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace trelvane::platform {

void keep_freed_memory_for_reuse() {
#ifdef __GLIBC__
    // Allocations below 4 MB come from the heap rather than from mappings of their own, and a
    // heap keeps up to 8 MB free at its top before it gives any back.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 8 << 20);
#endif
}

}  // namespace trelvane::platform
