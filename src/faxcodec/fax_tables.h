// Small tables derived by rule, used by the bit reader and the line writer.
#pragma once

#include <array>
#include <cstdint>

namespace trelvane::faxcodec {

namespace detail {

constexpr std::array<uint8_t, 256> make_bit_reversal() {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        int r = 0;
        for (int b = 0; b < 8; ++b) {
            if (i & (1 << b))
                r |= 0x80 >> b;
        }
        t[i] = static_cast<uint8_t>(r);
    }
    return t;
}

constexpr std::array<uint8_t, 256> make_leading_zeros() {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        int n = 0;
        while (n < 8 && !(i & (0x80 >> n)))
            ++n;
        t[i] = static_cast<uint8_t>(n);
    }
    return t;
}

constexpr std::array<uint8_t, 256> make_trailing_zeros() {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        int n = 0;
        while (n < 8 && !(i & (1 << n)))
            ++n;
        t[i] = static_cast<uint8_t>(n);
    }
    return t;
}

}  // namespace detail

inline constexpr std::array<uint8_t, 256> kBitReversal = detail::make_bit_reversal();
inline constexpr std::array<uint8_t, 9> kLowMasks = {0, 1, 3, 7, 15, 31, 63, 127, 255};
inline constexpr std::array<uint8_t, 9> kHighMasks = {0, 128, 192, 224, 240, 248, 252, 254, 255};
inline constexpr std::array<uint8_t, 256> kLeadingZeros = detail::make_leading_zeros();
inline constexpr std::array<uint8_t, 256> kTrailingZeros = detail::make_trailing_zeros();

}  // namespace trelvane::faxcodec
