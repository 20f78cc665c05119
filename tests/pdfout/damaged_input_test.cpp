// Damaged files through both stages: every run must end with a result, never a crash, a hang
// or a partial PDF (the sanitizer build checks the memory side).
#include <gtest/gtest.h>

#include <filesystem>

#include "pdfout/pdf_writer.h"
#include "pdfout/tiff_copy.h"
#include "support/ccitt.h"
#include "support/temp_dir.h"
#include "tiff_fixture.h"

namespace trelvane::pdfout {
namespace {

using testsupport::TempDir;

TEST(DamagedInput, MutatedFilesEndWithAResultAndNoPartialPdf) {
    TempDir dir;
    std::vector<test::PageSpec> pages;
    for (int i = 0; i < 2; ++i) {
        const auto bitmap = testsupport::text_like(256, 64, static_cast<uint32_t>(60 + i));
        test::PageSpec page;
        page.width = 256;
        page.height = 64;
        page.compression = i == 0 ? COMPRESSION_CCITTFAX3 : COMPRESSION_CCITTFAX4;
        page.raw =
            testsupport::encode_page(
                bitmap,
                i == 0 ? testsupport::Coding::Group3OneDimensional : testsupport::Coding::Group4, 2)
                .data;
        page.fill_order = FILLORDER_LSB2MSB;
        pages.push_back(page);
    }
    ASSERT_TRUE(test::write_tiff(dir.file("good.tif"), pages));
    const std::string good = testsupport::read_file(dir.file("good.tif"));
    const std::vector<uint8_t> noise = test::pattern_bytes(4 * 300, 99);
    int pdfs = 0;
    for (int round = 0; round < 300; ++round) {
        std::string bad = good;
        // Two bytes changed per round, biased towards the directories at the end of the file.
        for (int k = 0; k < 2; ++k) {
            const size_t r = noise[static_cast<size_t>(round * 4 + k * 2)] |
                             (noise[static_cast<size_t>(round * 4 + k * 2 + 1)] << 8);
            const size_t at =
                (k == 0) ? bad.size() - 1 - r % std::min<size_t>(bad.size(), 400) : r % bad.size();
            bad[at] = static_cast<char>(noise[(at + static_cast<size_t>(round)) % noise.size()]);
        }
        ASSERT_TRUE(testsupport::write_file(dir.file("bad.tif"), bad));
        const int copied = copy_tiff(dir.file("bad.tif"), dir.file("norm.tif"), TiffCopyOptions{});
        EXPECT_TRUE(copied == kCopyOk || copied == kCopyDirectoryFailed ||
                    copied == kCopyInputFailed)
            << copied;
        std::filesystem::remove(dir.file("out.pdf"));
        const int converted = convert_tiff_to_pdf(dir.file("bad.tif"), dir.file("out.pdf"), 0, {});
        ASSERT_TRUE(converted == kPdfOk || converted == kPdfFailed);
        EXPECT_EQ(std::filesystem::exists(dir.file("out.pdf")), converted == kPdfOk);
        pdfs += converted == kPdfOk;
    }
    size_t leftovers = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        leftovers += e.path().filename().string().find(".tmp-") != std::string::npos;
    }
    EXPECT_EQ(leftovers, 0u);
    EXPECT_GT(pdfs, 0);  // the mutations do not all hit something fatal
}

}  // namespace
}  // namespace trelvane::pdfout
