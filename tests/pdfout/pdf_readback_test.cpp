// Reading our PDFs back for /verify: the page images as the page shows them (judged against the
// bitmaps the PDF was made from, not against our own decoders), and a check that refuses a PDF
// keeps it from replacing anything.
#include "pdfout/pdf_readback.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pdfout/pdf_writer.h"
#include "support/bitmap.h"
#include "support/ccitt.h"
#include "support/temp_dir.h"

namespace trelvane::pdfout {
namespace {

using testsupport::Bitmap;

TEST(PdfReadBack, PagesReadBackAsTheBitmapsTheyWereMadeFrom) {
    testsupport::TempDir dir;
    struct Page {
        Bitmap bitmap;
        int x_resolution, y_resolution;
    };
    // Widths that do and do not fill their last byte; pages with black at their edges.
    const std::vector<Page> pages = {{testsupport::text_like(1728, 100, 3), 200, 200},
                                     {testsupport::first_line_black(203, 17), 200, 100},
                                     {testsupport::checkerboard(64, 30, 3), 400, 400}};
    for (const Page& page : pages) {
        SCOPED_TRACE(page.bitmap.width);
        const std::string tiff = dir.file("page.tif");
        const std::string pdf = dir.file("page.pdf");
        ASSERT_TRUE(testsupport::write_bilevel_tiff(tiff, {page.bitmap}, page.x_resolution,
                                                    page.y_resolution));
        ASSERT_EQ(convert_tiff_to_pdf(tiff, pdf, 0, PdfDocumentInfo{}), kPdfOk);
        PdfReadBack back;
        ASSERT_EQ(back.open(pdf), "");
        ASSERT_EQ(back.page_count(), 1u);
        ReadBackPage got;
        ASSERT_EQ(back.read_page(0, got), "");
        EXPECT_EQ(got.width, static_cast<uint32_t>(page.bitmap.width));
        EXPECT_EQ(got.height, static_cast<uint32_t>(page.bitmap.height));
        EXPECT_NEAR(got.width_points, page.bitmap.width * 72.0 / page.x_resolution, 0.01);
        EXPECT_NEAR(got.height_points, page.bitmap.height * 72.0 / page.y_resolution, 0.01);
        EXPECT_EQ(got.rows, page.bitmap.normalised().bits);
    }
}

TEST(PdfReadBack, WhatIsNoPdfOfOursIsReportedNotRead) {
    testsupport::TempDir dir;
    ASSERT_TRUE(testsupport::write_file(dir.file("text.pdf"), "%PDF-1.1\nnot really\n"));
    PdfReadBack back;
    EXPECT_NE(back.open(dir.file("text.pdf")), "");
    EXPECT_EQ(back.page_count(), 0u);
    PdfReadBack missing;
    EXPECT_NE(missing.open(dir.file("none.pdf")), "");
}

// A PDF its check refuses is not put in place: what was there stays, and nothing is left over.
TEST(PdfReadBack, ACheckThatRefusesKeepsWhatWasThere) {
    testsupport::TempDir dir;
    const std::string tiff = dir.file("page.tif");
    const std::string pdf = dir.file("page.pdf");
    ASSERT_TRUE(testsupport::write_bilevel_tiff(tiff, {testsupport::text_like(1728, 40, 1)}));
    ASSERT_TRUE(testsupport::write_file(pdf, "the PDF kept from before"));
    size_t pages_seen = 0;
    DiagnosticSink sink;
    const int refused = convert_tiff_to_pdf(
        tiff, pdf, 0, PdfDocumentInfo{}, sink, {.check = [&](int fd) -> std::string {
            PdfReadBack back;
            if (std::string problem = back.open_descriptor(fd); !problem.empty())
                return problem;
            pages_seen = back.page_count();
            return "page 1 differs";
        }});
    EXPECT_EQ(refused, kPdfNotVerified);
    EXPECT_EQ(pages_seen, 1u);  // the check read the finished file before it was put in place
    EXPECT_EQ(testsupport::read_file(pdf), "the PDF kept from before");
    size_t entries = 0;  // the TIFF and the old PDF, no temporary file
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 2u);

    PdfWriteOptions accepting;
    accepting.check = [](int) { return std::string(); };
    EXPECT_EQ(convert_tiff_to_pdf(tiff, pdf, 0, PdfDocumentInfo{}, sink, accepting), kPdfOk);
    EXPECT_EQ(testsupport::read_file(pdf).substr(0, 5), "%PDF-");
}

}  // namespace
}  // namespace trelvane::pdfout
