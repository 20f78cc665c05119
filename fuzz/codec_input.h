// The layout of the codec differential targets' inputs: a small parameter block, then a page
// or coded data. The seed generator writes the same layout.
//   bytes 0-1  width - 1, little-endian, taken modulo kMaxWidth
//   byte  2    height - 1, taken modulo kMaxHeight
//   byte  3    flags: see kCodec* below; bits 4-7 the number of bits to flip in the coded page
//   bytes 4-   the payload: coded data, or a page (pixels, or run lengths)
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "support/bitmap.h"
#include "support/ccitt.h"

namespace trelvane::fuzz {

inline constexpr size_t kCodecHeaderSize = 4;
inline constexpr int kMaxWidth = 4096;
inline constexpr int kMaxHeight = 64;
inline constexpr uint8_t kCodecGroup4 = 0x01;      // else Group 3 one-dimensional
inline constexpr uint8_t kCodecMsbFirst = 0x02;    // fill order 1, else 2
inline constexpr uint8_t kCodecPage = 0x04;        // the payload is a page, coded by libtiff
inline constexpr uint8_t kCodecRunLengths = 0x08;  // a page given as run lengths, not pixels

struct CodecInput {
    int width = 1;
    int height = 1;
    testsupport::Coding coding = testsupport::Coding::Group3OneDimensional;
    int fill_order = 2;
    bool page = false;
    bool run_lengths = false;
    int flips = 0;
    std::span<const uint8_t> payload;
};

inline bool parse_codec_input(const uint8_t* bytes, size_t size, CodecInput& in) {
    if (size < kCodecHeaderSize)
        return false;
    in.width = 1 + (bytes[0] | (bytes[1] << 8)) % kMaxWidth;
    in.height = 1 + bytes[2] % kMaxHeight;
    const uint8_t flags = bytes[3];
    in.coding = (flags & kCodecGroup4) ? testsupport::Coding::Group4
                                       : testsupport::Coding::Group3OneDimensional;
    in.fill_order = (flags & kCodecMsbFirst) ? 1 : 2;
    in.page = (flags & kCodecPage) != 0;
    in.run_lengths = (flags & kCodecRunLengths) != 0;
    in.flips = flags >> 4;
    in.payload = std::span<const uint8_t>(bytes + kCodecHeaderSize, size - kCodecHeaderSize);
    return true;
}

// The page the payload describes: its pixels row by row (missing bytes white), or run lengths
// (each byte a run of 0 to 254 pixels, a byte of 255 adding 255 to the next, colours
// alternating from white, rows wrapping at the width), so that long runs and lines that
// change colour at every pixel are as easy to reach as noise.
inline testsupport::Bitmap page_of(const CodecInput& in) {
    testsupport::Bitmap page(in.width, in.height);
    if (!in.run_lengths) {
        for (size_t i = 0; i < page.bits.size() && i < in.payload.size(); ++i)
            page.bits[i] = in.payload[i];
        return page.normalised();
    }
    int64_t x = 0;
    const int64_t end = int64_t{in.width} * in.height;
    bool black = false;
    int64_t pending = 0;
    for (const uint8_t b : in.payload) {
        if (b == 255) {
            pending += 255;
            continue;
        }
        const int64_t run = pending + b;
        pending = 0;
        for (int64_t i = 0; i < run && x < end; ++i, ++x) {
            if (black)
                page.set(static_cast<int>(x % in.width), static_cast<int>(x / in.width));
        }
        black = !black;
        if (x >= end)
            break;
    }
    return page;
}

}  // namespace trelvane::fuzz
