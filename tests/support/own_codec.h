// The program's own Group 4 encoder over a whole test page, for the tests, fuzz targets and
// benchmarks that hold its output against libtiff's. Header only: every user links faxcodec.
#pragma once

#include <cstdint>
#include <vector>

#include "faxcodec/changing_elements.h"
#include "faxcodec/group4_encoder.h"
#include "support/bitmap.h"

namespace trelvane::testsupport {

inline std::vector<uint8_t> encode_group4_ours(const Bitmap& page) {
    const uint32_t width = static_cast<uint32_t>(page.width);
    faxcodec::Group4Encoder encoder(width);
    std::vector<uint32_t> changes;
    for (int y = 0; y < page.height; ++y) {
        faxcodec::read_row(page.row(y), width, changes);
        encoder.encode_row(changes);
    }
    return encoder.finish();
}

}  // namespace trelvane::testsupport
