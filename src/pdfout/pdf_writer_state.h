// The PDF writer's state for one conversion: the page list, the object bookkeeping and the
// facts of the current page's image.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pdfout/archive_level.h"
#include "pdfout/diagnostic_sink.h"
#include "pdfout/source_record.h"
#include "pdfout/text_layer.h"

namespace trelvane::pdfout {

class EmbeddedFax;

// Bits of a page's colour space.
enum PdfColourSpace : uint32_t {
    kColourBilevel = 0x01,
    kColourGray = 0x02,
    kColourRgb = 0x04,
    kColourCmyk = 0x08,
    kColourLab = 0x10,
    kColourCalGray = 0x20,
    kColourCalRgb = 0x40,
    kColourIccBased = 0x80,
    kColourPalette = 0x1000,
};

enum class PdfCompression { kNone = 0, kG4 = 1 };
enum class TranscodeMode { kPassthrough = 1, kReencode = 2 };

// A rectangle with the matrix that places the image in it (a b 0 / c d 0 / e f 1).
struct ImageBox {
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    float matrix[9] = {};
};

struct PageEntry {
    uint16_t directory = 0;
    uint32_t page_number = 0;
    uint32_t object_number = 0;  // of its page dictionary
    uint32_t tile_count = 0;     // 0 for a stripped page
    uint32_t extra_objects = 0;  // objects between the content length and the image XObject
    bool has_transfer_function = false;
};

// What the current page's directory says, and the geometry that follows from it.
struct PageImage {
    uint16_t compression = 0;
    uint16_t photometric = 0;
    uint16_t fill_order = 1;
    uint16_t bits_per_sample = 1;
    uint16_t samples_per_pixel = 1;
    uint16_t planar_config = 1;
    uint32_t width = 0;
    uint32_t length = 0;
    float x_resolution = 0;
    float y_resolution = 0;
    uint16_t orientation = 1;
    uint16_t resolution_unit = 2;
    uint64_t data_size = 0;
    float pdf_x_resolution = 0;
    float pdf_y_resolution = 0;
    float image_width = 0;
    float image_length = 0;
    float page_width = 0;
    float page_length = 0;
    float media_box[4] = {};
    ImageBox image_box;
    uint32_t colour_space = 0;
    bool invert_decode = false;
    PdfCompression compression_out = PdfCompression::kNone;
    TranscodeMode transcode = TranscodeMode::kReencode;
    uint32_t sample_conversions = 0;
    // Archive PDFs: a page too large for the part's limits is given in units of this many
    // points (PDF/A-2 and 3 allow it); 1 otherwise.
    uint32_t user_unit = 1;
};

struct PdfWriterState {
    DiagnosticSink* sink = nullptr;
    bool error = false;
    std::vector<PageEntry> pages;
    uint16_t version_major = 1;
    uint16_t version_minor = 1;
    float default_x_resolution = 300;
    float default_y_resolution = 300;
    float default_page_width = 612;
    float default_page_length = 792;
    bool override_resolution = false;  // no caller turns these on
    bool override_page_size = false;
    uint32_t catalog_object = 1;
    uint32_t info_object = 2;
    uint32_t pages_object = 3;
    std::vector<uint64_t> object_offsets;
    uint32_t object_count = 0;
    uint64_t xref_start = 0;
    std::string file_id;
    std::string date_text;
    std::optional<std::string> creator;
    std::optional<std::string> title, subject, author, keywords;
    std::optional<FaxSourceRecord> source_record;
    bool fit_window = false;
    PdfCompression default_compression = PdfCompression::kNone;
    bool passthrough_forbidden = false;
    bool invert_option = false;
    uint16_t current_page = 0;
    PageImage image;
    // Searchable pages: where each page's words come from (none: image-only pages, the
    // document byte for byte as without), and the fonts written after the last page.
    PageTextProvider* text_provider = nullptr;
    TextLayerFonts text_fonts;
    // Archive PDFs (PDF/A): the level, the fax the document is made from (its date and, for
    // 3b, the file to embed, already open), and the first of the archive's own objects
    // (metadata, output profile, embedded file), which follow the pages.
    ArchiveLevel archive = ArchiveLevel::kNone;
    std::optional<FaxSourceRecord> archived_fax;
    EmbeddedFax* embedded_fax = nullptr;
    uint32_t first_archive_object = 0;
};

}  // namespace trelvane::pdfout
