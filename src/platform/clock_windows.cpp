#include "platform/clock.h"

namespace trelvane::platform {

bool local_time(std::time_t time, std::tm& parts, long* utc_offset_seconds) {
    if (localtime_s(&parts, &time) != 0)
        return false;
    if (utc_offset_seconds != nullptr) {
        // The broken-down local time read back as if it were UTC, less the time itself.
        std::tm copy = parts;
        const std::time_t as_utc = _mkgmtime(&copy);
        *utc_offset_seconds =
            as_utc == static_cast<std::time_t>(-1) ? 0 : static_cast<long>(as_utc - time);
    }
    return true;
}

bool utc_time(std::time_t time, std::tm& parts) {
    return gmtime_s(&parts, &time) == 0;
}

}  // namespace trelvane::platform
