// Reading and writing settings files in the INI form: "[Section]" lines, then key=value lines.
// Section and key names compare without regard to ASCII case; a missing file, section or key
// yields the caller's default; writing changes one line in place and keeps the rest of the file.
#pragma once

#include <string>
#include <string_view>

namespace trelvane::platform {

// The key's value with surrounding blanks removed (and one pair of enclosing quotes, when the
// value is quoted), or default_value when the key is missing.
std::string read_profile_string(const std::string& file, std::string_view section,
                                std::string_view key, std::string_view default_value);

// The value's leading decimal digits as a number (0 when it does not start with a digit; very
// large numbers saturate), or default_value when the key is missing.
int read_profile_int(const std::string& file, std::string_view section, std::string_view key,
                     int default_value);

// Sets the key to the value, adding the key or the section when missing and creating the file
// when needed. The file is replaced atomically. False when it cannot be written, or when a
// name or the value holds a line break (it would change the file's structure); error, when
// given, gets the reason (EINVAL for such a name or value).
bool write_profile_string(const std::string& file, std::string_view section, std::string_view key,
                          std::string_view value, int* error = nullptr);

}  // namespace trelvane::platform
