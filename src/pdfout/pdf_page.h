// One PDF page's own objects: reading the page's TIFF directory, the page geometry, the page
// dictionary, the content stream, the image XObject dictionary and the image data.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <string_view>

#include "pdfout/pdf_output.h"
#include "pdfout/pdf_writer_state.h"

namespace trelvane::pdfout {

// Sets the current page's directory and fills state.image; an unsupported page is reported to
// the sink and sets state.error.
void read_page_image(PdfWriterState& state, TIFF* input);

// Page size, media box and image placement from what the page directory says.
void compose_page(PdfWriterState& state);

// Fills the box's placement matrix for a TIFF orientation (1 to 8; anything else as 1).
void orient_image_box(ImageBox& box, uint16_t orientation);

// Each returns the number of bytes written.
// `font_resources`: the page's /Font entry when it has a text layer.
size_t write_page_dictionary(const PdfWriterState& state, PdfOutput& out, uint32_t page_object,
                             std::string_view font_resources = {});
size_t write_page_content(const PdfWriterState& state, PdfOutput& out);
size_t write_image_dictionary(const PdfWriterState& state, PdfOutput& out, uint32_t tile);
size_t write_image_data(PdfWriterState& state, TIFF* input, PdfOutput& out);

}  // namespace trelvane::pdfout
