// Local time for time stamps.
#pragma once

#include <ctime>
#include <string>

namespace trelvane::platform {

// The time as local time in the form "2009-04-30 17:05:09".
std::string format_local_time(std::time_t time);

// The current local time in the same form.
std::string local_time_stamp();

}  // namespace trelvane::platform
