#include "app/fax_settling.h"

#include <optional>

#include "app/conversion_workspace.h"
#include "app/pipeline.h"

namespace trelvane::app {

bool changed_too_recently(const platform::FileTimes& times, SettleClock::time_point now) {
    const auto since_epoch = std::chrono::seconds(times.modification_seconds) +
                             std::chrono::nanoseconds(times.modification_nanoseconds);
    const SettleClock::time_point modified(
        std::chrono::duration_cast<SettleClock::duration>(since_epoch));
    return modified > now - kSettleTime && modified <= now + kSettleTime;
}

SettlingConverter settle_first(SettlingConverter convert, FileStatus left, SettleNow now) {
    if (!now)
        now = [] { return SettleClock::now(); };
    if (!convert) {
        convert = [](BatchJob& job, const std::string& source, const std::string& pdf,
                     ConversionWorkspace& workspace) {
            return convert_one_fax(job, source, pdf, workspace);
        };
    }
    return [convert = std::move(convert), left, now = std::move(now)](
               BatchJob& job, const std::string& source, const std::string& pdf,
               ConversionWorkspace& workspace) {
        if (fax_still_settling(source, now()))
            return status_outcome(source, pdf, left);
        return convert(job, source, pdf, workspace);
    };
}

bool fax_still_settling(const std::string& path, SettleClock::time_point now) {
    const std::optional<platform::FileTimes> times = platform::read_file_times(path);
    return times && changed_too_recently(*times, now);
}

}  // namespace trelvane::app
