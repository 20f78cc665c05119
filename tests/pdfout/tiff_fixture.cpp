#include "tiff_fixture.h"

#include <memory>
#include <thread>

namespace trelvane::pdfout::test {
namespace {
struct Closer {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
}  // namespace

bool write_tiff(const std::string& path, const std::vector<PageSpec>& pages) {
    std::unique_ptr<TIFF, Closer> t(TIFFOpen(path.c_str(), "w"));
    if (!t)
        return false;
    for (const PageSpec& p : pages) {
        TIFF* tif = t.get();
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, p.bits_per_sample);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, p.samples_per_pixel);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, p.photometric);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_FILLORDER, p.fill_order);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, p.compression);
        if (!p.omit_rows_per_strip) {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.rows_per_strip.value_or(p.height));
        }
        if (p.x_resolution)
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, double{*p.x_resolution});
        if (p.y_resolution)
            TIFFSetField(tif, TIFFTAG_YRESOLUTION, double{*p.y_resolution});
        if (p.resolution_unit)
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, *p.resolution_unit);
        if (p.orientation)
            TIFFSetField(tif, TIFFTAG_ORIENTATION, *p.orientation);
        if (p.date_time)
            TIFFSetField(tif, TIFFTAG_DATETIME, p.date_time->c_str());
        if (p.software)
            TIFFSetField(tif, TIFFTAG_SOFTWARE, p.software->c_str());
        if (p.document_name)
            TIFFSetField(tif, TIFFTAG_DOCUMENTNAME, p.document_name->c_str());
        if (p.artist)
            TIFFSetField(tif, TIFFTAG_ARTIST, p.artist->c_str());
        if (p.image_description) {
            TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, p.image_description->c_str());
        }
        if (p.subfile_type)
            TIFFSetField(tif, TIFFTAG_SUBFILETYPE, *p.subfile_type);
        if (p.extra_tags)
            p.extra_tags(tif);
        if (!p.raw.empty()) {
            std::vector<uint8_t> data = p.raw;
            if (TIFFWriteRawStrip(tif, 0, data.data(), static_cast<tmsize_t>(data.size())) < 0) {
                return false;
            }
        } else if (p.bitmap) {
            const uint32_t rows =
                p.omit_rows_per_strip ? p.height : p.rows_per_strip.value_or(p.height);
            const size_t row_bytes = static_cast<size_t>(p.bitmap->row_bytes());
            std::vector<uint8_t> bits = p.bitmap->bits;
            if (p.photometric == PHOTOMETRIC_MINISBLACK) {
                for (uint8_t& b : bits)
                    b = static_cast<uint8_t>(~b);
            }
            tstrip_t strip = 0;
            for (uint32_t row = 0; row < p.height; row += rows, ++strip) {
                const uint32_t n = std::min(rows, p.height - row);
                if (TIFFWriteEncodedStrip(tif, strip, bits.data() + row * row_bytes,
                                          static_cast<tmsize_t>(n * row_bytes)) < 0) {
                    return false;
                }
            }
        }
        if (!TIFFWriteDirectory(tif))
            return false;
    }
    return true;
}

std::vector<uint8_t> pattern_bytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> out(n);
    uint32_t s = seed;
    for (uint8_t& b : out) {
        s = s * 1103515245u + 12345u;
        b = static_cast<uint8_t>(s >> 16);
    }
    return out;
}

void on_fresh_thread(const std::function<void()>& body) {
    std::thread worker(body);
    worker.join();
}

std::string stream_data(const std::string& pdf, int n) {
    size_t at = 0;
    for (int i = 0;; ++i) {
        const size_t begin = pdf.find("stream\r\n", at);
        if (begin == std::string::npos)
            return {};
        const size_t end = pdf.find("\rendstream", begin + 8);
        if (end == std::string::npos)
            return {};
        if (i == n)
            return pdf.substr(begin + 8, end - begin - 8);
        at = end + 10;
    }
}

}  // namespace trelvane::pdfout::test
