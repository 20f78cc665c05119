#include "app/shard.h"

namespace trelvane::app {

namespace {

bool only_digits(std::string_view text) {
    return text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The decimal value, held at kMaxShardCount + 1 once it passes the limit (however many digits
// follow; leading zeros are no reason to refuse).
uint32_t limited_value(std::string_view digits) {
    constexpr uint32_t kPastLimit = kMaxShardCount + 1;
    uint32_t value = 0;
    for (char c : digits) {
        value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value >= kPastLimit)
            return kPastLimit;
    }
    return value;
}

}  // namespace

std::string read_shard(std::string_view value, Shard& shard) {
    const size_t slash = value.find('/');
    if (slash == std::string_view::npos)
        return "give the share as K/N";
    const std::string_view k_text = value.substr(0, slash);
    const std::string_view n_text = value.substr(slash + 1);
    // A batch system's variable that is not set leaves its part empty: say which.
    if (k_text.empty())
        return "K is missing (is the variable that gives it set?)";
    if (n_text.empty())
        return "N is missing (is the variable that gives it set?)";
    if (!only_digits(k_text) || !only_digits(n_text))
        return "K and N are whole numbers";
    const uint32_t k = limited_value(k_text);
    const uint32_t n = limited_value(n_text);
    if (k == 0 || n == 0)
        return "K and N count from 1";
    if (n > kMaxShardCount)
        return "N may be at most " + std::to_string(kMaxShardCount);
    if (k > n)
        return "K is greater than N";
    shard.number = k;
    shard.count = n;
    return {};
}

}  // namespace trelvane::app
