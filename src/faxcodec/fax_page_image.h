// The decoded fax page shared by the Group 3 and Group 4 page decoders, the coding kinds of a
// page's data and the width table that gives a page its horizontal resolution.
#pragma once

#include <cstdint>
#include <vector>

namespace trelvane::faxcodec {

// How a page's data is coded. A plain enum on purpose: the values travel through 8-bit fields
// of the WinFax page header and the intermediate TIFF writer, so they convert to integers.
// WinFax pages are kGroup3OneDimensional or kGroup4, the two kinds these decoders produce.
enum CodingKind : uint8_t {
    kUncompressed = 1,
    kModifiedHuffman = 3,
    kModifiedHuffmanWordAligned = 4,
    kGroup3OneDimensional = 5,
    kGroup3TwoDimensional = 6,
    kGroup4 = 7,
    kPackBits = 8,
};

// One decoded page. The size fields are filled by every decode, also in count-only mode;
// `bitmap` holds `lines` rows of `row_bytes` bytes (first pixel in the most significant bit)
// after a full decode and is empty otherwise.
struct FaxPageImage {
    int32_t reserved = 0;
    int32_t width = 0;
    int32_t lines = 0;
    int32_t row_bytes = 0;
    int16_t planes = 0;
    int16_t bits_per_pixel = 0;
    uint32_t data_size = 0;
    uint16_t x_resolution = 0;
    int16_t y_resolution = 0;
    uint8_t resolution_unit = 0;
    uint8_t fill_order = 0;
    uint8_t coding_kind = 0;
    uint8_t width_class = 0;
    uint8_t invert = 0;
    std::vector<uint8_t> bitmap;
};

struct WidthClass {
    uint16_t x_resolution = 0;
    uint8_t width_class = 0;
};

// Horizontal resolution and width class of a scan line of `width` pixels: the T.4 line
// lengths of the three page widths at 200, 300 and 400 pixels per inch.
WidthClass classify_width(int32_t width);

// Fills the size fields that both decoders set before decoding (`lines` = `height`).
void fill_page_fields(FaxPageImage& image, int32_t width, int32_t height, uint32_t data_size,
                      uint8_t fill_order, uint8_t coding_kind, uint8_t invert);

}  // namespace trelvane::faxcodec
