// mkwinfax: builds a WinFax fax file from CCITT-coded TIFF pages.
//
//   mkwinfax [options] -o OUTPUT INPUT.tif [INPUT.tif ...]
//
// Every directory of every input becomes one fax page, in order. A page must be Group 3
// one-dimensional or Group 4 coded, in one strip; its coded bytes are copied unchanged apart
// from the bit order (WinFax stores the first coded bit in the least significant bit).
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "support/winfax_builder.h"

namespace {

using trelvane::testsupport::WinFaxPage;

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

struct Options {
    std::string output;
    std::vector<std::string> inputs;
    std::string title;
    uint32_t gap = 0;
    bool zero_size = false;
    int resolution_code = -1;  // -1: from each page's vertical resolution
};

void usage() {
    std::fputs(
        "usage: mkwinfax [options] -o OUTPUT INPUT.tif [INPUT.tif ...]\n"
        "  -o FILE      the WinFax file to write\n"
        "  -t TEXT      page header text (becomes the PDF title), on every page\n"
        "  -g BYTES     unreferenced filler bytes after each page's data\n"
        "  -z           store width and length as 0 (read as 1728 x 3432)\n"
        "  -r CODE      vertical resolution code 0-255 for every page\n"
        "               (default: 0 up to 150 lines/inch, 1 up to 300, else 2)\n",
        stderr);
}

bool parse_number(const char* text, unsigned long max, unsigned long& value) {
    char* end = nullptr;
    value = std::strtoul(text, &end, 10);
    return end != text && *end == '\0' && value <= max && text[0] != '-';
}

// Returns 0 on success, 2 on a usage error.
int parse_arguments(int argc, char** argv, Options& opt) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        unsigned long n = 0;
        if (a == "-o" && has_value) {
            opt.output = argv[++i];
        } else if (a == "-t" && has_value) {
            opt.title = argv[++i];
        } else if (a == "-g" && has_value) {
            if (!parse_number(argv[++i], 1u << 24, n))
                return 2;
            opt.gap = static_cast<uint32_t>(n);
        } else if (a == "-r" && has_value) {
            if (!parse_number(argv[++i], 255, n))
                return 2;
            opt.resolution_code = static_cast<int>(n);
        } else if (a == "-z") {
            opt.zero_size = true;
        } else if (!a.empty() && a[0] == '-') {
            return 2;
        } else {
            opt.inputs.push_back(a);
        }
    }
    return opt.output.empty() || opt.inputs.empty() ? 2 : 0;
}

uint8_t resolution_code_for(TIFF* t) {
    float y = 0;
    uint16_t unit = RESUNIT_INCH;
    if (!TIFFGetField(t, TIFFTAG_YRESOLUTION, &y) || y <= 0)
        return 0;
    TIFFGetFieldDefaulted(t, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_CENTIMETER)
        y *= 2.54f;
    if (y <= 150)
        return 0;
    if (y <= 300)
        return 1;
    return 2;
}

// Reads the current directory as one fax page; prints why when it cannot.
bool read_page(TIFF* t, const std::string& name, const Options& opt, WinFaxPage& page) {
    uint16_t compression = 0, fill_order = FILLORDER_MSB2LSB;
    uint32_t width = 0, length = 0, t4_options = 0;
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(t, TIFFTAG_FILLORDER, &fill_order);
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &length);
    if (compression == COMPRESSION_CCITTFAX3) {
        TIFFGetField(t, TIFFTAG_GROUP3OPTIONS, &t4_options);
        if (t4_options & GROUP3OPT_2DENCODING) {
            std::fprintf(stderr, "mkwinfax: %s: two-dimensional Group 3 pages are not supported\n",
                         name.c_str());
            return false;
        }
    } else if (compression != COMPRESSION_CCITTFAX4) {
        std::fprintf(stderr, "mkwinfax: %s: not a CCITT Group 3 or Group 4 page\n", name.c_str());
        return false;
    }
    if (TIFFNumberOfStrips(t) != 1) {
        std::fprintf(stderr, "mkwinfax: %s: a page must be one strip (has %u)\n", name.c_str(),
                     static_cast<unsigned>(TIFFNumberOfStrips(t)));
        return false;
    }
    if (width > 65535 || length > 65535) {
        std::fprintf(stderr, "mkwinfax: %s: page of %u x %u does not fit a WinFax header\n",
                     name.c_str(), width, length);
        return false;
    }
    const tmsize_t size = TIFFRawStripSize(t, 0);
    if (size < 0 || static_cast<uint64_t>(size) > std::numeric_limits<int32_t>::max() / 2) {
        std::fprintf(stderr, "mkwinfax: %s: bad strip size\n", name.c_str());
        return false;
    }
    page.data.assign(static_cast<size_t>(size), 0);
    if (size > 0 && TIFFReadRawStrip(t, 0, page.data.data(), size) != size) {
        std::fprintf(stderr, "mkwinfax: %s: cannot read the coded strip\n", name.c_str());
        return false;
    }
    if (fill_order != FILLORDER_LSB2MSB && size > 0) {
        TIFFReverseBits(page.data.data(), size);
    }
    page.width = opt.zero_size ? 0 : static_cast<uint16_t>(width);
    page.length = opt.zero_size ? 0 : static_cast<uint16_t>(length);
    page.coding = compression == COMPRESSION_CCITTFAX4 ? 1 : 0;
    page.resolution = opt.resolution_code >= 0 ? static_cast<uint8_t>(opt.resolution_code)
                                               : resolution_code_for(t);
    page.title = opt.title;
    page.gap = opt.gap;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    if (parse_arguments(argc, argv, opt) != 0) {
        usage();
        return 2;
    }
    if (opt.title.size() > 119) {
        std::fputs("mkwinfax: the header text holds at most 119 bytes; it is cut\n", stderr);
    }
    std::vector<WinFaxPage> pages;
    uint64_t total = 0;
    for (const std::string& input : opt.inputs) {
        TiffPtr t(TIFFOpen(input.c_str(), "r"));
        if (!t) {
            std::fprintf(stderr, "mkwinfax: cannot open %s\n", input.c_str());
            return 1;
        }
        do {
            WinFaxPage page;
            if (!read_page(t.get(), input, opt, page))
                return 1;
            total += trelvane::testsupport::kWinFaxHeaderSize + page.data.size() + page.gap;
            pages.push_back(std::move(page));
        } while (TIFFReadDirectory(t.get()));
    }
    if (total > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        std::fputs("mkwinfax: the pages do not fit one WinFax file (2 GiB)\n", stderr);
        return 1;
    }
    if (pages.size() > 1024) {
        std::fprintf(stderr, "mkwinfax: warning: %zu pages; readers convert the first 1024\n",
                     pages.size());
    }
    if (!trelvane::testsupport::write_winfax(opt.output, pages)) {
        std::fprintf(stderr, "mkwinfax: cannot write %s\n", opt.output.c_str());
        return 1;
    }
    return 0;
}
