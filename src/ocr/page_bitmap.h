// The page bitmap handed to text recognition, and its conversion to the square-pixel image
// the recogniser reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace trelvane::ocr {

// A borrowed 1-bit page as the fax decoders produce it: `height` rows of `row_bytes` bytes,
// first pixel in the most significant bit, 1 = black, the pad bits at the end of a row ignored.
// Resolutions in pixels per inch; 0 (unknown) is taken as 200.
struct PageBitmap {
    const uint8_t* bits = nullptr;
    size_t size = 0;  // bytes readable at `bits`
    int32_t width = 0;
    int32_t height = 0;
    int32_t row_bytes = 0;
    double x_resolution = 0;
    double y_resolution = 0;
};

// How a page of non-square pixels is brought to square ones.
enum class Scaling {
    kReplicate,    // nearest pixel: the page stays 1-bit, lines doubled
    kInterpolate,  // linear interpolation into 8-bit gray, thresholded by the recogniser
};

// The image given to the recogniser: 1-bit (1 = black, same packing as PageBitmap) or 8-bit
// gray (0 = black, 255 = white), with the factors that map its pixels back to the page's.
struct ScaledPage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t row_bytes = 0;
    int bits_per_pixel = 1;
    double resolution = 0;  // pixels per inch, both directions
    double x_factor = 1;    // scaled x = page x * x_factor
    double y_factor = 1;
    std::vector<uint8_t> pixels;
};

// Widest page accepted, in pixels (far above any fax page; the recogniser's own image limits
// are near 32767). Pages are read in bands, so a page may be as long as a fax page header can
// state.
inline constexpr int32_t kMaxPageSide = 30000;
inline constexpr int32_t kMaxPageRows = 65535;

// True when the bitmap's fields describe a page that fits in `size` bytes.
bool is_valid_page(const PageBitmap& page);

// The factors scale_to_square brings the page's pixels to `resolution` with.
struct SquareFactors {
    double x = 1;
    double y = 1;
};
SquareFactors square_factors(const PageBitmap& page, double resolution, double tolerance);

// Rows of the page read at once, from `top`.
struct Band {
    int32_t top = 0;
    int32_t rows = 0;
};

// The page (a valid one) split into bands whose scaled images (see scale_to_square) hold at
// most `max_pixels` pixels, or kMinBandRows rows where the page is too wide for that. The
// recogniser's memory and time grow with the image it is given, so the reading of a long page
// is bounded by its largest band. Each cut falls on the row with the least ink in the last
// third of the band, so that it runs between lines of text; of equals, the one furthest down.
// One band when the whole page fits.
std::vector<Band> plan_bands(const PageBitmap& page, double resolution, double tolerance,
                             int64_t max_pixels);

// Scaled rows a band always gets: some lines of text at any size a fax prints.
inline constexpr int32_t kMinBandRows = 400;

// Resolution of a page after scaling: `target` when given (> 0), else the larger of the two.
double square_resolution(const PageBitmap& page, double target);

// Scales the page so both resolutions become `resolution`. Resolutions within
// `tolerance` (a fraction, e.g. 0.1) of it are left unscaled. The page must be valid.
ScaledPage scale_to_square(const PageBitmap& page, Scaling scaling, double resolution,
                           double tolerance);

}  // namespace trelvane::ocr
