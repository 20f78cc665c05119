// The copy stage's own road for fax pages: the page's strip is read raw, decoded by the strip
// decoder (which recovers from damage as the library does) and coded again by the Group 4
// encoder, which writes the library's bytes. The stage owns this codec because the library's
// stops a page at a line of width + 1 runs and says nothing a report could use, and because
// decoding to runs and coding from them, never drawing the page, is several times faster.
#pragma once

#include <cstdint>

#include "pdfout/tiff_copy.h"

namespace trelvane::pdfout {

// True when the current input page is one the own codec copies exactly as the library would:
// one Group 3 one-dimensional or Group 4 strip holding the whole bilevel page, going to
// Group 4, of a size the library would decode.
bool takes_fax_page(CopyContext& context, uint32_t length, uint32_t width);

// The copy routine of such a page (see CopyRoutine).
bool copy_fax_page(CopyContext& context, uint32_t length, uint32_t width, uint16_t samples);

}  // namespace trelvane::pdfout
