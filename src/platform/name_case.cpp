#include "platform/name_case.h"

#include <cstdint>

#include "platform/name_case_system.h"
#include "platform/utf8.h"

namespace trelvane::platform {

std::string name_case_key(std::string_view name) {
    std::string key;
    key.reserve(name.size());
    for (size_t at = 0; at < name.size();) {
        const Utf8Character d = decode_utf8_at(name, at);
        if (d.length == 0) {
            key += name[at++];
            continue;
        }
        append_utf8(key, upper_case(d.code));
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
