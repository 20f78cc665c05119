#include "platform/open_files.h"

#include <dirent.h>
#include <sys/resource.h>

namespace trelvane::platform {

void raise_open_file_limit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

size_t free_descriptors() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    size_t open = 0;
    if (DIR* folder = opendir("/proc/self/fd")) {
        // Every entry but "." and ".." is a descriptor, the listing's own among them.
        while (const dirent* entry = readdir(folder)) {
            if (entry->d_name[0] != '.')
                ++open;
        }
        closedir(folder);
        if (open > 0)
            --open;
    } else {
        open = 16;  // no /proc: the usual few (standard streams, a log, the libraries')
    }
    const size_t most = limit.rlim_cur == RLIM_INFINITY ? size_t{1} << 20 : limit.rlim_cur;
    return most > open ? most - open : 0;
}

}  // namespace trelvane::platform
