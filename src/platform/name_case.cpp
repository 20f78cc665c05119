#include "platform/name_case.h"

#include <cstdint>

#include "platform/name_case_system.h"

namespace trelvane::platform {

namespace {

// The code point starting at text[at] and its length in bytes; length 0 for a byte that does
// not start a well-formed sequence (an overlong form, a surrogate, beyond U+10FFFF).
struct Decoded {
    char32_t code = 0;
    size_t length = 0;
};

Decoded decode(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[at + i]); };
    const uint8_t lead = byte(0);
    if (lead < 0x80)
        return {lead, 1};
    size_t length = 0;
    char32_t code = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07, least = 0x10000;
    } else {
        return {};
    }
    if (at + length > text.size())
        return {};
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return {};
        code = (code << 6) | (byte(i) & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {};
    return {code, length};
}

void encode(char32_t code, std::string& out) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

std::string name_case_key(std::string_view name) {
    std::string key;
    key.reserve(name.size());
    for (size_t at = 0; at < name.size();) {
        const Decoded d = decode(name, at);
        if (d.length == 0) {
            key += name[at++];
            continue;
        }
        encode(upper_case(d.code), key);
        at += d.length;
    }
    return key;
}

bool listed_before(std::string_view a, std::string_view b) {
    // UTF-8's byte order is the order of its code points.
    const std::string key_a = name_case_key(a);
    const std::string key_b = name_case_key(b);
    return key_a != key_b ? key_a < key_b : a < b;
}

}  // namespace trelvane::platform
