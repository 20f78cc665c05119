// Local time for time stamps.
#pragma once

#include <ctime>
#include <string>

namespace trelvane::platform {

// The time broken down as local time, with the local time's offset from UTC in seconds (east
// positive) when asked for; false when the system cannot convert it.
bool local_time(std::time_t time, std::tm& parts, long* utc_offset_seconds = nullptr);

// The time broken down as UTC; false when the system cannot convert it.
bool utc_time(std::time_t time, std::tm& parts);

// The time as local time in the form "2009-04-30 17:05:09".
std::string format_local_time(std::time_t time);

// The current local time in the same form.
std::string local_time_stamp();

}  // namespace trelvane::platform
