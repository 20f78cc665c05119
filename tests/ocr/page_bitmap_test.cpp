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
