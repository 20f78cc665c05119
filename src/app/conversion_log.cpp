#include "app/conversion_log.h"

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/paths.h"

namespace trelvane::app {

std::string format_log_record(const std::string& time_stamp, const std::string& report_text) {
    // No text-mode translation: the stamp and separator end in a line feed, the report keeps
    // its own CR LF line ends.
    std::string record;
    record.reserve(time_stamp.size() + report_text.size() + 52);
    record += time_stamp;
    record += '\n';
    record += report_text;
    record.append(50, '-');
    record += '\n';
    return record;
}

bool append_log_record(const std::string& log_file_path, const std::string& report_text,
                       int* error) {
    if (error != nullptr)
        *error = 0;
    if (log_file_path.empty())
        return true;
    const std::string folder = platform::folder_of(log_file_path);
    if (!folder.empty() && !platform::folder_exists(folder) &&
        !platform::create_folder(folder, error)) {
        return false;
    }
    // One write call, so records of two runs at once never interleave.
    return platform::append_to_file(
        log_file_path, format_log_record(platform::local_time_stamp(), report_text), error);
}

}  // namespace trelvane::app
