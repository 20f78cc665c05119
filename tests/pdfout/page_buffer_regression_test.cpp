// A page header may claim any size up to 65535 x 65535 pixels while its data holds almost
// nothing. Found by the malformed-corpus run: such a page made the copy stage hold a 268 MB
// raster. The whole-page buffers now have a limit that A4 pages at every fax resolution fit at
// any length; above it the page is refused with a message, not allocated.
#include <tiffio.h>

#include <gtest/gtest.h>

#include <memory>

#include "pdfout/diagnostic_sink.h"
#include "pdfout/tiff_copy.h"
#include "pdfout/tiff_handle.h"
#include "support/temp_dir.h"
#include "tiff_fixture.h"

namespace trelvane::pdfout {
namespace {

using testsupport::TempDir;

struct Case {
    uint32_t width;
    uint32_t height;
    bool copied;
};

// The Group 4 end-of-block code alone: the page decodes as all white.
const std::vector<uint8_t> kEndOfBlock = {0x00, 0x10, 0x01, 0x00, 0x10, 0x01};

TEST(PageBufferRegression, HugeClaimedPagesAreRefusedAndRealWidthsFitAtAnyLength) {
    // The limit holds the decoded page and libtiff's output buffer (a tenth larger).
    const Case cases[] = {
        {32768, 65535, false},  // the page the corpus found: 268 MB
        {65535, 65535, false},  // the largest a header can claim
        {65535, 4097, false},   // just past the limit
        {4000, 65535, false},
        {65535, 3600, true},  // just under it
        {3456, 65535, true},  // A4 at 400 pixels per inch, at the greatest length
        {2432, 65535, true},  // A3 at 200 pixels per inch
        {1728, 65535, true},
        {4864, 40000, true},  // the widest T.4 line, 2.5 metres at 400 lines per inch
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        TempDir dir;
        test::PageSpec page;
        page.width = c.width;
        page.height = c.height;
        page.raw = kEndOfBlock;
        ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {page}));
        DiagnosticSink sink(8);
        const int result =
            copy_tiff(dir.file("in.tif"), dir.file("out.tif"), TiffCopyOptions{}, "", sink);
        if (!c.copied) {
            EXPECT_NE(result, kCopyOk);
            EXPECT_TRUE(sink.saw(DiagnosticSink::Kind::kError, "allocat"));  // ours or libtiff's
            continue;
        }
        std::string said;
        for (const DiagnosticSink::Message& m : sink.messages())
            said += m.text + "\n";
        ASSERT_EQ(result, kCopyOk) << said;
        std::unique_ptr<TIFF, TiffCloser> out(TIFFOpen(dir.file("out.tif").c_str(), "r"));
        ASSERT_TRUE(out);
        uint32_t width = 0, height = 0;
        TIFFGetField(out.get(), TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(out.get(), TIFFTAG_IMAGELENGTH, &height);
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
    }
}

}  // namespace
}  // namespace trelvane::pdfout
