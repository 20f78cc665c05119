// Deterministic bilevel test pages. Pixels are packed eight to a byte, first pixel in the
// most significant bit, rows padded to whole bytes; a 1 bit is black.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trelvane::testsupport {

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bits;

    Bitmap() = default;
    Bitmap(int w, int h) : width(w), height(h), bits(static_cast<size_t>(row_bytes()) * h, 0) {}

    int row_bytes() const { return (width + 7) / 8; }
    bool get(int x, int y) const {
        return (bits[static_cast<size_t>(y) * row_bytes() + x / 8] >> (7 - x % 8)) & 1;
    }
    void set(int x, int y, bool black = true) {
        uint8_t& b = bits[static_cast<size_t>(y) * row_bytes() + x / 8];
        const uint8_t m = static_cast<uint8_t>(0x80 >> (x % 8));
        b = black ? (b | m) : (b & ~m);
    }
    const uint8_t* row(int y) const { return bits.data() + static_cast<size_t>(y) * row_bytes(); }
    // The same page with the pad bits at the end of each row cleared.
    Bitmap normalised() const;
    bool operator==(const Bitmap& o) const;
};

// Named page patterns used throughout the tests.
Bitmap all_white(int width, int height);
Bitmap all_black(int width, int height);
Bitmap checkerboard(int width, int height, int cell);
Bitmap vertical_stripes(int width, int height, int period);  // single-pixel stripes for period 2
Bitmap first_line_black(int width, int height);              // lines that start with black
Bitmap long_runs(int width, int height);  // runs longer than 2560 where the width allows
// Text-like page: lines of glyph-sized blobs with word gaps and margins, from a fixed seed.
Bitmap text_like(int width, int height, uint32_t seed);

// Builds a pattern by name: "white", "black", "checker", "stripes", "startblack", "longruns",
// "text<seed>" (for example "text7").
Bitmap make_pattern(const std::string& name, int width, int height);

// Writes the page as a binary PBM (P4) file; useful when a test fails.
bool write_pbm(const Bitmap& page, const std::string& path);
// Reads a binary PBM (P4) file, as Ghostscript's pbmraw device writes it.
bool read_pbm(const std::string& path, Bitmap& page);

// Index of the first row where the two pages differ, or -1 when equal in size and pixels.
int first_difference(const Bitmap& a, const Bitmap& b);

}  // namespace trelvane::testsupport
