#include "platform/name_case_system.h"
#include "platform/windows_calls.h"

namespace trelvane::platform {

char32_t upper_case(char32_t code) {
    if (code < 0x80)
        return (code >= 'a' && code <= 'z') ? code - 'a' + 'A' : code;
    // The invariant locale's table, which is the one file systems use for names.
    wchar_t in[2];
    int in_length = 1;
    if (code >= 0x10000) {
        in[0] = static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
        in[1] = static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        in_length = 2;
    } else {
        in[0] = static_cast<wchar_t>(code);
    }
    wchar_t out[4] = {};
    const int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, in, in_length, out, 4,
                                     nullptr, nullptr, 0);
    if (length == 1 && (out[0] < 0xD800 || out[0] > 0xDFFF))
        return out[0];
    if (length == 2 && out[0] >= 0xD800 && out[0] <= 0xDBFF && out[1] >= 0xDC00 && out[1] <= 0xDFFF)
        return 0x10000 + ((static_cast<char32_t>(out[0]) - 0xD800) << 10) + (out[1] - 0xDC00);
    return code;
}

}  // namespace trelvane::platform
