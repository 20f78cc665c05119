#include "platform/directory.h"

#include <algorithm>

#include "platform/folder_entries.h"
#include "platform/name_case.h"
#include "platform/paths.h"

namespace trelvane::platform {

namespace {

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Plain `*` and `?` matching; linear backtracking to the last star keeps it O(n*m) whatever
// the pattern.
bool match_plain(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0;
    size_t star = std::string_view::npos, star_name = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || ascii_lower(pattern[p]) == ascii_lower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            star_name = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++star_name;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

}  // namespace

bool wildcard_match(std::string_view pattern, std::string_view name) {
    if (match_plain(pattern, name))
        return true;
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
        name.find('.') == std::string_view::npos) {
        return match_plain(pattern.substr(0, pattern.size() - 2), name);
    }
    return false;
}

std::vector<DirectoryEntry> find_matching_entries(const std::string& search_pattern, int* error) {
    if (error != nullptr)
        *error = 0;
    std::vector<DirectoryEntry> entries;
    size_t sep = search_pattern.rfind(kPathSeparator);
    std::string folder = sep == std::string::npos ? std::string(".") + kPathSeparator
                                                  : search_pattern.substr(0, sep + 1);
    std::string pattern =
        sep == std::string::npos ? search_pattern : search_pattern.substr(sep + 1);
    if (pattern.empty())
        return entries;

    read_folder_entries(folder, pattern, entries, error);
    // Each name's key once, not once per comparison: a folder may hold 100,000 faxes.
    std::vector<std::pair<std::string, size_t>> keys;
    keys.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        keys.emplace_back(name_case_key(entries[i].name), i);
    std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first
                                  : entries[a.second].name < entries[b.second].name;
    });
    std::vector<DirectoryEntry> sorted;
    sorted.reserve(entries.size());
    for (const auto& key : keys)
        sorted.push_back(std::move(entries[key.second]));
    return sorted;
}

}  // namespace trelvane::platform
