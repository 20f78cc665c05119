// The descriptors a process may hold. Every conversion keeps a few files open while it runs, so
// a run of many conversions at once can need more than the usual soft limit of 1024.
#pragma once

#include <cstddef>

namespace trelvane::platform {

// Raises this process's soft limit on open files to its hard limit (what a program that needs
// many descriptors is expected to do itself). Nothing changes when that is not allowed.
void raise_open_file_limit();

// How many more files this process may open now: its soft limit less the descriptors open.
size_t free_descriptors();

}  // namespace trelvane::platform
