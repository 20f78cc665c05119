#include "platform/processors.h"

#include <sched.h>
#include <unistd.h>

namespace trelvane::platform {

unsigned online_processors() {
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 0;
}

std::vector<int> allowed_processors() {
    std::vector<int> processors;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0)
        return processors;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &set))
            processors.push_back(cpu);
    }
    return processors;
}

bool bind_thread(int processor) {
    if (processor < 0 || processor >= CPU_SETSIZE)
        return false;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(processor, &set);
    return ::sched_setaffinity(0, sizeof set, &set) == 0;
}

}  // namespace trelvane::platform
