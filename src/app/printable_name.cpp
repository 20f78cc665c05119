#include "app/printable_name.h"

#include <cstdint>

namespace trelvane::app {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void append_hex(std::string& out, uint8_t byte) {
    out += "\\x";
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

// Length of the well-formed UTF-8 sequence at the start of text, or 0. Overlong forms,
// surrogates and code points past U+10FFFF are not well formed.
size_t utf8_sequence_length(std::string_view text, uint32_t& code_point) {
    const auto lead = static_cast<uint8_t>(text[0]);
    size_t length;
    uint32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
        code_point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
        code_point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
        code_point = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<uint8_t>(text[i]);
        if ((byte & 0xC0) != 0x80)
            return 0;
        code_point = (code_point << 6) | (byte & 0x3F);
    }
    if (code_point < minimum || code_point > 0x10FFFF ||
        (code_point >= 0xD800 && code_point <= 0xDFFF))
        return 0;
    return length;
}

}  // namespace

std::string printable_name(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    size_t i = 0;
    while (i < name.size()) {
        const auto byte = static_cast<uint8_t>(name[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            out += static_cast<char>(byte);
            ++i;
            continue;
        }
        if (const char* short_form = byte == '\r'   ? "\\r"
                                     : byte == '\n' ? "\\n"
                                     : byte == '\t' ? "\\t"
                                                    : nullptr) {
            out += short_form;
            ++i;
            continue;
        }
        uint32_t code_point = 0;
        const size_t length = byte >= 0x80 ? utf8_sequence_length(name.substr(i), code_point) : 0;
        // The C1 controls are control characters too: some terminals act on them.
        if (length == 0 || (code_point >= 0x80 && code_point <= 0x9F)) {
            const size_t escaped = length == 0 ? 1 : length;
            for (size_t k = 0; k < escaped; ++k)
                append_hex(out, static_cast<uint8_t>(name[i + k]));
            i += escaped;
            continue;
        }
        out.append(name.substr(i, length));
        i += length;
    }
    return out;
}

}  // namespace trelvane::app
