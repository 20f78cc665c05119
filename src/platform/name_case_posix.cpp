#include <locale.h>
#include <wctype.h>

#include "platform/name_case_system.h"

namespace trelvane::platform {

namespace {

// The system's Unicode case table, whatever locale the user runs in: the names of a run must
// not depend on $LANG. Without a C.UTF-8 locale only ASCII letters are upper-cased.
locale_t unicode_locale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    return locale;
}

}  // namespace

char32_t upper_case(char32_t code) {
    if (code < 0x80)
        return (code >= 'a' && code <= 'z') ? code - 'a' + 'A' : code;
    const locale_t locale = unicode_locale();
    if (locale == locale_t{})
        return code;
    const wint_t mapped = towupper_l(static_cast<wint_t>(code), locale);
    // One character for one, as NTFS's table maps them; a mapping into surrogates or beyond
    // Unicode would not come back as UTF-8.
    if (mapped > 0x10FFFF || (mapped >= 0xD800 && mapped <= 0xDFFF))
        return code;
    return static_cast<char32_t>(mapped);
}

}  // namespace trelvane::platform
