#include "pdfout/fax_page_copy.h"

#include <utility>
#include <vector>

#include "faxcodec/changing_elements.h"
#include "faxcodec/coded_strip.h"
#include "faxcodec/fax_tables.h"
#include "faxcodec/group4_encoder.h"
#include "faxcodec/strip_decoder.h"
#include "pdfout/tiff_handle.h"

namespace trelvane::pdfout {
namespace {

// Widths a fax page header can state; the codec's run arrays are sized for them.
constexpr uint32_t kMaxWidth = 65535;
// Lines counted past a page's length: as many as a page header can declare.
constexpr uint64_t kMaxLinesBeyond = 65535;

// The strip's bytes as stored; false when they cannot be read.
bool read_raw_strip(TIFF* in, std::vector<uint8_t>& raw) {
    uint64_t* counts = nullptr;
    if (!TIFFGetField(in, TIFFTAG_STRIPBYTECOUNTS, &counts) || counts == nullptr)
        return false;
    raw.resize(static_cast<size_t>(counts[0]));
    if (raw.empty())
        return true;
    return TIFFReadRawStrip(in, 0, raw.data(), static_cast<tmsize_t>(raw.size())) ==
           static_cast<tmsize_t>(raw.size());
}

void tell_observer(CopyContext& c, const faxcodec::CodedStrip& strip, faxcodec::StripCoding coding,
                   uint32_t length, uint32_t width) {
    DecodedPage page;
    page.index = c.page;
    page.width = width;
    page.height = length;
    if (!TIFFGetField(c.in, TIFFTAG_XRESOLUTION, &page.x_resolution))
        page.x_resolution = 0;
    if (!TIFFGetField(c.in, TIFFTAG_YRESOLUTION, &page.y_resolution))
        page.y_resolution = 0;
    TIFFGetFieldDefaulted(c.in, TIFFTAG_RESOLUTIONUNIT, &page.resolution_unit);
    page.row_bytes = (width + 7) / 8;
    std::vector<uint8_t> rows(page.row_bytes * length);
    faxcodec::StripDecoder decoder(strip, coding, width);
    for (uint32_t y = 0; y < length; ++y)
        faxcodec::draw_row(decoder.next_row(), width, rows.data() + y * page.row_bytes);
    page.rows = rows;
    c.hooks->observer->page_decoded(page);
}

}  // namespace

bool takes_fax_page(CopyContext& c, uint32_t length, uint32_t width) {
    if (c.work.compression != COMPRESSION_CCITTFAX4 || TIFFIsTiled(c.in) ||
        TIFFNumberOfStrips(c.in) != 1 || length == 0 || width == 0 || width > kMaxWidth) {
        return false;
    }
    uint16_t bits = 1, samples = 1, compression = 0;
    TIFFGetFieldDefaulted(c.in, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(c.in, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(c.in, TIFFTAG_COMPRESSION, &compression);
    if (bits != 1 || samples != 1)
        return false;
    uint32_t options = 0;
    if (compression == COMPRESSION_CCITTFAX3) {
        // Two-dimensional and uncompressed-mode pages stay with the library.
        TIFFGetField(c.in, TIFFTAG_GROUP3OPTIONS, &options);
        if ((options & (GROUP3OPT_2DENCODING | GROUP3OPT_UNCOMPRESSED)) != 0)
            return false;
    } else if (compression == COMPRESSION_CCITTFAX4) {
        TIFFGetField(c.in, TIFFTAG_GROUP4OPTIONS, &options);
        if ((options & GROUP4OPT_UNCOMPRESSED) != 0)
            return false;
    } else {
        return false;
    }
    // The library refuses a page whose decoded strip, or its encoder's buffer (the strip and
    // a tenth), or whose coded strip passes the page buffer limit; such pages keep going
    // through it, so that they fail or stay white as they always did.
    const tmsize_t strip_size = TIFFStripSize(c.in);
    const uint64_t size = strip_size > 0 ? static_cast<uint64_t>(strip_size) : 0;
    uint64_t* counts = nullptr;
    return size > 0 && size + size / 10 <= kMaxPageBufferBytes &&
           TIFFGetField(c.in, TIFFTAG_STRIPBYTECOUNTS, &counts) && counts != nullptr &&
           counts[0] <= kMaxPageBufferBytes;
}

bool copy_fax_page(CopyContext& c, uint32_t length, uint32_t width, uint16_t) {
    CopiedPage copied;
    copied.index = c.page;
    uint16_t compression = 0, fill_order = FILLORDER_MSB2LSB;
    TIFFGetField(c.in, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(c.in, TIFFTAG_FILLORDER, &fill_order);
    const faxcodec::StripCoding coding = compression == COMPRESSION_CCITTFAX4
                                             ? faxcodec::StripCoding::kGroup4
                                             : faxcodec::StripCoding::kGroup3OneDimensional;

    std::vector<uint8_t> raw;
    if (!read_raw_strip(c.in, raw)) {
        // As when the library cannot read a strip: the page is written white.
        raw.clear();
        copied.unreadable = true;
    }
    // The library takes the data as first bit last unless the tag says first bit first.
    const faxcodec::CodedStrip strip(std::move(raw), fill_order == FILLORDER_LSB2MSB ? 2 : 1);
    if (c.hooks != nullptr && c.hooks->observer != nullptr)
        tell_observer(c, strip, coding, length, width);

    faxcodec::StripDecoder decoder(strip, coding, width);
    faxcodec::Group4Encoder encoder(width);
    for (uint32_t y = 0; y < length; ++y)
        encoder.encode_row(decoder.next_row());
    std::vector<uint8_t> code = encoder.finish();
    const faxcodec::StripDecodeStatus page_status = decoder.status();
    // Lines the data holds past the page's length are not in the page; the report is to say
    // so. Decoding on costs no more than the data is long.
    for (uint64_t y = length; !decoder.stopped() && y < uint64_t{length} + kMaxLinesBeyond; ++y)
        decoder.next_row();
    copied.rows_held = decoder.status().content_rows;

    uint16_t out_fill = FILLORDER_MSB2LSB;
    TIFFGetFieldDefaulted(c.out, TIFFTAG_FILLORDER, &out_fill);
    if (out_fill == FILLORDER_LSB2MSB) {
        for (uint8_t& b : code)
            b = faxcodec::kBitReversal[b];
    }
    if (TIFFWriteRawStrip(c.out, 0, code.data(), static_cast<tmsize_t>(code.size())) < 0)
        return false;
    if (!copied.unreadable)
        copied.decode = page_status;
    if (c.hooks != nullptr && c.hooks->report != nullptr)
        c.hooks->report->pages.push_back(copied);
    return true;
}

}  // namespace trelvane::pdfout
