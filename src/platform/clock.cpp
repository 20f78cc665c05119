#include "platform/clock.h"

namespace trelvane::platform {

std::string format_local_time(std::time_t time) {
    std::tm parts{};
    if (!local_time(time, parts))
        return "0000-00-00 00:00:00";
    char text[32];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return std::string(text, n);
}

std::string local_time_stamp() {
    return format_local_time(std::time(nullptr));
}

}  // namespace trelvane::platform
