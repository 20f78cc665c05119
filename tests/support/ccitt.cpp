#include "support/ccitt.h"

#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "support/temp_dir.h"

namespace trelvane::testsupport {
namespace {

struct TiffCloser {
    void operator()(TIFF* t) const {
        if (t)
            TIFFClose(t);
    }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// A scratch file name in the temporary folder, removed when the guard goes.
class ScratchFile {
  public:
    ScratchFile() : path_(unique_temporary_path("trelvane-ccitt-")) {}
    ~ScratchFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

void set_page_fields(TIFF* t, int width, int height, Coding coding, int fill_order, bool eol_fill) {
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_FILLORDER, fill_order == 1 ? FILLORDER_MSB2LSB : FILLORDER_LSB2MSB);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(height > 0 ? height : 1));
    if (coding == Coding::Group4) {
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    } else {
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
        TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, eol_fill ? GROUP3OPT_FILLBITS : 0);
    }
}

}  // namespace

CodedPage encode_page(const Bitmap& page, Coding coding, int fill_order, bool eol_fill) {
    CodedPage coded;
    coded.width = page.width;
    coded.height = page.height;
    coded.coding = coding;
    coded.fill_order = fill_order;
    ScratchFile scratch;
    {
        TiffPtr t(TIFFOpen(scratch.path().c_str(), "w"));
        if (!t)
            return coded;
        set_page_fields(t.get(), page.width, page.height, coding, fill_order, eol_fill);
        std::vector<uint8_t> raster = page.bits;
        if (TIFFWriteEncodedStrip(t.get(), 0, raster.data(), static_cast<tmsize_t>(raster.size())) <
            0) {
            return coded;
        }
    }
    TiffPtr t(TIFFOpen(scratch.path().c_str(), "r"));
    if (!t)
        return coded;
    uint64_t* counts = nullptr;
    if (!TIFFGetField(t.get(), TIFFTAG_STRIPBYTECOUNTS, &counts) || counts == nullptr)
        return coded;
    coded.data.resize(static_cast<size_t>(counts[0]));
    if (!coded.data.empty() && TIFFReadRawStrip(t.get(), 0, coded.data.data(),
                                                static_cast<tmsize_t>(coded.data.size())) < 0) {
        coded.data.clear();
    }
    return coded;
}

bool write_coded_tiff(const std::string& path, const CodedPage& coded, int x_resolution,
                      int y_resolution) {
    TiffPtr t(TIFFOpen(path.c_str(), "w"));
    if (!t)
        return false;
    set_page_fields(t.get(), coded.width, coded.height, coded.coding, coded.fill_order, true);
    TIFFSetField(t.get(), TIFFTAG_XRESOLUTION, static_cast<float>(x_resolution));
    TIFFSetField(t.get(), TIFFTAG_YRESOLUTION, static_cast<float>(y_resolution));
    TIFFSetField(t.get(), TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    std::vector<uint8_t> data = coded.data;
    return TIFFWriteRawStrip(t.get(), 0, data.data(), static_cast<tmsize_t>(data.size())) >= 0;
}

bool decode_page_libtiff(const CodedPage& coded, Bitmap& page) {
    page = Bitmap(coded.width, coded.height);
    ScratchFile scratch;
    if (!write_coded_tiff(scratch.path(), coded))
        return false;
    TiffPtr t(TIFFOpen(scratch.path().c_str(), "r"));
    if (!t)
        return false;
    if (page.bits.empty())
        return true;
    const tmsize_t got =
        TIFFReadEncodedStrip(t.get(), 0, page.bits.data(), static_cast<tmsize_t>(page.bits.size()));
    return got >= 0;
}

bool write_bilevel_tiff(const std::string& path, const std::vector<Bitmap>& pages, int x_resolution,
                        int y_resolution) {
    TiffPtr t(TIFFOpen(path.c_str(), "w"));
    if (!t)
        return false;
    for (const Bitmap& page : pages) {
        TIFFSetField(t.get(), TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(page.width));
        TIFFSetField(t.get(), TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(page.height));
        TIFFSetField(t.get(), TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(t.get(), TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(t.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t.get(), TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(t.get(), TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(page.height));
        TIFFSetField(t.get(), TIFFTAG_XRESOLUTION, static_cast<float>(x_resolution));
        TIFFSetField(t.get(), TIFFTAG_YRESOLUTION, static_cast<float>(y_resolution));
        TIFFSetField(t.get(), TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        std::vector<uint8_t> raster = page.bits;
        if (TIFFWriteEncodedStrip(t.get(), 0, raster.data(), static_cast<tmsize_t>(raster.size())) <
            0) {
            return false;
        }
        if (!TIFFWriteDirectory(t.get()))
            return false;
    }
    return true;
}

bool read_tiff_pages(const std::string& path, std::vector<Bitmap>& pages) {
    pages.clear();
    TiffPtr t(TIFFOpen(path.c_str(), "r"));
    if (!t)
        return false;
    do {
        uint32_t w = 0, h = 0;
        uint16_t photometric = PHOTOMETRIC_MINISWHITE;
        TIFFGetField(t.get(), TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(t.get(), TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(t.get(), TIFFTAG_PHOTOMETRIC, &photometric);
        Bitmap page(static_cast<int>(w), static_cast<int>(h));
        const tstrip_t strips = TIFFNumberOfStrips(t.get());
        size_t offset = 0;
        for (tstrip_t s = 0; s < strips && offset < page.bits.size(); ++s) {
            const tmsize_t got =
                TIFFReadEncodedStrip(t.get(), s, page.bits.data() + offset,
                                     static_cast<tmsize_t>(page.bits.size() - offset));
            if (got < 0)
                return false;
            offset += static_cast<size_t>(got);
        }
        if (photometric == PHOTOMETRIC_MINISBLACK) {
            for (uint8_t& b : page.bits)
                b = static_cast<uint8_t>(~b);
        }
        pages.push_back(page.normalised());
    } while (TIFFReadDirectory(t.get()));
    return true;
}

}  // namespace trelvane::testsupport
