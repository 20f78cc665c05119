// The conversion options every fax reader works with. The program keeps one process-wide
// record (set at start-up, by the command line and by the window) and every conversion copies
// it whole into its own reader, so a change made during a conversion applies to the next file.
#pragma once

#include <cstdint>
#include <string>

namespace trelvane::faxread {

struct ConversionSettings {
    uint16_t page_count = 0;     // pages found by the reader's open; written into its copy
    std::string temp_work_path;  // work files of fax families this program does not convert
    std::string segment_work_path;
    std::string tiff_work_path;
    uint16_t threshold = 0;  // options for headerless fax data; no WinFax conversion reads them
    uint8_t flag_num = 0;
    uint8_t bit_order = 0;             // 0 automatic, 1 highest bit first, 2 least bit first
    uint16_t vertical_resolution = 0;  // 0 automatic, else lines per inch (100, 200, 300, 400)
    uint8_t nonstandard_width = 0;
    uint16_t min_width = 0;
    uint8_t page_file_mode = 0;  // 1: one TIFF file per page (and the multi-page file too)
    uint8_t raw_mode = 0;
    uint8_t recalculate_lines = 0;  // nonzero: recount every page's scan lines by decoding it
};

}  // namespace trelvane::faxread
