// Options of the TIFF normalisation stage, as a run's record carries them.
#pragma once

#include <cstdint>

namespace trelvane::pdfout {

struct TiffCopyOptions {
    int32_t compression_choice = 6;  // 6: CCITT Group 4 (see the stage's table of codes)
    int32_t jpeg_quality = 75;
    int32_t fill_order = 0;     // 0: copy the input's; 1 or 2: force it
    int32_t tiled_output = -1;  // -1: tiles when the input is tiled; 0: strips; else tiles
    int32_t append_output = 0;  // nonzero: append to the output file
};

}  // namespace trelvane::pdfout
