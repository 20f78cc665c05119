// The TIFF normalisation stage: copies every page of a TIFF file into a new one, re-encoding
// the image data with the chosen compression (CCITT Group 4 for the pipeline) and keeping the
// page's tags. Fax pages (one Group 3 one-dimensional or Group 4 strip, to Group 4) go through
// the program's own codec, which gives the picture and the bytes the library's would and says
// what it met on each page; everything else goes through the library.
#pragma once

#include <tiffio.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "faxcodec/strip_decoder.h"
#include "pdfout/diagnostic_sink.h"
#include "pdfout/result_codes.h"
#include "pdfout/tiff_copy_options.h"

namespace trelvane::pdfout {

// One page as the copy stage decoded it, before its Group 4 strip is encoded and written.
// Everything it points to is valid only during the call that hands it over.
struct DecodedPage {
    uint32_t index = 0;  // the page's directory in the input, from 0
    uint32_t width = 0;  // pixels
    uint32_t height = 0;
    float x_resolution = 0;  // as the page's tags say (0 when absent)
    float y_resolution = 0;
    uint16_t resolution_unit = RESUNIT_INCH;
    size_t row_bytes = 0;  // (width + 7) / 8
    // height rows of row_bytes bytes: first pixel in the most significant bit, 1 = black,
    // pad bits 0. Rows the data did not reach are white.
    std::span<const uint8_t> rows;
};

// Receives every page the stage decodes with its own codec (every page of a fax), in page
// order, on the thread that runs copy_tiff. Without an observer no page is ever drawn.
class PageObserver {
  public:
    virtual ~PageObserver() = default;
    virtual void page_decoded(const DecodedPage& page) = 0;
};

// What the stage met on one page.
struct CopiedPage {
    uint32_t index = 0;                  // the page's directory in the input, from 0
    faxcodec::StripDecodeStatus decode;  // from the stage's own decoder, down to the length
    // Lines up to the last with content that the data holds, past the page's length too (which
    // the page does not show).
    uint32_t rows_held = 0;
    // The library could not read the page's data at all (it is left white). Only pages the
    // stage's codec does not take go through the library.
    bool unreadable = false;
    // Copying the page failed (memory ran out, or the library cannot read or copy a page of
    // its size or layout): the output has no page for it.
    bool left_out = false;
};

// With a report, a page that cannot be read or copied is left out (and reported) and the run
// goes on with the next one; without one such a page fails the run, since nobody would hear
// of it.
struct TiffCopyReport {
    // In page order: every page of the stage's own codec, and of the library's road only the
    // pages it could not read or copy.
    std::vector<CopiedPage> pages;
};

// What a caller may add to a run: all of it optional.
struct TiffCopyHooks {
    PageObserver* observer = nullptr;
    TiffCopyReport* report = nullptr;
    // Decode and encode every page with the library, as the stage once did: the reference the
    // stage's own codec is checked against.
    bool reference_codec = false;
};

// Copies input to output. directory_list, when not empty, names the directories to copy:
// numbers (decimal, 0x hexadecimal or 0 octal) separated by ','; a ',' at the end continues
// with every following directory; an empty number means the current one. A malformed list is
// refused up front (kCopyInputFailed). Messages go to the sink (discarded by default), and
// with them the system's reason of a failure (sink.system_error(), 0 when it was not the
// system's).
int copy_tiff(const std::string& input, const std::string& output, const TiffCopyOptions& options,
              const std::string& directory_list = {});
int copy_tiff(const std::string& input, const std::string& output, const TiffCopyOptions& options,
              const std::string& directory_list, DiagnosticSink& sink);
int copy_tiff(const std::string& input, const std::string& output, const TiffCopyOptions& options,
              const std::string& directory_list, DiagnosticSink& sink, const TiffCopyHooks& hooks);

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
    const TiffCopyHooks* hooks = nullptr;
    bool output_tiled = false;
    uint32_t page = 0;  // the input directory being copied, from 0
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
