#include "faxcodec/fax_page_image.h"

#include <array>

namespace trelvane::faxcodec {

namespace {

struct WidthRow {
    int32_t limit;
    uint16_t x_resolution;
    uint8_t width_class;
};

// The 400 pixels-per-inch row for 3456 comes before the 300 row for 3648 on purpose.
constexpr std::array<WidthRow, 9> kWidthRows = {{
    {1728, 200, 1},
    {2048, 200, 2},
    {2432, 200, 3},
    {2592, 300, 1},
    {3072, 300, 2},
    {3456, 400, 1},
    {3648, 300, 3},
    {4096, 400, 2},
    {4864, 400, 3},
}};

}  // namespace

WidthClass classify_width(int32_t width) {
    for (const WidthRow& row : kWidthRows) {
        if (width <= row.limit)
            return {row.x_resolution, row.width_class};
    }
    return {400, 3};
}

void fill_page_fields(FaxPageImage& image, int32_t width, int32_t height, uint32_t data_size,
                      uint8_t fill_order, uint8_t coding_kind, uint8_t invert) {
    const WidthClass wc = classify_width(width);
    image.reserved = 0;
    image.width = width;
    image.lines = height;
    // Computed in 64 bits: a width near the top of the range must not wrap.
    image.row_bytes = static_cast<int32_t>((static_cast<int64_t>(width) + 7) / 8);
    image.planes = 1;
    image.bits_per_pixel = 1;
    image.data_size = data_size;
    image.x_resolution = wc.x_resolution;
    image.y_resolution = 100;
    image.resolution_unit = 2;
    image.fill_order = fill_order;
    image.coding_kind = coding_kind;
    image.width_class = wc.width_class;
    image.invert = invert;
}

}  // namespace trelvane::faxcodec
