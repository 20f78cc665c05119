// The bundled sample faxes (made by scripts/make-samples from Ghostscript renderings) read as
// faxes, and libtiff decodes every page of their intermediate files in full.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <memory>
#include <string>
#include <vector>

#include "faxread/fax_reader.h"
#include "support/bitmap.h"
#include "support/ccitt.h"
#include "support/temp_dir.h"

namespace trelvane::faxread {
namespace {

struct Sample {
    const char* file;
    uint16_t pages;
    uint16_t lines;  // every page's length
    float y_resolution;
    const char* title;  // nullptr: none
};

const Sample kSamples[] = {
    {"quote-request.fxd", 2, 1078, 100, nullptr},
    {"meeting-minutes.fxm", 2, 2291, 200, nullptr},
    {"purchase-order.fxr", 1, 2156, 200, "PO-4471 Hallbeck Office Supplies"},
    {"delivery-notice.fxs", 1, 2291, 200, "Castlegate Freight - notice of delivery"},
};

class Samples : public ::testing::TestWithParam<Sample> {};

TEST_P(Samples, ReadAsFaxesWhosePagesDecodeInFull) {
    const Sample& s = GetParam();
    const std::string path = std::string(TRELVANE_SOURCE_DIR) + "/samples/" + s.file;
    testsupport::TempDir dir;
    const std::string tiff = dir.file("sample.tif");

    FaxReader r;
    r.settings().recalculate_lines = 1;  // Ghostscript's pages decode to their full length
    ASSERT_EQ(r.open_fax_file(path, 11), 0);
    ASSERT_TRUE(r.is_fax());
    EXPECT_EQ(r.settings().page_count, s.pages);
    EXPECT_EQ(r.page_image().width, 1728);
    if (s.title) {
        EXPECT_EQ(r.metadata().title_text, s.title);
    } else {
        EXPECT_FALSE(r.metadata().title_text.has_value());
    }
    ASSERT_EQ(r.write_intermediate_tiff(tiff, 11), 0);

    std::vector<testsupport::Bitmap> pages;
    ASSERT_TRUE(testsupport::read_tiff_pages(tiff, pages));
    ASSERT_EQ(pages.size(), s.pages);
    for (const testsupport::Bitmap& page : pages) {
        EXPECT_EQ(page.width, 1728);
        EXPECT_EQ(page.height, s.lines);
        // Text, not a blank or black page.
        size_t black = 0;
        for (uint8_t b : page.normalised().bits)
            black += static_cast<size_t>(__builtin_popcount(b));
        const double share = static_cast<double>(black) / (1728.0 * s.lines);
        EXPECT_GT(share, 0.005);
        EXPECT_LT(share, 0.2);
    }
    std::unique_ptr<TIFF, void (*)(TIFF*)> t(TIFFOpen(tiff.c_str(), "r"), [](TIFF* x) {
        if (x)
            TIFFClose(x);
    });
    ASSERT_TRUE(t);
    float yres = 0;
    TIFFGetField(t.get(), TIFFTAG_YRESOLUTION, &yres);
    EXPECT_EQ(yres, s.y_resolution);
}

INSTANTIATE_TEST_SUITE_P(Bundled, Samples, ::testing::ValuesIn(kSamples), [](const auto& info) {
    std::string n = info.param.file;
    for (char& c : n) {
        if (c == '-' || c == '.')
            c = '_';
    }
    return n;
});

}  // namespace
}  // namespace trelvane::faxread
