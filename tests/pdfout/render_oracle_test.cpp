// The whole road of a fax page, judged by independent readers: a coded page (libtiff's
// encoder) goes through the copy stage and the PDF writer, and Ghostscript (and mutool, where
// both resolutions are equal) must render exactly the bitmap the page was made from.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "pdfout/pdf_writer.h"
#include "pdfout/tiff_copy.h"
#include "support/ccitt.h"
#include "support/pdf_tools.h"
#include "support/temp_dir.h"
#include "tiff_fixture.h"

namespace trelvane::pdfout {
namespace {

using testsupport::Bitmap;
using testsupport::Coding;
using testsupport::TempDir;

void expect_renders_as(const std::string& pdf, int page, int x_res, int y_res,
                       const Bitmap& expected) {
    Bitmap rendered;
    std::string log;
    ASSERT_TRUE(testsupport::render_page_gs(pdf, page, x_res, y_res, rendered, &log)) << log;
    EXPECT_EQ(log, "");
    EXPECT_EQ(testsupport::first_difference(rendered, expected.normalised()), -1)
        << "Ghostscript: rendered " << rendered.width << "x" << rendered.height << ", expected "
        << expected.width << "x" << expected.height;
    if (x_res == y_res && testsupport::tool_available("mutool")) {
        ASSERT_TRUE(testsupport::render_page_mutool(pdf, page, x_res, rendered, &log)) << log;
        EXPECT_EQ(testsupport::first_difference(rendered, expected.normalised()), -1)
            << "mutool: rendered " << rendered.width << "x" << rendered.height;
    }
}

void expect_sound(const std::string& pdf) {
    const testsupport::ToolRun check = testsupport::qpdf_check(pdf);
    EXPECT_EQ(check.exit_code, 0) << check.output;
    EXPECT_EQ(check.output.find("WARNING"), std::string::npos) << check.output;
}

struct RoadCase {
    int width, height;
    Coding coding;
    int fill_order;
    int x_res, y_res;
    const char* pattern;
};

std::string case_name(const ::testing::TestParamInfo<RoadCase>& info) {
    const RoadCase& c = info.param;
    return std::string(c.coding == Coding::Group4 ? "G4" : "G3") + "_w" + std::to_string(c.width) +
           "_fill" + std::to_string(c.fill_order) + "_" + std::to_string(c.x_res) + "x" +
           std::to_string(c.y_res) + "_" + c.pattern;
}

class FaxRoadRender : public ::testing::TestWithParam<RoadCase> {};

TEST_P(FaxRoadRender, GhostscriptRendersTheSourceBitmap) {
    TRELVANE_REQUIRE_TOOL("gs");
    TRELVANE_REQUIRE_TOOL("qpdf");
    const RoadCase& c = GetParam();
    TempDir dir;
    const Bitmap bitmap = testsupport::make_pattern(c.pattern, c.width, c.height);
    const testsupport::CodedPage coded = testsupport::encode_page(bitmap, c.coding, c.fill_order);
    ASSERT_FALSE(coded.data.empty());
    ASSERT_TRUE(
        testsupport::write_coded_tiff(dir.file("intermediate.tif"), coded, c.x_res, c.y_res));
    ASSERT_EQ(
        copy_tiff(dir.file("intermediate.tif"), dir.file("normalised.tif"), TiffCopyOptions{}),
        kCopyOk);
    PdfDocumentInfo info;
    info.title = "Render check";
    ASSERT_EQ(convert_tiff_to_pdf(dir.file("normalised.tif"), dir.file("out.pdf"), 0, info),
              kPdfOk);
    expect_sound(dir.file("out.pdf"));
    expect_renders_as(dir.file("out.pdf"), 1, c.x_res, c.y_res, bitmap);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, FaxRoadRender,
    ::testing::Values(RoadCase{1728, 400, Coding::Group4, 2, 200, 200, "text7"},
                      RoadCase{1728, 400, Coding::Group3OneDimensional, 2, 200, 100, "text8"},
                      RoadCase{1728, 300, Coding::Group4, 1, 200, 100, "checker"},
                      RoadCase{1728, 300, Coding::Group3OneDimensional, 1, 200, 200, "stripes"},
                      RoadCase{2048, 300, Coding::Group4, 2, 300, 300, "startblack"},
                      RoadCase{2432, 300, Coding::Group3OneDimensional, 2, 200, 200, "longruns"},
                      RoadCase{3456, 300, Coding::Group4, 1, 400, 400, "text9"},
                      RoadCase{4864, 300, Coding::Group3OneDimensional, 1, 400, 200, "black"},
                      RoadCase{4864, 300, Coding::Group4, 2, 400, 400, "longruns"},
                      RoadCase{1728, 2200, Coding::Group4, 2, 200, 200, "text1"}),
    case_name);

TEST(FaxRoadRender, EveryPageOfAMixedDocumentRendersAsItsSource) {
    TRELVANE_REQUIRE_TOOL("gs");
    TRELVANE_REQUIRE_TOOL("qpdf");
    TempDir dir;
    const Bitmap pages[] = {testsupport::text_like(1728, 500, 21),
                            testsupport::text_like(1728, 250, 22),
                            testsupport::checkerboard(1728, 300, 3)};
    const Coding codings[] = {Coding::Group3OneDimensional, Coding::Group4, Coding::Group4};
    const int y_res[] = {200, 100, 200};
    std::vector<test::PageSpec> specs;
    for (int i = 0; i < 3; ++i) {
        const testsupport::CodedPage coded = testsupport::encode_page(pages[i], codings[i], 2);
        test::PageSpec spec;
        spec.width = 1728;
        spec.height = static_cast<uint32_t>(pages[i].height);
        spec.compression =
            codings[i] == Coding::Group4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3;
        spec.raw = coded.data;
        spec.fill_order = FILLORDER_LSB2MSB;
        spec.y_resolution = static_cast<float>(y_res[i]);
        specs.push_back(spec);
    }
    ASSERT_TRUE(test::write_tiff(dir.file("intermediate.tif"), specs));
    ASSERT_EQ(copy_tiff(dir.file("intermediate.tif"), dir.file("normalised.tif"), {}), kCopyOk);
    ASSERT_EQ(convert_tiff_to_pdf(dir.file("normalised.tif"), dir.file("out.pdf"), 0, {}), kPdfOk);
    expect_sound(dir.file("out.pdf"));
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        expect_renders_as(dir.file("out.pdf"), i + 1, 200, y_res[i], pages[i]);
    }
}

TEST(FaxRoadRender, ReencodedAndMinIsBlackPagesRenderAsTheirSource) {
    TRELVANE_REQUIRE_TOOL("gs");
    TRELVANE_REQUIRE_TOOL("qpdf");
    TempDir dir;
    const Bitmap bitmap = testsupport::text_like(1728, 300, 31);
    test::PageSpec strips;  // several uncompressed strips: the reencode road
    strips.width = 1728;
    strips.height = 300;
    strips.compression = COMPRESSION_NONE;
    strips.rows_per_strip = 70;
    strips.bitmap = bitmap;
    test::PageSpec black_is_one = strips;  // min-is-black, one Group 4 strip
    black_is_one.photometric = PHOTOMETRIC_MINISBLACK;
    black_is_one.compression = COMPRESSION_CCITTFAX4;
    black_is_one.rows_per_strip.reset();
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {strips, black_is_one}));
    ASSERT_EQ(convert_tiff_to_pdf(dir.file("in.tif"), dir.file("out.pdf"), 0, {}), kPdfOk);
    expect_sound(dir.file("out.pdf"));
    expect_renders_as(dir.file("out.pdf"), 1, 200, 200, bitmap);
    expect_renders_as(dir.file("out.pdf"), 2, 200, 200, bitmap);
}

TEST(FaxRoadRender, OrientationSixTurnsThePageClockwise) {
    TRELVANE_REQUIRE_TOOL("gs");
    TempDir dir;
    const Bitmap bitmap = testsupport::text_like(400, 240, 41);
    test::PageSpec page;
    page.width = 400;
    page.height = 240;
    page.compression = COMPRESSION_CCITTFAX4;
    page.bitmap = bitmap;
    page.orientation = ORIENTATION_RIGHTTOP;
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {page}));
    ASSERT_EQ(convert_tiff_to_pdf(dir.file("in.tif"), dir.file("out.pdf"), 0, {}), kPdfOk);
    // Row 0 is the right-hand side, column 0 the top: a quarter turn clockwise.
    Bitmap turned(bitmap.height, bitmap.width);
    for (int y = 0; y < bitmap.height; ++y) {
        for (int x = 0; x < bitmap.width; ++x) {
            turned.set(bitmap.height - 1 - y, x, bitmap.get(x, y));
        }
    }
    expect_renders_as(dir.file("out.pdf"), 1, 200, 200, turned);
}

// The "done" check: a 100-page normalised file converts to a PDF that every reader takes
// without a word. Also prints the time for the record (not asserted).
TEST(FaxRoadRender, HundredPagesRenderWithoutWarnings) {
    TRELVANE_REQUIRE_TOOL("gs");
    TRELVANE_REQUIRE_TOOL("qpdf");
    TempDir dir;
    std::vector<test::PageSpec> specs;
    for (int i = 0; i < 100; ++i) {
        const Bitmap bitmap =
            testsupport::text_like(1728, 2200, static_cast<uint32_t>(100 + i % 7));
        test::PageSpec spec;
        spec.raw = testsupport::encode_page(bitmap, Coding::Group4, 2).data;
        spec.fill_order = FILLORDER_LSB2MSB;
        specs.push_back(spec);
    }
    ASSERT_TRUE(test::write_tiff(dir.file("normalised.tif"), specs));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(convert_tiff_to_pdf(dir.file("normalised.tif"), dir.file("out.pdf"), 0, {}), kPdfOk);
    const auto elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    std::printf("100 pages: %.1f ms, %zu bytes\n", elapsed.count(),
                testsupport::read_file(dir.file("out.pdf")).size());
    expect_sound(dir.file("out.pdf"));
    const testsupport::ToolRun gs = testsupport::run_tool(
        {"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=nullpage", dir.file("out.pdf")});
    EXPECT_EQ(gs.exit_code, 0);
    EXPECT_EQ(gs.output, "");
    if (testsupport::tool_available("mutool")) {
        const testsupport::ToolRun mu = testsupport::run_tool(
            {"mutool", "draw", "-q", "-N", "-o", "/dev/null", "-F", "pbm", dir.file("out.pdf")});
        EXPECT_EQ(mu.exit_code, 0);
        EXPECT_EQ(mu.output, "");
    }
    if (testsupport::tool_available("pdftoppm")) {
        const testsupport::ToolRun poppler = testsupport::render_poppler(dir.file("out.pdf"), 20);
        EXPECT_EQ(poppler.exit_code, 0);
        EXPECT_EQ(poppler.output, "");
    }
}

}  // namespace
}  // namespace trelvane::pdfout
