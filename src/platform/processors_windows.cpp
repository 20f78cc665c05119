#include "platform/processors.h"
#include "platform/windows_calls.h"

namespace trelvane::platform {

unsigned online_processors() {
    return static_cast<unsigned>(GetActiveProcessorCount(ALL_PROCESSOR_GROUPS));
}

std::vector<int> allowed_processors() {
    // The processors of the process's own group: a thread's affinity can only name those.
    DWORD_PTR process_mask = 0;
    DWORD_PTR system_mask = 0;
    std::vector<int> processors;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask))
        return processors;
    for (int cpu = 0; cpu < static_cast<int>(sizeof(DWORD_PTR) * 8); ++cpu) {
        if ((process_mask >> cpu) & 1)
            processors.push_back(cpu);
    }
    return processors;
}

bool bind_thread(int processor) {
    if (processor < 0 || processor >= static_cast<int>(sizeof(DWORD_PTR) * 8))
        return false;
    return SetThreadAffinityMask(GetCurrentThread(), DWORD_PTR{1} << processor) != 0;
}

}  // namespace trelvane::platform
