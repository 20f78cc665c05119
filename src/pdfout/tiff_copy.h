// The TIFF normalisation stage: copies every page of a TIFF file into a new one, re-encoding
// the image data with the chosen compression (CCITT Group 4 for the pipeline) and keeping the
// page's tags.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <string>

#include "pdfout/diagnostic_sink.h"
#include "pdfout/tiff_copy_options.h"

namespace trelvane::pdfout {

// Results of copy_tiff.
inline constexpr int kCopyOk = 0;
inline constexpr int kCopyDirectoryFailed = 1;
inline constexpr int kCopyOutputFailed = -2;
inline constexpr int kCopyInputFailed = -3;

// Copies input to output. directory_list, when not empty, names the directories to copy:
// numbers (decimal, 0x hexadecimal or 0 octal) separated by ','; a ',' at the end continues
// with every following directory; an empty number means the current one. A malformed list is
// refused up front (kCopyInputFailed). Messages go to the sink (discarded by default).
int copy_tiff(const std::string& input, const std::string& output, const TiffCopyOptions& options,
              const std::string& directory_list = {});
int copy_tiff(const std::string& input, const std::string& output, const TiffCopyOptions& options,
              const std::string& directory_list, DiagnosticSink& sink);

// The values one directory's copy works with: reset from the run's defaults for each
// directory, then filled while its tags are copied. -1 means "copy the input's".
struct CopyWorkingValues {
    int32_t planar_config = -1;
    int32_t compression = -1;
    int32_t predictor = -1;
    int32_t fill_order = 0;
    int32_t orientation = 1;
    int64_t rows_per_strip = 0;
    int64_t tile_width = -1;
    int64_t tile_length = -1;
    int64_t group3_options = -1;
};

// The run-wide settings derived from TiffCopyOptions.
struct CopyDefaults {
    CopyWorkingValues values;
    int32_t jpeg_quality = 75;
    int32_t jpeg_color_mode = JPEGCOLORMODE_RGB;
    int32_t tiled_output = -1;
    bool append_output = false;
};

CopyDefaults copy_defaults_from(const TiffCopyOptions& options);

// Everything one directory's copy needs to know.
struct CopyContext {
    TIFF* in = nullptr;
    TIFF* out = nullptr;
    const CopyDefaults* defaults = nullptr;
    CopyWorkingValues work;
    DiagnosticSink* sink = nullptr;
    bool output_tiled = false;
};

enum class TagType { kShort, kLong, kRational, kAscii, kDouble };

// Copies one tag when the input directory has it. count: 1, 2, 4 (three tables) or -1 (as many
// values as the tag holds).
void copy_tag(TIFF* in, TIFF* out, ttag_t tag, int count, TagType type);

// Sets up the current output directory from the current input directory and copies its image
// data. True when the data was copied.
bool copy_directory(CopyContext& context);

// A copy routine moves one directory's image data: (context, length, width, samples).
using CopyRoutine = bool (*)(CopyContext&, uint32_t, uint32_t, uint16_t);

// Chooses the routine for the page's layout, or nullptr (with a message) when none fits.
CopyRoutine pick_copy_routine(CopyContext& context, uint16_t bits_per_sample,
                              uint16_t samples_per_pixel);

// Strip by strip, decoding each and encoding it again (the pages of the pipeline).
bool copy_decoded_strips(CopyContext& context, uint32_t length, uint32_t width, uint16_t samples);
// Row by row, when the strip layouts differ.
bool copy_rows(CopyContext& context, uint32_t length, uint32_t width, uint16_t samples);

}  // namespace trelvane::pdfout
