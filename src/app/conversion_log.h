// The conversion log: every run appends one dated record of its report.
#pragma once

#include <string>

namespace trelvane::app {

// Appends the time stamp line, the report text as it stands and a separator line of 50 hyphens
// to the log file. Creates the log's own folder when missing (one level only); when that fails,
// or the path is empty, nothing is written. False when the record could not be written, with
// errno's reason in `error` when given (an empty path is no failure).
bool append_log_record(const std::string& log_file_path, const std::string& report_text,
                       int* error = nullptr);

// The record as it is written, for a given time stamp ("2009-04-30 17:05:09").
std::string format_log_record(const std::string& time_stamp, const std::string& report_text);

}  // namespace trelvane::app
