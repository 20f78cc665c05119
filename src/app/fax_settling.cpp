#include "app/fax_settling.h"

#include <optional>

namespace trelvane::app {

bool changed_too_recently(const platform::FileTimes& times, SettleClock::time_point now) {
    const auto since_epoch = std::chrono::seconds(times.modification_seconds) +
                             std::chrono::nanoseconds(times.modification_nanoseconds);
    const SettleClock::time_point modified(
        std::chrono::duration_cast<SettleClock::duration>(since_epoch));
    return modified > now - kSettleTime && modified <= now + kSettleTime;
}

bool fax_still_settling(const std::string& path, SettleClock::time_point now) {
    const std::optional<platform::FileTimes> times = platform::read_file_times(path);
    return times && changed_too_recently(*times, now);
}

}  // namespace trelvane::app
