#include <cstring>

#include "platform/system_error.h"

namespace trelvane::platform {

std::string system_message(int error_number) {
    if (error_number == 0)
        return {};
    // The C library's words for errno values, which the platform layer reports every failure
    // as; strerror_s is its thread-safe form.
    char buffer[256] = {};
    if (strerror_s(buffer, sizeof buffer, error_number) != 0 || buffer[0] == '\0')
        return "error " + std::to_string(error_number);
    return buffer;
}

std::string system_message_suffix(int error_number) {
    if (error_number == 0)
        return {};
    return " (" + system_message(error_number) + ")";
}

}  // namespace trelvane::platform
