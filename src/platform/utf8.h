// UTF-8 as the program reads and writes names and texts: one code point at a time, well-formed
// sequences only (no overlong forms, no surrogates, nothing beyond U+10FFFF).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trelvane::platform {

// The code point starting at text[at] and its length in bytes; length 0 for a byte that does
// not start a well-formed sequence.
struct Utf8Character {
    char32_t code = 0;
    size_t length = 0;
};
Utf8Character decode_utf8_at(std::string_view text, size_t at);

// Appends the code point's UTF-8 bytes.
void append_utf8(std::string& out, char32_t code);

}  // namespace trelvane::platform
