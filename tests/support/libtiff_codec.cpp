#include "support/libtiff_codec.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <random>

namespace trelvane::testsupport {
namespace {

// A TIFF file in a byte vector, for both writing and reading it back.
struct MemoryFile {
    std::vector<uint8_t> bytes;
    uint64_t at = 0;
    std::string messages;

    static MemoryFile& of(thandle_t h) { return *static_cast<MemoryFile*>(h); }
    static tmsize_t read(thandle_t h, void* buf, tmsize_t n) {
        MemoryFile& m = of(h);
        if (n <= 0 || m.at >= m.bytes.size())
            return 0;
        const size_t got = std::min<size_t>(static_cast<size_t>(n), m.bytes.size() - m.at);
        std::memcpy(buf, m.bytes.data() + m.at, got);
        m.at += got;
        return static_cast<tmsize_t>(got);
    }
    static tmsize_t write(thandle_t h, void* buf, tmsize_t n) {
        MemoryFile& m = of(h);
        if (n <= 0)
            return 0;
        if (m.at + static_cast<size_t>(n) > m.bytes.size())
            m.bytes.resize(m.at + static_cast<size_t>(n));
        std::memcpy(m.bytes.data() + m.at, buf, static_cast<size_t>(n));
        m.at += static_cast<size_t>(n);
        return n;
    }
    static toff_t seek(thandle_t h, toff_t off, int whence) {
        MemoryFile& m = of(h);
        const uint64_t base = whence == SEEK_CUR ? m.at : whence == SEEK_END ? m.bytes.size() : 0;
        m.at = base + off;
        return m.at;
    }
    static int close(thandle_t) { return 0; }
    static toff_t size(thandle_t h) { return of(h).bytes.size(); }
    static int map(thandle_t, void**, toff_t*) { return 0; }
    static void unmap(thandle_t, void*, toff_t) {}

    static int keep(TIFF*, void* user, const char* module, const char* format, va_list args) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        MemoryFile& m = *static_cast<MemoryFile*>(user);
        m.messages += std::string(module ? module : "") + ": " + text + "\n";
        return 1;
    }

    TIFF* open(const char* mode) {
        at = 0;
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        TIFFOpenOptionsSetErrorHandlerExtR(options, keep, this);
        TIFFOpenOptionsSetWarningHandlerExtR(options, keep, this);
        TIFF* t = TIFFClientOpenExt("memory", mode, this, read, write, seek, close, size, map,
                                    unmap, options);
        TIFFOpenOptionsFree(options);
        return t;
    }
};

void set_fields(TIFF* t, int width, int height, uint16_t compression, int fill_order) {
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_FILLORDER, fill_order == 1 ? FILLORDER_MSB2LSB : FILLORDER_LSB2MSB);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(height));
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
}

}  // namespace

LibtiffDecode libtiff_decode(const std::vector<uint8_t>& data, int width, int height, Coding coding,
                             int fill_order) {
    LibtiffDecode out;
    out.page = Bitmap(width, height);
    MemoryFile file;
    TIFF* t = file.open("wm");
    if (!t)
        return out;
    set_fields(t, width, height,
               coding == Coding::Group4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3,
               fill_order);
    if (coding != Coding::Group4)
        TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, 0);
    std::vector<uint8_t> raw = data;
    TIFFWriteRawStrip(t, 0, raw.data(), static_cast<tmsize_t>(raw.size()));
    TIFFWriteDirectory(t);
    TIFFClose(t);
    t = file.open("rm");
    if (!t)
        return out;
    if (!out.page.bits.empty()) {
        out.result = static_cast<int>(TIFFReadEncodedStrip(
            t, 0, out.page.bits.data(), static_cast<tmsize_t>(out.page.bits.size())));
    }
    TIFFClose(t);
    out.messages = file.messages;
    return out;
}

std::vector<uint8_t> libtiff_encode(const Bitmap& page, Coding coding, int fill_order) {
    MemoryFile file;
    TIFF* t = file.open("wm");
    if (!t)
        return {};
    set_fields(t, page.width, page.height,
               coding == Coding::Group4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3,
               fill_order);
    if (coding != Coding::Group4)
        TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_FILLBITS);
    std::vector<uint8_t> raster = page.bits;
    // Closing writes the directory after the codec has ended the strip (a Group 3 strip with
    // the return-to-control sequence).
    const bool ok =
        TIFFWriteEncodedStrip(t, 0, raster.data(), static_cast<tmsize_t>(raster.size())) >= 0;
    TIFFClose(t);
    if (!ok)
        return {};
    t = file.open("rm");
    if (!t)
        return {};
    uint64_t* counts = nullptr;
    std::vector<uint8_t> coded;
    if (TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts) && counts) {
        coded.resize(static_cast<size_t>(counts[0]));
        if (!coded.empty() &&
            TIFFReadRawStrip(t, 0, coded.data(), static_cast<tmsize_t>(coded.size())) < 0) {
            coded.clear();
        }
    }
    TIFFClose(t);
    return coded;
}

Bitmap random_page(int width, int height, uint32_t seed) {
    std::mt19937 random(seed);
    Bitmap page(width, height);
    for (int y = 0; y < height; ++y) {
        const uint32_t kind = random() % 4;
        if (kind == 0)
            continue;  // white
        if (kind == 1 && y > 0) {
            // The row above with each pixel moved a little: vertical codes and pass codes.
            const int shift = static_cast<int>(random() % 7) - 3;
            for (int x = 0; x < width; ++x) {
                const int from = std::clamp(x + shift, 0, width - 1);
                if (page.get(from, y - 1) != ((random() % 29) == 0))
                    page.set(x, y);
            }
            continue;
        }
        // Runs of random lengths, short and long.
        const uint32_t scale = 1u << (random() % 12);
        bool black = random() % 2 == 0;
        for (int x = 0; x < width;) {
            const int run = 1 + static_cast<int>(random() % scale);
            for (int i = 0; i < run && x < width; ++i, ++x) {
                if (black)
                    page.set(x, y);
            }
            black = !black;
        }
    }
    return page;
}

Bitmap with_most_runs(Bitmap page, const std::vector<int>& rows) {
    for (const int y : rows) {
        for (int x = 0; x < page.width; ++x)
            page.set(x, y, x % 2 == 0);
    }
    return page;
}

}  // namespace trelvane::testsupport
