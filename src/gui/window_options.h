// The folder-conversion choices the Convert page takes over from the Options page each time
// its tab is selected.
#pragma once

#include <cstdint>
#include <string>

#include "pdfout/archive_level.h"

namespace trelvane::gui {

constexpr int32_t kConvertDirectory = 0;
constexpr int32_t kConvertFiles = 1;

struct WindowOptions {
    int32_t convert_mode = kConvertDirectory;
    int32_t subdir = 0;
    int32_t hierarchy = 0;
    int32_t keep_date = 0;
    int32_t keep_ext = 0;
    int32_t parallel_jobs = 0;  // conversions at once; 0: one per processor
    bool ocr = false;           // searchable PDFs
    std::string ocr_languages = "eng";
    bool verify = false;  // every PDF checked against its fax before it is put in place
    pdfout::ArchiveLevel pdfa = pdfout::ArchiveLevel::kNone;  // archive PDFs of this level
};

}  // namespace trelvane::gui
