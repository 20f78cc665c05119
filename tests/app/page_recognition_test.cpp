// Recognition of a file's pages on the run's recognition threads: each page's words reach the
// PDF writer as that page, pages that are not read are named, pages the copy stage left out of
// the output are skipped over, and a page is read over its ink, not the size it declares.
#include "app/page_recognition.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/bitmap.h"
#include "support/pdf_tools.h"
#include "support/text_page.h"

namespace trelvane::app {
namespace {

using testsupport::Bitmap;

// The page as the copy stage hands it over, at 200 x 100 pixels per inch.
pdfout::DecodedPage decoded(uint32_t index, const Bitmap& bits) {
    pdfout::DecodedPage page;
    page.index = index;
    page.width = static_cast<uint32_t>(bits.width);
    page.height = static_cast<uint32_t>(bits.height);
    page.x_resolution = 200;
    page.y_resolution = 100;
    page.row_bytes = static_cast<size_t>(bits.row_bytes());
    page.rows = bits.bits;
    return page;
}

// Each output page gets the words of its own input page, whatever the pages before it were:
// blank (nothing to read), unreadable by the recogniser, inked beyond what is read, left out
// by the copy, or copied by the library without being decoded here.
TEST(FileRecognition, PagesReachTheWriterInOutputOrderAndUnreadPagesAreNamed) {
    if (!recognition_available())
        GTEST_SKIP() << "built without text recognition";
    RecognitionPool pool("eng", 2);
    FileRecognition file(pool);
    const auto page = [](uint32_t width, uint32_t height,
                         std::vector<std::pair<uint32_t, uint32_t>> black) {
        Bitmap b(static_cast<int>(width), static_cast<int>(height));
        for (const auto& [x, y] : black)
            b.set(static_cast<int>(x), static_cast<int>(y));
        return b;
    };
    const uint32_t wide = 8000;
    const auto beyond = static_cast<uint32_t>(FileRecognition::kMaxRecognisedPixels / wide + 1);
    const struct {
        const char* what;
        Bitmap bits;
        bool handed_over;  // false: the library copied the page
        bool left_out;
        bool has_text;  // in the output
    } cases[] = {
        {"blank", page(1728, 1100, {}), true, false, true},
        {"wider than the recogniser takes", page(40000, 1, {{0, 0}, {39999, 0}}), true, false,
         false},
        {"left out by the copy", page(1728, 1100, {{5, 5}}), true, true, false},
        {"ink beyond what is read", page(wide, beyond, {{0, 0}, {wide - 1, beyond - 1}}), true,
         false, false},
        {"copied by the library", page(1728, 1100, {}), false, false, false},
        {"a dot", page(1728, 1100, {{700, 500}}), true, false, true},
    };
    pdfout::TiffCopyReport report;
    for (uint32_t i = 0; i < std::size(cases); ++i) {
        if (cases[i].handed_over)
            file.page_decoded(decoded(i, cases[i].bits));
        if (cases[i].left_out) {
            pdfout::CopiedPage left_out;
            left_out.index = i;
            left_out.left_out = true;
            report.pages.push_back(left_out);
        }
    }
    file.copy_finished(report);

    std::vector<uint32_t> without_text;
    uint32_t output = 0;
    for (uint32_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        if (cases[i].left_out)
            continue;
        const std::optional<pdfout::PageText> text = file.page_text(output++);
        EXPECT_EQ(text.has_value(), cases[i].has_text);
        if (text) {
            EXPECT_TRUE(text->words.empty());
        } else {
            without_text.push_back(i);
        }
    }
    EXPECT_EQ(file.pages_without_text(), without_text);
    EXPECT_GE(pool.progress().pages_done, 4u);  // the left out page may still be queued
}

// A page that declares far more than its data drew is read over its ink alone, and the words
// come back at their place on the whole page.
TEST(FileRecognition, TextOnAHugeDeclaredPageIsFoundInPlace) {
    if (!recognition_available())
        GTEST_SKIP() << "built without text recognition";
    TRELVANE_REQUIRE_TOOL("gs");
    const std::vector<std::string> lines = {"Invoice number 20090512 for the archive transfer",
                                            "Please call us back before Friday."};
    Bitmap text;
    ASSERT_TRUE(testsupport::render_postscript(testsupport::text_page_program(lines, 12), 200, 100,
                                               1728, 1100, text));
    Bitmap page(8000, 30000);
    const int dx = 2403, dy = 20000;  // off a byte boundary
    for (int y = 0; y < text.height; ++y) {
        for (int x = 0; x < text.width; ++x) {
            if (text.get(x, y))
                page.set(x + dx, y + dy);
        }
    }
    RecognitionPool pool("eng", 1);
    FileRecognition file(pool);
    file.page_decoded(decoded(0, page));
    file.copy_finished({});
    const std::optional<pdfout::PageText> found = file.page_text(0);
    ASSERT_TRUE(found.has_value());
    std::string words;
    for (const pdfout::TextWord& w : found->words) {
        words += (words.empty() ? "" : " ") + w.text;
        const testsupport::InkBox ink = testsupport::ink_box(page, int(w.left) - 3, int(w.top) - 3,
                                                             int(w.right) + 3, int(w.bottom) + 3);
        ASSERT_FALSE(ink.empty()) << w.text;
        EXPECT_NEAR(ink.left, w.left, 2) << w.text;
        EXPECT_NEAR(ink.right, w.right, 2) << w.text;
        EXPECT_NEAR(ink.top, w.top, 2) << w.text;
        EXPECT_NEAR(ink.bottom, w.bottom, 2) << w.text;
    }
    EXPECT_EQ(words, lines[0] + " " + lines[1]);
}

TEST(FileRecognition, ProblemsAreSaidBeforeAnyConversion) {
    if (!recognition_available()) {
        EXPECT_NE(recognition_problem("eng").find("built without text recognition"),
                  std::string::npos);
        GTEST_SKIP() << "built without text recognition";
    }
    EXPECT_EQ(recognition_problem("eng"), "");
    EXPECT_EQ(recognition_problem("ENG"), "");  // the installed eng
    EXPECT_NE(recognition_problem("eng+qqq").find("unknown language 'qqq'"), std::string::npos);
}

}  // namespace
}  // namespace trelvane::app
