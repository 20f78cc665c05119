#include "platform/system_error.h"

#include <cstring>

namespace trelvane::platform {

namespace {

// strerror_r comes in two flavours; both are thread-safe, unlike strerror.
[[maybe_unused]] const char* message_from(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* message_from(const char* result, const char*) {
    return result;
}

}  // namespace

std::string system_message(int error_number) {
    if (error_number == 0)
        return {};
    char buffer[256] = {};
    const char* text = message_from(strerror_r(error_number, buffer, sizeof buffer), buffer);
    if (text == nullptr || *text == '\0')
        return "error " + std::to_string(error_number);
    return text;
}

std::string system_message_suffix(int error_number) {
    if (error_number == 0)
        return {};
    return " (" + system_message(error_number) + ")";
}

}  // namespace trelvane::platform
