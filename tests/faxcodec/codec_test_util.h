// Helpers shared by the fax coding tests: bit strings packed into bytes, decoding a coded page
// with either decoder in any of its ways, and turning a decoded image back into a test Bitmap.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "faxcodec/fax_page_image.h"
#include "faxcodec/group3_decoder.h"
#include "faxcodec/group4_decoder.h"
#include "support/bitmap.h"
#include "support/ccitt.h"

namespace trelvane::faxcodec::test {

// Packs '0'/'1' characters (anything else is ignored) into bytes in stream order for the given
// fill order; the last byte is padded with `pad` bits.
inline std::vector<uint8_t> pack_bits(std::string_view bits, int fill_order = 1, bool pad = false) {
    std::vector<uint8_t> out;
    int used = 8;
    for (char c : bits) {
        if (c != '0' && c != '1')
            continue;
        if (used == 8) {
            out.push_back(0);
            used = 0;
        }
        if (c == '1')
            out.back() |= static_cast<uint8_t>(0x80 >> used);
        ++used;
    }
    if (pad && !out.empty()) {
        for (; used < 8; ++used)
            out.back() |= static_cast<uint8_t>(0x80 >> used);
    }
    if (fill_order != 1) {
        for (uint8_t& b : out) {
            uint8_t r = 0;
            for (int i = 0; i < 8; ++i) {
                if (b & (1 << i))
                    r |= static_cast<uint8_t>(0x80 >> i);
            }
            b = r;
        }
    }
    return out;
}

enum class Way { Fast, TreeWalk, CountOnly, CountOnlyTreeWalk };
inline constexpr Way kAllWays[] = {Way::Fast, Way::TreeWalk, Way::CountOnly,
                                   Way::CountOnlyTreeWalk};

struct Decoded {
    int result = 0;
    FaxPageImage image;
};

inline Decoded decode_g3(const std::vector<uint8_t>& data, int width, int height,
                         int fill_order = 1, Way way = Way::Fast, uint8_t invert = 0) {
    Decoded d;
    Group3Decoder dec(data.data(), static_cast<int32_t>(data.size()),
                      static_cast<uint8_t>(fill_order), kGroup3OneDimensional, invert);
    dec.set_dimensions(width, height);
    dec.set_tree_walk(way == Way::TreeWalk || way == Way::CountOnlyTreeWalk);
    dec.set_count_only(way == Way::CountOnly || way == Way::CountOnlyTreeWalk);
    d.result = dec.decode_page(d.image);
    return d;
}

inline Decoded decode_g4(const std::vector<uint8_t>& data, int width, int height,
                         int fill_order = 1, Way way = Way::Fast, uint8_t invert = 0,
                         bool resume_in_place = false) {
    Decoded d;
    Group4Decoder dec(data.data(), static_cast<int32_t>(data.size()),
                      static_cast<uint8_t>(fill_order), 0, invert, 3);
    dec.set_dimensions(width, height);
    dec.set_tree_walk(way == Way::TreeWalk || way == Way::CountOnlyTreeWalk);
    dec.set_count_only(way == Way::CountOnly || way == Way::CountOnlyTreeWalk);
    dec.set_resume_in_place(resume_in_place);
    d.result = dec.decode_g4_page(d.image);
    return d;
}

inline Decoded decode_coded(const testsupport::CodedPage& coded, int height, Way way) {
    const bool g4 = coded.coding == testsupport::Coding::Group4;
    return g4 ? decode_g4(coded.data, coded.width, height, coded.fill_order, way)
              : decode_g3(coded.data, coded.width, height, coded.fill_order, way);
}

// The decoded rows as a test Bitmap (1 = black): with invert 0 our decoders write white as 1.
inline testsupport::Bitmap to_bitmap(const FaxPageImage& image) {
    testsupport::Bitmap page(image.width, image.lines);
    for (size_t i = 0; i < page.bits.size() && i < image.bitmap.size(); ++i) {
        page.bits[i] = static_cast<uint8_t>(~image.bitmap[i]);
    }
    return page.normalised();
}

// Every size field of two decodes of the same page.
inline bool same_size_fields(const FaxPageImage& a, const FaxPageImage& b) {
    return a.reserved == b.reserved && a.width == b.width && a.lines == b.lines &&
           a.row_bytes == b.row_bytes && a.planes == b.planes &&
           a.bits_per_pixel == b.bits_per_pixel && a.data_size == b.data_size &&
           a.x_resolution == b.x_resolution && a.y_resolution == b.y_resolution &&
           a.resolution_unit == b.resolution_unit && a.fill_order == b.fill_order &&
           a.coding_kind == b.coding_kind && a.width_class == b.width_class && a.invert == b.invert;
}

}  // namespace trelvane::faxcodec::test
