// Bringing fax pages to square pixels for the recogniser.
#include <gtest/gtest.h>

#if TRELVANE_HAS_OCR

#include <algorithm>
#include <cmath>

#include "ocr/page_bitmap.h"
#include "support/bitmap.h"

namespace trelvane::ocr {
namespace {

using testsupport::Bitmap;

PageBitmap view(const Bitmap& page, double x_res, double y_res) {
    return PageBitmap{page.bits.data(),
                      page.bits.size(),
                      page.width,
                      page.height,
                      page.row_bytes(),
                      x_res,
                      y_res};
}

bool scaled_black(const ScaledPage& s, int x, int y) {
    if (s.bits_per_pixel == 1)
        return (s.pixels[static_cast<size_t>(y) * s.row_bytes + x / 8] >> (7 - x % 8)) & 1;
    return s.pixels[static_cast<size_t>(y) * s.row_bytes + x] < 128;
}

TEST(ScaleToSquare, SizesAndFactorsFollowTheResolutions) {
    const Bitmap page = testsupport::make_pattern("text5", 1731, 300);  // width not a byte multiple
    const struct {
        double x_res, y_res, target;
        Scaling scaling;
        int width, height, bits;
    } cases[] = {
        {204, 98, 0, Scaling::kReplicate, 1731, 624, 1},  // lines doubled and a little
        {204, 98, 0, Scaling::kInterpolate, 1731, 624, 8},
        {200, 100, 0, Scaling::kInterpolate, 1731, 600, 8},
        {204, 196, 0, Scaling::kInterpolate, 1731, 300, 1},  // square enough: left alone
        {204, 196, 300, Scaling::kInterpolate, 2546, 459, 8},
        {0, 0, 0, Scaling::kInterpolate, 1731, 300, 1},  // unknown: 200 both ways
    };
    for (const auto& c : cases) {
        const ScaledPage s =
            scale_to_square(view(page, c.x_res, c.y_res), c.scaling,
                            square_resolution(view(page, c.x_res, c.y_res), c.target), 0.1);
        EXPECT_EQ(s.width, c.width) << c.x_res << "x" << c.y_res << " to " << c.target;
        EXPECT_EQ(s.height, c.height) << c.x_res << "x" << c.y_res << " to " << c.target;
        EXPECT_EQ(s.bits_per_pixel, c.bits);
        EXPECT_DOUBLE_EQ(s.x_factor, double(s.width) / page.width);
        EXPECT_DOUBLE_EQ(s.y_factor, double(s.height) / page.height);
        ASSERT_EQ(s.pixels.size(), size_t(s.row_bytes) * s.height);
    }
}

TEST(ScaleToSquare, ReplicatedAndInterpolatedPagesKeepTheInkWhereItWas) {
    const Bitmap page = testsupport::make_pattern("text9", 1728, 200);
    for (const Scaling scaling : {Scaling::kReplicate, Scaling::kInterpolate}) {
        const ScaledPage s = scale_to_square(view(page, 204, 98), scaling, 204, 0.1);
        ASSERT_EQ(s.height, 416);  // 200 lines x 204 / 98
        // Every output pixel whose centre lies in the middle of a source pixel's span has
        // that pixel's colour.
        int checked = 0;
        for (int y = 0; y < s.height; ++y) {
            const double source = (y + 0.5) / s.y_factor;
            const double frac = source - std::floor(source);
            if (frac < 0.3 || frac > 0.7)
                continue;
            const int sy = int(source);
            for (int x = 0; x < s.width; x += 7) {
                ASSERT_EQ(scaled_black(s, x, y), page.get(x, sy)) << x << "," << y;
                ++checked;
            }
        }
        EXPECT_GT(checked, 10000);
    }
}

TEST(ScaleToSquare, InterpolationBlendsTheRowsBetween) {
    // A black row above a white one: the row halfway between is mid gray.
    Bitmap page(16, 2);
    for (int x = 0; x < 16; ++x)
        page.set(x, 0);
    const ScaledPage s = scale_to_square(view(page, 200, 100), Scaling::kInterpolate, 200, 0.1);
    ASSERT_EQ(s.height, 4);
    const std::vector<int> column = {s.pixels[0], s.pixels[16], s.pixels[32], s.pixels[48]};
    EXPECT_EQ(column[0], 0);
    EXPECT_NEAR(column[1], 64, 2);
    EXPECT_NEAR(column[2], 191, 2);
    EXPECT_EQ(column[3], 255);
}

// Rows of text: `ink` inked rows, then `gap` white ones, over and over.
Bitmap text_rows(int width, int height, int ink, int gap) {
    Bitmap page(width, height);
    for (int y = 0; y < height; ++y) {
        if (y % (ink + gap) < ink) {
            for (int x = 0; x < width; x += 5)
                page.set(x, y);
        }
    }
    return page;
}

bool white_row(const Bitmap& page, int y) {
    for (int x = 0; x < page.width; ++x) {
        if (page.get(x, y))
            return false;
    }
    return true;
}

TEST(PlanBands, BandsCoverThePageWithinTheBudgetAndCutBetweenLines) {
    const struct {
        const char* what;
        Bitmap page;
        double x_res, y_res;
        int64_t max_pixels;
        size_t bands;     // 0: more than one, count not checked
        bool white_cuts;  // every cut falls on a white row
    } cases[] = {
        {"a fine letter page", text_rows(1728, 2200, 30, 20), 204, 196, 8 << 20, 1, true},
        {"a standard page, lines doubled", text_rows(1728, 1100, 15, 10), 204, 98, 8 << 20, 1,
         true},
        {"a long fine page", text_rows(1728, 9000, 30, 20), 204, 196, 1 << 20, 0, true},
        {"a long standard page", text_rows(1728, 5000, 15, 10), 204, 98, 1 << 20, 0, true},
        {"ink on every row", testsupport::make_pattern("stripes", 1728, 5000), 200, 200, 1 << 20, 0,
         false},
        {"as wide as the recogniser takes", text_rows(30000, 3000, 30, 20), 200, 200, 1 << 20, 0,
         true},
        {"absurd resolutions", text_rows(1000, 3000, 30, 20), 1000, 0.001, 1 << 20, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const PageBitmap page = view(c.page, c.x_res, c.y_res);
        const double resolution = square_resolution(page, 0);
        const std::vector<Band> bands = plan_bands(page, resolution, 0.01, c.max_pixels);
        if (c.bands != 0)
            EXPECT_EQ(bands.size(), c.bands);
        else
            EXPECT_GT(bands.size(), 1u);
        int32_t next = 0;
        for (const Band& band : bands) {
            ASSERT_EQ(band.top, next);
            ASSERT_GT(band.rows, 0);
            next = band.top + band.rows;
            // The band's image, as the recogniser would be given it.
            PageBitmap part = page;
            part.bits = page.bits + static_cast<size_t>(band.top) * page.row_bytes;
            part.height = band.rows;
            const SquareFactors f = square_factors(part, resolution, 0.01);
            const double width = std::round(page.width * f.x);
            const double rows = std::round(band.rows * f.y);
            EXPECT_LE(width, kMaxPageSide);
            EXPECT_LE(rows, kMaxPageSide);
            EXPECT_LE(width * rows,
                      std::max<double>(double(c.max_pixels), width * (kMinBandRows + 1)));
            if (band.top > 0 && c.white_cuts) {
                EXPECT_TRUE(white_row(c.page, band.top)) << "cut at row " << band.top;
            }
        }
        EXPECT_EQ(next, c.page.height);
    }
}

TEST(ScaleToSquare, PadBitsNeverBecomeInk) {
    Bitmap page(12, 4);
    std::fill(page.bits.begin(), page.bits.end(), 0x0F);  // pad bits set, pixels 4-7 black
    const ScaledPage s = scale_to_square(view(page, 200, 100), Scaling::kReplicate, 200, 0.1);
    for (int y = 0; y < s.height; ++y)
        EXPECT_EQ(s.pixels[static_cast<size_t>(y) * s.row_bytes + 1] & 0x0F, 0);
}

}  // namespace
}  // namespace trelvane::ocr

#endif
