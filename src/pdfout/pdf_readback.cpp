#include "pdfout/pdf_readback.h"

#include <tiffio.h>

#include <cmath>
#include <cstring>
#include <exception>
#include <map>
#include <span>

#include "pdfout/diagnostic_sink.h"
#include "pdfout/pdf_page_images.h"
#include "pdfout/tiff_handle.h"

namespace trelvane::pdfout {

namespace {

// The TIFF tags of a one-strip bilevel page around CCITT data, little-endian.
constexpr uint16_t kTagWidth = 256, kTagLength = 257, kTagBits = 258, kTagCompression = 259,
                   kTagPhotometric = 262, kTagStripOffsets = 273, kTagRowsPerStrip = 278,
                   kTagStripBytes = 279, kTagT4Options = 292;
constexpr uint16_t kTypeShort = 3, kTypeLong = 4;

void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A TIFF file in memory holding the stream as the one strip of a page, so that libtiff's own
// decoder reads it. K < 0 is Group 4, K = 0 Group 3 one-dimensional, K > 0 two-dimensional.
std::vector<uint8_t> wrap_in_tiff(std::span<const uint8_t> data, uint32_t width, uint32_t height,
                                  int64_t k) {
    struct Entry {
        uint16_t tag, type;
        uint32_t value;
    };
    const bool group4 = k < 0;
    std::vector<Entry> entries = {
        {kTagWidth, kTypeLong, width},
        {kTagLength, kTypeLong, height},
        {kTagBits, kTypeShort, 1},
        {kTagCompression, kTypeShort,
         group4 ? uint32_t{COMPRESSION_CCITTFAX4} : uint32_t{COMPRESSION_CCITTFAX3}},
        {kTagPhotometric, kTypeShort, PHOTOMETRIC_MINISWHITE},
        {kTagStripOffsets, kTypeLong, 0},  // filled below
        {kTagRowsPerStrip, kTypeLong, height},
        {kTagStripBytes, kTypeLong, static_cast<uint32_t>(data.size())},
    };
    if (!group4)
        entries.push_back({kTagT4Options, kTypeLong, k > 0 ? 1u : 0u});
    const uint32_t ifd_size = 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
    const uint32_t data_offset = 8 + ifd_size;
    std::vector<uint8_t> out;
    out.reserve(data_offset + data.size());
    for (const uint8_t byte : {uint8_t{'I'}, uint8_t{'I'}, uint8_t{42}, uint8_t{0}})
        out.push_back(byte);
    put32(out, 8);
    put16(out, static_cast<uint16_t>(entries.size()));
    for (Entry e : entries) {
        if (e.tag == kTagStripOffsets)
            e.value = data_offset;
        put16(out, e.tag);
        put16(out, e.type);
        put32(out, 1);
        if (e.type == kTypeShort) {
            put16(out, static_cast<uint16_t>(e.value));
            put16(out, 0);
        } else {
            put32(out, e.value);
        }
    }
    put32(out, 0);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

}  // namespace

bool pdf_readback_available() {
    return pdf_parser_available();
}

struct PdfReadBack::Impl {
    PdfPageImages pages;
};

PdfReadBack::PdfReadBack() : impl_(std::make_unique<Impl>()) {}
PdfReadBack::~PdfReadBack() = default;

std::string PdfReadBack::open(const std::string& path) {
    return impl_->pages.open(path);
}

std::string PdfReadBack::open_descriptor(int fd) {
    // The file may be open for writing only (an unnamed file before it is put in place); the
    // process's view of the descriptor opens it again for reading.
    return open("/proc/self/fd/" + std::to_string(fd));
}

size_t PdfReadBack::page_count() const {
    return impl_->pages.page_count();
}

std::string PdfReadBack::read_page(size_t index, ReadBackPage& page) {
    page = ReadBackPage{};
    RawPageImage raw;
    if (std::string problem = impl_->pages.read(index, raw, kMaxPageBufferBytes); !problem.empty())
        return problem;
    page.width_points = raw.width_points;
    page.height_points = raw.height_points;
    if (raw.image_count != 1)
        return std::to_string(raw.image_count) + " images on the page, not one";
    if (raw.width <= 0 || raw.height <= 0 || raw.bits_per_component != 1)
        return "its image is not a bilevel image";
    const uint64_t row_bytes = (static_cast<uint64_t>(raw.width) + 7) / 8;
    if (row_bytes * static_cast<uint64_t>(raw.height) > kMaxPageBufferBytes)
        return "its image is larger than a fax page can be";
    if (!raw.ccitt)
        return "its image is not CCITT coded";
    if (raw.columns != raw.width || raw.rows != raw.height)
        return "its image's size and its decode parameters disagree";
    if (raw.encoded_byte_align || raw.end_of_line)
        return "its image uses CCITT options this program never writes";
    const bool flip = raw.black_is_1 != raw.decode_inverted;
    page.width = static_cast<uint32_t>(raw.width);
    page.height = static_cast<uint32_t>(raw.height);
    const std::vector<uint8_t> tiff_bytes =
        wrap_in_tiff(std::span<const uint8_t>(raw.data), page.width, page.height, raw.k);
    {
        DiagnosticSink sink(1);
        TiffPtr tiff = open_tiff_in_memory(tiff_bytes, sink);
        if (!tiff)
            return "its image cannot be decoded";
        page.rows.assign(row_bytes * page.height, 0);
        const tmsize_t got = TIFFReadEncodedStrip(tiff.get(), 0, page.rows.data(),
                                                  static_cast<tmsize_t>(page.rows.size()));
        // This program's streams decode without a word from the library; anything it has to
        // say (a line too long, a code out of place) is damage, even where it draws no pixel.
        if (got < 0 || sink.error_count() > 0 || sink.warning_count() > 0)
            return "its image's data is damaged" +
                   (sink.messages().empty() ? std::string()
                                            : " (" + sink.messages().front().text + ")");
    }
    if (flip) {
        for (uint8_t& b : page.rows)
            b = static_cast<uint8_t>(~b);
    }
    // Bits past the width in each row's last byte say nothing.
    if (const unsigned spare = static_cast<unsigned>(row_bytes * 8 - page.width); spare > 0) {
        const auto keep = static_cast<uint8_t>(0xFF << spare);
        for (uint64_t r = 0; r < page.height; ++r)
            page.rows[r * row_bytes + row_bytes - 1] &= keep;
    }
    return {};
}

}  // namespace trelvane::pdfout
