// The ICC profile of sRGB IEC61966-2.1 (version 2, from Debian's icc-profiles-free, zlib
// licence: see data/debian/copyright), the output intent of every archive PDF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

extern const uint8_t trelvane_srgb_profile[];
extern const size_t trelvane_srgb_profile_size;

namespace trelvane::pdfout {

inline std::span<const uint8_t> srgb_profile() {
    return {trelvane_srgb_profile, trelvane_srgb_profile_size};
}

// Its colour components, and the name of the condition it describes.
inline constexpr int kSrgbComponents = 3;
inline constexpr const char* kSrgbCondition = "sRGB IEC61966-2.1";

}  // namespace trelvane::pdfout
