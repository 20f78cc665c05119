// Recognition of a file's pages on the run's recognition threads: each page's words reach the
// PDF writer as that page, pages that cannot be read are named, and pages the copy stage left
// out of the output are skipped over.
#include "app/page_recognition.h"

#include <gtest/gtest.h>

#include <vector>

namespace trelvane::app {
namespace {

pdfout::DecodedPage decoded(uint32_t index, uint32_t width, uint32_t height,
                            const std::vector<uint8_t>& rows) {
    pdfout::DecodedPage page;
    page.index = index;
    page.width = width;
    page.height = height;
    page.x_resolution = 200;
    page.y_resolution = 100;
    page.row_bytes = (width + 7) / 8;
    page.rows = rows;
    return page;
}

TEST(FileRecognition, PagesReachTheWriterInOutputOrderAndFailuresAreNamed) {
    if (!recognition_available())
        GTEST_SKIP() << "built without text recognition";
    RecognitionPool pool("eng", 2);
    FileRecognition file(pool);
    const std::vector<uint8_t> blank(216 * 1100, 0);
    // Wider than any page the recogniser takes: its recognition fails.
    const std::vector<uint8_t> too_wide(5000, 0);
    file.page_decoded(decoded(0, 1728, 1100, blank));
    file.page_decoded(decoded(1, 40000, 1, too_wide));
    file.page_decoded(decoded(2, 1728, 1100, blank));  // left out by the copy
    file.page_decoded(decoded(3, 40000, 1, too_wide));
    pdfout::TiffCopyReport report;
    pdfout::CopiedPage left_out;
    left_out.index = 2;
    left_out.left_out = true;
    report.pages = {left_out};
    file.copy_finished(report);

    const std::optional<pdfout::PageText> first = file.page_text(0);
    ASSERT_TRUE(first.has_value());
    EXPECT_TRUE(first->words.empty());
    EXPECT_FALSE(file.page_text(1).has_value());
    EXPECT_FALSE(file.page_text(2).has_value());  // the fax's page 4
    EXPECT_FALSE(file.page_text(3).has_value());  // past the output's pages
    EXPECT_EQ(file.pages_without_text(), (std::vector<uint32_t>{1, 3}));
    EXPECT_GE(pool.progress().pages_done, 3u);
}

TEST(FileRecognition, ProblemsAreSaidBeforeAnyConversion) {
    if (!recognition_available()) {
        EXPECT_NE(recognition_problem("eng").find("built without text recognition"),
                  std::string::npos);
        GTEST_SKIP() << "built without text recognition";
    }
    EXPECT_EQ(recognition_problem("eng"), "");
    EXPECT_NE(recognition_problem("eng+qqq").find("tesseract-ocr-qqq"), std::string::npos);
}

}  // namespace
}  // namespace trelvane::app
