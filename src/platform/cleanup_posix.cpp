#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/cleanup.h"
#include "platform/cleanup_system.h"

namespace trelvane::platform {

void remove_registered_name(const char* path) {
    ::unlink(path);
}

std::string host_name() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0)
        host[0] = '\0';
    return host;
}

bool process_is_gone(long pid) {
    // ESRCH: no such process. EPERM means it exists under another user.
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

void remove_stale_files(const std::string& folder,
                        std::string_view (*owner_of)(std::string_view name)) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        const std::string_view tag = owner_of(name);
        if (tag.empty() || !owner_is_gone(tag))
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode))
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace trelvane::platform
