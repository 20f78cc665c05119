// A bilevel row as its changing elements (the ascending positions where the colour changes,
// the first from white to black), drawn into and read from 1-bit rows: first pixel in the
// most significant bit, 1 = black, as the TIFF library's fax decoder fills a row.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace trelvane::faxcodec {

// Draws the row into (width + 7) / 8 bytes, pad bits 0.
void draw_row(std::span<const uint32_t> changes, uint32_t width, uint8_t* row);

// The changing elements of a row of `width` pixels (pad bits ignored).
void read_row(const uint8_t* row, uint32_t width, std::vector<uint32_t>& changes);

}  // namespace trelvane::faxcodec
