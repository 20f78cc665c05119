// libtiff's own CCITT decoder and Group 4 encoder run in memory, with their messages kept:
// the oracle the program's codec is compared with (tests and fuzz targets alike).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/bitmap.h"
#include "support/ccitt.h"

namespace trelvane::testsupport {

struct LibtiffDecode {
    Bitmap page;           // the rows the decoder filled; the rest white
    int result = 0;        // TIFFReadEncodedStrip's result
    std::string messages;  // errors and warnings, one a line
    // The decoder ran out of room for a line's runs and left that line and the rest white.
    bool overflowed() const { return messages.find("Buffer overflow") != std::string::npos; }
};

// Decodes `data` as one strip of a `width` x `height` page with the given coding and TIFF fill
// order, as the copy stage's reference path does (zeroed buffer, errors ignored).
LibtiffDecode libtiff_decode(const std::vector<uint8_t>& data, int width, int height, Coding coding,
                             int fill_order);

// libtiff's code for the page in the given coding and TIFF fill order (Group 3 with end-of-
// line codes padded to whole bytes, and the return-to-control sequence at the end), or empty
// when the library refuses.
std::vector<uint8_t> libtiff_encode(const Bitmap& page, Coding coding, int fill_order);
// The Group 4 code, first bit in the most significant bit.
inline std::vector<uint8_t> libtiff_encode_group4(const Bitmap& page) {
    return libtiff_encode(page, Coding::Group4, 1);
}

// A page of random rows: every row either random pixels with the given density of changes,
// a copy of the row above with small shifts, or white; fixed by the seed.
Bitmap random_page(int width, int height, uint32_t seed);

// A row that starts black and changes colour at every pixel (width + 1 runs), in every row
// listed.
Bitmap with_most_runs(Bitmap page, const std::vector<int>& rows);

}  // namespace trelvane::testsupport
