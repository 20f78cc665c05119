// The layout of a decoder fuzz input: a small parameter block, then the coded data. The seed
// generator writes the same layout.
//   bytes 0-1  width (little-endian)
//   bytes 2-3  height (little-endian)
//   byte  4    flags: see kFlag* below
//   byte  5    Group 4 mode (the decoders decode when mode % 4 is 0 or 2)
//   byte  6    Group 4 resynchronisation marker length
//   byte  7    reserved
//   bytes 8-   coded data
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace trelvane::fuzz {

inline constexpr size_t kDecoderHeaderSize = 8;
inline constexpr uint8_t kFlagMsbFirst = 0x01;       // fill order 1 (else 2, as WinFax stores)
inline constexpr uint8_t kFlagNegativeWidth = 0x02;  // callers never pass these, but may
inline constexpr uint8_t kFlagNegativeHeight = 0x04;
inline constexpr uint8_t kFlagInvert = 0x08;
inline constexpr uint8_t kFlagResumeInPlace = 0x10;

struct DecoderInput {
    int32_t width = 0;
    int32_t height = 0;
    uint8_t fill_order = 2;
    uint8_t invert = 0;
    bool resume_in_place = false;
    uint8_t mode = 0;
    uint8_t marker_count = 3;
    std::span<const uint8_t> data;
};

inline bool parse_decoder_input(const uint8_t* bytes, size_t size, DecoderInput& in) {
    if (size < kDecoderHeaderSize)
        return false;
    in.width = bytes[0] | (bytes[1] << 8);
    in.height = bytes[2] | (bytes[3] << 8);
    const uint8_t flags = bytes[4];
    if (flags & kFlagNegativeWidth)
        in.width = -in.width;
    if (flags & kFlagNegativeHeight)
        in.height = -in.height;
    in.fill_order = (flags & kFlagMsbFirst) ? 1 : 2;
    in.invert = (flags & kFlagInvert) ? 1 : 0;
    in.resume_in_place = (flags & kFlagResumeInPlace) != 0;
    in.mode = bytes[5];
    in.marker_count = bytes[6];
    in.data = std::span<const uint8_t>(bytes + kDecoderHeaderSize, size - kDecoderHeaderSize);
    return true;
}

// A whole bitmap larger than this is decoded in count-only mode only, so that one input
// cannot spend the run zeroing hundreds of megabytes.
inline constexpr int64_t kMaxFullBitmapBytes = int64_t{16} << 20;

inline bool full_bitmap_affordable(const DecoderInput& in) {
    if (in.width < 0 || in.height < 0)
        return true;  // refused before any allocation
    return (static_cast<int64_t>(in.width) + 7) / 8 * in.height <= kMaxFullBitmapBytes;
}

}  // namespace trelvane::fuzz
