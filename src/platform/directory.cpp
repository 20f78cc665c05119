#include "platform/directory.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/name_case.h"
#include "platform/paths.h"
#include "platform/system_error.h"

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

// What a walk should tell the user about an entry it will not read.
std::string special_reason(const struct stat& st, bool is_link, int link_error) {
    if (is_link && link_error != 0)
        return "a link that cannot be followed: " + system_message(link_error);
    if (S_ISFIFO(st.st_mode))
        return "a pipe, not a file";
    if (S_ISSOCK(st.st_mode))
        return "a socket, not a file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return "a device, not a file";
    return "not a regular file";
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

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
    std::string folder = sep == std::string::npos ? "." : search_pattern.substr(0, sep + 1);
    std::string pattern =
        sep == std::string::npos ? search_pattern : search_pattern.substr(sep + 1);
    if (pattern.empty())
        return entries;

    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) {
        if (error != nullptr)
            *error = errno;
        return entries;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (entry == nullptr) {
            if (errno != 0 && error != nullptr)
                *error = errno;  // the listing broke off (an I/O error): say so, keep what came
            break;
        }
        std::string_view name = entry->d_name;
        if (!wildcard_match(pattern, name))
            continue;
        DirectoryEntry found;
        found.name = std::string(name);
        std::string full = folder + found.name;
        struct stat st {};
        if (lstat(full.c_str(), &st) != 0) {
            // Vanished meanwhile is no error; an entry that cannot be looked at is.
            if (errno != ENOENT && error != nullptr)
                *error = errno;
            continue;
        }
        int link_error = 0;
        if (S_ISLNK(st.st_mode)) {
            found.is_link = true;
            if (stat(full.c_str(), &st) != 0) {
                link_error = errno;
                st.st_mode = 0;
            }
        }
        found.is_folder = S_ISDIR(st.st_mode);
        found.is_special = !found.is_folder && !S_ISREG(st.st_mode);
        if (found.is_special)
            found.special_reason = special_reason(st, found.is_link, link_error);
        entries.push_back(std::move(found));
    }
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
