// Where the ink of a decoded page lies. Recognition reads only that part of a page: blank rows
// and columns carry no text, and a header may declare a page far larger than its data draws
// (a page of 8000 x 30000 pixels from a kilobyte of data), so the cost of reading a page
// follows what the data holds, not the size it states.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace trelvane::app {

struct InkBox {
    // The part of the page to read, in the page's pixels: every black pixel and up to `margin`
    // white pixels around them, within the page. `left` is a multiple of 8, so that the part's
    // rows are whole bytes of the page's rows.
    uint32_t left = 0, top = 0, width = 0, height = 0;
    uint64_t black = 0;  // black pixels on the page

    bool empty() const { return black == 0; }
    uint64_t pixels() const { return uint64_t{width} * height; }
};

// rows: `height` rows of `row_bytes` bytes, first pixel in the most significant bit, 1 = black;
// bits beyond `width` are not ink.
InkBox find_ink(std::span<const uint8_t> rows, size_t row_bytes, uint32_t width, uint32_t height,
                uint32_t margin);

}  // namespace trelvane::app
