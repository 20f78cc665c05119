// The operating system's own words for a failure, for the report lines that name it.
#pragma once

#include <string>

namespace trelvane::platform {

// The system's message for an error number ("Permission denied", "No space left on device").
// Empty for 0.
std::string system_message(int error_number);

// " (message)" for an error number, or nothing for 0: the form the report lines end with.
std::string system_message_suffix(int error_number);

}  // namespace trelvane::platform
