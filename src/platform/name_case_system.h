// The system's upper-case mapping of one character, for name_case.cpp.
#pragma once

namespace trelvane::platform {

// The character upper-cased by the system's Unicode table, whatever the user's locale; the
// character itself where the mapping is not one character for one.
char32_t upper_case(char32_t code);

}  // namespace trelvane::platform
