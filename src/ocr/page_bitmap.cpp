#include "ocr/page_bitmap.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace trelvane::ocr {
namespace {

constexpr double kUnknownResolution = 200;
constexpr double kMaxScale = 4;

double resolution_or_default(double r) {
    return r > 0 && std::isfinite(r) ? r : kUnknownResolution;
}

bool pixel(const PageBitmap& page, int32_t x, int32_t y) {
    const uint8_t byte = page.bits[static_cast<size_t>(y) * page.row_bytes + x / 8];
    return (byte >> (7 - x % 8)) & 1;
}

int32_t scaled_size(int32_t size, double factor) {
    return std::max<int32_t>(1, static_cast<int32_t>(std::lround(size * factor)));
}

// Source index of an output pixel's centre, for nearest-pixel scaling.
int32_t nearest(int32_t out, double factor, int32_t limit) {
    const auto s = static_cast<int32_t>(std::floor((out + 0.5) / factor));
    return std::clamp<int32_t>(s, 0, limit - 1);
}

ScaledPage replicate(const PageBitmap& page, double xf, double yf) {
    ScaledPage out;
    out.width = scaled_size(page.width, xf);
    out.height = scaled_size(page.height, yf);
    out.row_bytes = (out.width + 7) / 8;
    out.bits_per_pixel = 1;
    out.pixels.assign(static_cast<size_t>(out.row_bytes) * out.height, 0);
    const bool same_width = out.width == page.width;
    std::vector<int32_t> columns(static_cast<size_t>(out.width));
    for (int32_t x = 0; x < out.width; ++x)
        columns[static_cast<size_t>(x)] = nearest(x, xf, page.width);
    for (int32_t y = 0; y < out.height; ++y) {
        const int32_t sy = nearest(y, yf, page.height);
        uint8_t* dst = out.pixels.data() + static_cast<size_t>(y) * out.row_bytes;
        if (same_width) {
            std::memcpy(dst, page.bits + static_cast<size_t>(sy) * page.row_bytes,
                        static_cast<size_t>(out.row_bytes));
        } else {
            for (int32_t x = 0; x < out.width; ++x) {
                if (pixel(page, columns[static_cast<size_t>(x)], sy))
                    dst[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
        }
        // The pad bits must not read as ink.
        if (out.width % 8 != 0)
            dst[out.row_bytes - 1] &= static_cast<uint8_t>(0xFF << (8 - out.width % 8));
    }
    return out;
}

// Where an output pixel's centre falls between two source pixels: the left one and the
// weight (0 to 256) of the right one.
struct Tap {
    int32_t index = 0;
    int32_t weight = 0;
};

std::vector<Tap> taps(int32_t out_size, double factor, int32_t limit) {
    std::vector<Tap> t(static_cast<size_t>(out_size));
    for (int32_t i = 0; i < out_size; ++i) {
        const double s = std::clamp((i + 0.5) / factor - 0.5, 0.0, limit - 1.0);
        const auto left = static_cast<int32_t>(std::floor(s));
        t[static_cast<size_t>(i)].index = left;
        t[static_cast<size_t>(i)].weight =
            left + 1 < limit ? static_cast<int32_t>(std::lround((s - left) * 256)) : 0;
    }
    return t;
}

// One source row as gray bytes, horizontally resampled to the output width.
void gray_row(const PageBitmap& page, int32_t y, const std::vector<Tap>& columns,
              std::vector<uint8_t>& expanded, std::vector<int32_t>& row) {
    for (int32_t x = 0; x < page.width; ++x)
        expanded[static_cast<size_t>(x)] = pixel(page, x, y) ? 0 : 255;
    for (size_t x = 0; x < columns.size(); ++x) {
        const Tap& c = columns[x];
        const int32_t a = expanded[static_cast<size_t>(c.index)];
        const int32_t b = c.weight ? expanded[static_cast<size_t>(c.index) + 1] : a;
        row[x] = a * (256 - c.weight) + b * c.weight;  // gray x 256
    }
}

ScaledPage interpolate(const PageBitmap& page, double xf, double yf) {
    ScaledPage out;
    out.width = scaled_size(page.width, xf);
    out.height = scaled_size(page.height, yf);
    out.row_bytes = out.width;
    out.bits_per_pixel = 8;
    out.pixels.resize(static_cast<size_t>(out.width) * out.height);
    const std::vector<Tap> columns = taps(out.width, xf, page.width);
    const std::vector<Tap> rows = taps(out.height, yf, page.height);
    std::vector<uint8_t> expanded(static_cast<size_t>(page.width));
    std::vector<int32_t> upper(static_cast<size_t>(out.width)), lower(upper.size());
    int32_t upper_y = -1, lower_y = -1;
    for (int32_t y = 0; y < out.height; ++y) {
        const Tap& r = rows[static_cast<size_t>(y)];
        const int32_t next = r.weight ? r.index + 1 : r.index;
        // Rows advance monotonically; reuse what the previous output row expanded.
        if (upper_y != r.index) {
            if (lower_y == r.index) {
                std::swap(upper, lower);
                std::swap(upper_y, lower_y);
            } else {
                gray_row(page, r.index, columns, expanded, upper);
                upper_y = r.index;
            }
        }
        if (lower_y != next) {
            gray_row(page, next, columns, expanded, lower);
            lower_y = next;
        }
        uint8_t* dst = out.pixels.data() + static_cast<size_t>(y) * out.row_bytes;
        for (int32_t x = 0; x < out.width; ++x) {
            const int64_t v = int64_t{upper[static_cast<size_t>(x)]} * (256 - r.weight) +
                              int64_t{lower[static_cast<size_t>(x)]} * r.weight;
            dst[x] = static_cast<uint8_t>((v + 32768) >> 16);
        }
    }
    return out;
}

}  // namespace

bool is_valid_page(const PageBitmap& page) {
    if (page.bits == nullptr || page.width <= 0 || page.height <= 0 || page.width > kMaxPageSide ||
        page.height > kMaxPageRows || page.row_bytes < (page.width + 7) / 8) {
        return false;
    }
    return static_cast<uint64_t>(page.row_bytes) * static_cast<uint64_t>(page.height) <= page.size;
}

SquareFactors square_factors(const PageBitmap& page, double resolution, double tolerance) {
    SquareFactors f{resolution / resolution_or_default(page.x_resolution),
                    resolution / resolution_or_default(page.y_resolution)};
    if (std::fabs(f.x - 1) <= tolerance)
        f.x = 1;
    if (std::fabs(f.y - 1) <= tolerance)
        f.y = 1;
    // Never beyond the recogniser's limits, whatever the resolutions claim: fax resolutions
    // differ by a factor of four at most, and a band's image is bounded only if its rows are.
    f.x = std::min(f.x, kMaxScale);
    f.y = std::min(f.y, kMaxScale);
    const double limit = static_cast<double>(kMaxPageSide);
    if (page.width * f.x > limit)
        f.x = limit / page.width;
    if (page.height * f.y > limit)
        f.y = limit / page.height;
    return f;
}

std::vector<Band> plan_bands(const PageBitmap& page, double resolution, double tolerance,
                             int64_t max_pixels) {
    // The factors of a band, not of the whole page: a band is never cut down to the
    // recogniser's limits as a long page would be.
    PageBitmap band_shape = page;
    band_shape.height = 1;
    const SquareFactors f = square_factors(band_shape, resolution, tolerance);
    const double scaled_width = std::max(1.0, std::round(page.width * f.x));
    const double scaled_rows = std::max<double>(kMinBandRows, double(max_pixels) / scaled_width);
    const double highest = std::max(1.0, std::floor(kMaxPageSide / f.y));
    auto most = static_cast<int32_t>(std::clamp(std::floor(scaled_rows / f.y), 1.0, highest));
    // The scaled height is rounded: never past the budget by that either.
    while (most > 1 && std::lround(most * f.y) > std::floor(scaled_rows))
        --most;
    const size_t used = static_cast<size_t>(page.width + 7) / 8;
    const auto last_mask =
        static_cast<uint8_t>(page.width % 8 == 0 ? 0xFF : 0xFF << (8 - page.width % 8));
    const auto ink = [&](int32_t y) {
        const uint8_t* row = page.bits + static_cast<size_t>(y) * page.row_bytes;
        int32_t n = 0;
        for (size_t i = 0; i < used; ++i)
            n += std::popcount(static_cast<uint8_t>(i + 1 == used ? row[i] & last_mask : row[i]));
        return n;
    };
    std::vector<Band> bands;
    int32_t top = 0;
    while (page.height - top > most) {
        // The next band starts at the cut row: a white one when the window has one.
        int32_t cut = top + most;
        int32_t least = ink(cut);
        for (int32_t y = cut - 1; y > top + most - most / 3 && least > 0; --y) {
            const int32_t n = ink(y);
            if (n < least) {
                least = n;
                cut = y;
            }
        }
        bands.push_back(Band{top, cut - top});
        top = cut;
    }
    bands.push_back(Band{top, page.height - top});
    return bands;
}

double square_resolution(const PageBitmap& page, double target) {
    if (target > 0 && std::isfinite(target))
        return target;
    return std::max(resolution_or_default(page.x_resolution),
                    resolution_or_default(page.y_resolution));
}

ScaledPage scale_to_square(const PageBitmap& page, Scaling scaling, double resolution,
                           double tolerance) {
    const SquareFactors f = square_factors(page, resolution, tolerance);
    const double xf = f.x;
    const double yf = f.y;
    const bool unscaled = xf == 1 && yf == 1;
    ScaledPage out = unscaled || scaling == Scaling::kReplicate ? replicate(page, xf, yf)
                                                                : interpolate(page, xf, yf);
    out.resolution = resolution;
    out.x_factor = static_cast<double>(out.width) / page.width;
    out.y_factor = static_cast<double>(out.height) / page.height;
    return out;
}

}  // namespace trelvane::ocr
