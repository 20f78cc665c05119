// The system calls behind the cleanup registry and the owner tags (cleanup.h).
#pragma once

#include <string>

namespace trelvane::platform {

// Removes a registered file; called where nothing may allocate (a signal handler on POSIX
// systems, the console's control thread on Windows). Failures are ignored.
void remove_registered_name(const char* path);

// This machine's name (empty when the system does not tell).
std::string host_name();

// True when no process of that number runs on this machine any more.
bool process_is_gone(long pid);

}  // namespace trelvane::platform
