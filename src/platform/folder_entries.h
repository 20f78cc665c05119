// Reading one folder's entries, for find_matching_entries; each system has its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/directory.h"

namespace trelvane::platform {

// Appends the entries of `folder` (which ends with a separator) whose names match the
// wildcard pattern, in the order the system lists them. error, when given, gets the reason the
// folder could not be read, or an entry not looked at (left 0 otherwise).
void read_folder_entries(const std::string& folder, std::string_view pattern,
                         std::vector<DirectoryEntry>& entries, int* error);

}  // namespace trelvane::platform
