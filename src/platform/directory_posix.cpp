#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "platform/folder_entries.h"
#include "platform/system_error.h"

namespace trelvane::platform {

namespace {

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

void read_folder_entries(const std::string& folder, std::string_view pattern,
                         std::vector<DirectoryEntry>& entries, int* error) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) {
        if (error != nullptr)
            *error = errno;
        return;
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
}

}  // namespace trelvane::platform
