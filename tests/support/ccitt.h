// CCITT coding of test pages through libtiff's own encoders and decoders, so that our
// decoders and writers are checked against an independent implementation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/bitmap.h"

namespace trelvane::testsupport {

enum class Coding {
    Group3OneDimensional,  // T.4 modified Huffman, an end-of-line code before every line
    Group4,                // T.6
};

// Fill order as in TIFF: 1 = first bit in the most significant bit, 2 = least significant.
struct CodedPage {
    std::vector<uint8_t> data;
    int width = 0;
    int height = 0;
    Coding coding = Coding::Group4;
    int fill_order = 2;
};

// Encodes the page with libtiff (one strip). Group 3 pages are written with fill bits so that
// every end-of-line code ends on a byte boundary, as fax machines commonly do, unless
// `eol_fill` is false. A Group 3 strip ends with its last line (libtiff writes no
// return-to-control sequence into it); a Group 4 strip with the end-of-facsimile block.
CodedPage encode_page(const Bitmap& page, Coding coding, int fill_order, bool eol_fill = true);

// Decodes coded data with libtiff into a page of the given size. Rows libtiff cannot decode
// stay white. Returns false when libtiff reports an error.
bool decode_page_libtiff(const CodedPage& coded, Bitmap& page);

// Writes a one-page TIFF file holding the coded data as its only strip (PhotometricInterpretation
// 0, the given resolution in pixels per inch).
bool write_coded_tiff(const std::string& path, const CodedPage& coded, int x_resolution = 200,
                      int y_resolution = 200);

// Writes a bilevel TIFF file with one directory per page (uncompressed, MinIsWhite).
bool write_bilevel_tiff(const std::string& path, const std::vector<Bitmap>& pages,
                        int x_resolution = 200, int y_resolution = 200);

// Reads every directory of a TIFF file into pages (1 = black), through TIFFReadEncodedStrip.
bool read_tiff_pages(const std::string& path, std::vector<Bitmap>& pages);

}  // namespace trelvane::testsupport
