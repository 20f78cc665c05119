#include <cstdio>

#include "platform/open_files.h"

namespace trelvane::platform {

namespace {

// The C library's limit on streams and descriptors, raised at start.
constexpr int kStreams = 2048;

}  // namespace

void raise_open_file_limit() {
    _setmaxstdio(kStreams);
}

size_t free_descriptors() {
    // Handles have no per-process limit worth the name; the C library's descriptors do, and a
    // conversion holds a few. Reported as the limit less the usual few in use.
    constexpr size_t kInUse = 16;
    const int limit = _getmaxstdio();
    return limit > static_cast<int>(kInUse) ? static_cast<size_t>(limit) - kInUse : 0;
}

}  // namespace trelvane::platform
