#include "platform/clock.h"

namespace trelvane::platform {

bool local_time(std::time_t time, std::tm& parts, long* utc_offset_seconds) {
    if (localtime_r(&time, &parts) == nullptr)
        return false;
    if (utc_offset_seconds != nullptr)
        *utc_offset_seconds = parts.tm_gmtoff;
    return true;
}

bool utc_time(std::time_t time, std::tm& parts) {
    return gmtime_r(&time, &parts) != nullptr;
}

}  // namespace trelvane::platform
