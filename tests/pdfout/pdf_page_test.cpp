// Page geometry, the image dictionary's variants and both image-data roads.
#include <gtest/gtest.h>

#include <string>

#include "pdfout/pdf_page.h"
#include "pdfout/pdf_writer.h"
#include "support/ccitt.h"
#include "support/temp_dir.h"
#include "tiff_fixture.h"

namespace trelvane::pdfout {
namespace {

using test::PageSpec;
using testsupport::Bitmap;
using testsupport::read_file;
using testsupport::TempDir;

std::string convert(const std::vector<PageSpec>& pages, DiagnosticSink* sink = nullptr) {
    TempDir dir;
    EXPECT_TRUE(test::write_tiff(dir.file("in.tif"), pages));
    DiagnosticSink discard;
    const int result =
        convert_tiff_to_pdf(dir.file("in.tif"), dir.file("out.pdf"), 0, {}, sink ? *sink : discard);
    EXPECT_EQ(result, kPdfOk);
    return read_file(dir.file("out.pdf"));
}

PageSpec small_raw_page() {
    PageSpec page;
    page.raw = test::pattern_bytes(16);
    return page;
}

struct GeometryCase {
    const char* name;
    uint32_t width, height;
    std::optional<float> x_res, y_res;
    uint16_t unit;
    uint16_t orientation;
    const char* media_box;
    const char* matrix;
};

class PdfPageGeometry : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(PdfPageGeometry, MediaBoxAndPlacementMatrix) {
    const GeometryCase& c = GetParam();
    PageSpec page = small_raw_page();
    page.width = c.width;
    page.height = c.height;
    page.x_resolution = c.x_res;
    page.y_resolution = c.y_res;
    page.resolution_unit = c.unit;
    page.orientation = c.orientation;
    const std::string pdf = convert({page});
    EXPECT_NE(pdf.find(std::string("/MediaBox [") + c.media_box + "] \r"), std::string::npos)
        << pdf.substr(pdf.find("/MediaBox"), 60);
    const std::string content = std::string("q  ") + c.matrix + " cm /Im1 Do Q\r";
    EXPECT_EQ(test::stream_data(pdf, 0), content);
    EXPECT_NE(pdf.find("6 0 obj\r" + std::to_string(content.size()) + "\r"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PdfPageGeometry,
    ::testing::Values(GeometryCase{"Fine", 1728, 2200, 200.0F, 200.0F, 2, 1,
                                   "0.0000 0.0000 622.0800 792.0000",
                                   "622.0800 0.0000 0.0000 792.0000 0.0000 0.0000"},
                      GeometryCase{"Standard", 1728, 1100, 200.0F, 100.0F, 2, 1,
                                   "0.0000 0.0000 622.0800 792.0000",
                                   "622.0800 0.0000 0.0000 792.0000 0.0000 0.0000"},
                      GeometryCase{"NoResolution", 1728, 2200, std::nullopt, std::nullopt, 2, 1,
                                   "0.0000 0.0000 414.7200 528.0000",
                                   "414.7200 0.0000 0.0000 528.0000 0.0000 0.0000"},
                      // 80 per centimetre is 203.2 per inch; the page width 612.28346... is held as
                      // the float 612.28344, hence the last digit.
                      GeometryCase{"Centimetre", 1728, 2200, 80.0F, 80.0F, 3, 1,
                                   "0.0000 0.0000 612.2834 779.5276",
                                   "612.2834 0.0000 0.0000 779.5276 0.0000 0.0000"},
                      GeometryCase{"UnitNoneIsInches", 1728, 2200, 200.0F, 200.0F, 1, 1,
                                   "0.0000 0.0000 622.0800 792.0000",
                                   "622.0800 0.0000 0.0000 792.0000 0.0000 0.0000"},
                      GeometryCase{"Orientation2", 1728, 2200, 200.0F, 200.0F, 2, 2,
                                   "0.0000 0.0000 622.0800 792.0000",
                                   "-622.0800 0.0000 0.0000 792.0000 622.0800 0.0000"},
                      GeometryCase{"Orientation3", 1728, 2200, 200.0F, 200.0F, 2, 3,
                                   "0.0000 0.0000 622.0800 792.0000",
                                   "-622.0800 0.0000 0.0000 -792.0000 622.0800 792.0000"},
                      GeometryCase{"Orientation4", 1728, 2200, 200.0F, 200.0F, 2, 4,
                                   "0.0000 0.0000 622.0800 792.0000",
                                   "622.0800 0.0000 0.0000 -792.0000 0.0000 792.0000"},
                      GeometryCase{"Orientation5", 1728, 2200, 200.0F, 200.0F, 2, 5,
                                   "0.0000 0.0000 792.0000 622.0800",
                                   "0.0000 -622.0800 -792.0000 0.0000 792.0000 622.0800"},
                      GeometryCase{"Orientation6", 1728, 2200, 200.0F, 200.0F, 2, 6,
                                   "0.0000 0.0000 792.0000 622.0800",
                                   "0.0000 -622.0800 792.0000 0.0000 0.0000 622.0800"},
                      GeometryCase{"Orientation7", 1728, 2200, 200.0F, 200.0F, 2, 7,
                                   "0.0000 0.0000 792.0000 622.0800",
                                   "0.0000 622.0800 792.0000 0.0000 0.0000 0.0000"},
                      GeometryCase{"Orientation8", 1728, 2200, 200.0F, 200.0F, 2, 8,
                                   "0.0000 0.0000 792.0000 622.0800",
                                   "0.0000 622.0800 -792.0000 0.0000 792.0000 0.0000"}),
    [](const ::testing::TestParamInfo<GeometryCase>& i) { return std::string(i.param.name); });

TEST(OrientImageBox, OrdersTheBoxAndTreatsUnknownOrientationsAsTopLeft) {
    for (const uint16_t orientation : {0, 1, 9, 200}) {
        ImageBox box;
        box.x1 = 30;
        box.x2 = 10;  // reversed on purpose
        box.y1 = 50;
        box.y2 = 5;
        orient_image_box(box, orientation);
        EXPECT_EQ(box.x1, 10);
        EXPECT_EQ(box.y1, 5);
        const float expected[9] = {20, 0, 0, 0, 45, 0, 10, 5, 1};
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(box.matrix[i], expected[i]) << orientation << i;
    }
}

TEST(PdfImageDictionary, MinIsBlackSaysBlackIs1) {
    PageSpec page = small_raw_page();
    page.photometric = PHOTOMETRIC_MINISBLACK;
    const std::string pdf = convert({page});
    EXPECT_NE(pdf.find("/DecodeParms << /K -1 /Columns 1728 /Rows 2200 /BlackIs1 true >>\r >>\r"),
              std::string::npos);
    EXPECT_EQ(pdf.find("/Decode ["), std::string::npos);
}

TEST(PdfImageData, PageInSeveralStripsIsEncodedAgainAsOneGroupFourStrip) {
    const Bitmap bitmap = testsupport::text_like(1728, 300, 11);
    PageSpec page;
    page.width = 1728;
    page.height = 300;
    page.compression = COMPRESSION_NONE;
    page.rows_per_strip = 64;
    page.bitmap = bitmap;
    const std::string pdf = convert({page});
    // libtiff's own Group 4 encoding of the whole page, most significant bit first.
    const testsupport::CodedPage reference =
        testsupport::encode_page(bitmap, testsupport::Coding::Group4, 1);
    const std::string stream = test::stream_data(pdf, 1);
    EXPECT_EQ(stream, std::string(reference.data.begin(), reference.data.end()));
    EXPECT_NE(pdf.find("8 0 obj\r" + std::to_string(stream.size()) + "\rendobj\r"),
              std::string::npos);
    EXPECT_NE(pdf.find("/Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 1728 /Rows 300>>"),
              std::string::npos);
}

TEST(PdfImageData, GrayPageIsWrittenUncompressedWithADecodeArray) {
    PageSpec page;
    page.width = 16;
    page.height = 4;
    page.compression = COMPRESSION_NONE;
    page.bits_per_sample = 8;
    page.raw = test::pattern_bytes(64);
    const std::string pdf = convert({page});
    EXPECT_NE(pdf.find("/BitsPerComponent 8\r/ColorSpace /DeviceGray \r/Decode [ 1 0 ]\r >>\r"),
              std::string::npos);
    EXPECT_EQ(test::stream_data(pdf, 1), std::string(page.raw.begin(), page.raw.end()));
}

TEST(PdfPageChecks, UnsupportedPagesAreReportedAndWarningsKeepThePage) {
    TempDir dir;
    const struct {
        const char* name;
        std::function<void(PageSpec&)> change;
        const char* message;
    } refused[] = {
        {"sixteen bits",
         [](PageSpec& p) {
             p.bits_per_sample = 16;
             p.compression = COMPRESSION_NONE;
             p.raw = test::pattern_bytes(8);
         },
         "with 16 bits per sample"},
        {"five samples",
         [](PageSpec& p) {
             p.samples_per_pixel = 5;
             p.compression = COMPRESSION_NONE;
             p.raw = test::pattern_bytes(8);
         },
         "with 5 samples per pixel"},
        {"palette", [](PageSpec& p) { p.photometric = PHOTOMETRIC_SEPARATED; },
         "photometric interpretation 5"},
        {"float samples",
         [](PageSpec& p) {
             p.extra_tags = [](TIFF* t) {
                 TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
             };
         },
         "with sample format 3"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        PageSpec page = small_raw_page();
        c.change(page);
        ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {page}));
        DiagnosticSink sink(8);
        EXPECT_EQ(convert_tiff_to_pdf(dir.file("in.tif"), dir.file("out.pdf"), 0, {}, sink),
                  kPdfFailed);
        EXPECT_TRUE(sink.saw(DiagnosticSink::Kind::kError, c.message));
    }
}

}  // namespace
}  // namespace trelvane::pdfout
