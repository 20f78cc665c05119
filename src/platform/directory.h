// Listing a folder's entries that match a wildcard pattern, with the wildcard rules of the
// system the program was first written for.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trelvane::platform {

// `*` stands for any run of characters (also none), `?` for exactly one; ASCII letters compare
// without regard to case. A pattern ending in ".*" also matches a name without any dot when
// the part before ".*" matches it, so "*.*" matches every name.
bool wildcard_match(std::string_view pattern, std::string_view name);

struct DirectoryEntry {
    std::string name;
    bool is_folder = false;
    // A symbolic link to a folder: reported as a folder, but a walk should not descend into
    // it, since links can form cycles.
    bool is_link = false;
    // Neither a regular file nor a folder (a pipe, a socket, a device, a dangling link):
    // opening it could block or mean nothing, so a walk should not read it.
    bool is_special = false;
    // For a special entry, what it is, for the user ("a pipe, not a file", or why a link cannot
    // be followed).
    std::string special_reason;
};

// The entries of the folder named by the search pattern's text before its last separator
// whose names match the pattern's last component, in the order an NTFS folder lists them
// (platform::listed_before), whatever order the file system keeps them in.
// "." and ".." are included when they match, as the original enumeration did. An unreadable
// or missing folder gives no entries; error, when given, gets the reason (0 when the folder
// was read to its end).
std::vector<DirectoryEntry> find_matching_entries(const std::string& search_pattern,
                                                  int* error = nullptr);

}  // namespace trelvane::platform
