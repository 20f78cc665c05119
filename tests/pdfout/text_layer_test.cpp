// The invisible text layer, judged by independent readers: poppler must find the words in
// order and put each on its ink, Ghostscript must render the page exactly as without the
// layer, qpdf must find the file sound; and without text the document must not change.
#include "pdfout/text_layer.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "pdfout/pdf_writer.h"
#include "support/pdf_tools.h"
#include "support/temp_dir.h"
#include "support/text_page.h"
#include "tiff_fixture.h"

namespace trelvane::pdfout {
namespace {

using testsupport::Bitmap;
using testsupport::TempDir;

// Hands out fixed texts per page; pages not in the map get no layer.
class FixedText : public PageTextProvider {
  public:
    explicit FixedText(std::map<uint32_t, PageText> pages) : pages_(std::move(pages)) {}
    std::optional<PageText> page_text(uint32_t index) override {
        asked.push_back(index);
        const auto it = pages_.find(index);
        if (it == pages_.end())
            return std::nullopt;
        return it->second;
    }
    std::vector<uint32_t> asked;

  private:
    std::map<uint32_t, PageText> pages_;
};

struct Resolution {
    int x, y, width, height;
};

// Three lines of "words": solid boxes of ink, so that the ink box of each word is known,
// spaced as lines of 10-point text are at 200 pixels per inch.
PageText sample_words(const Resolution& r) {
    const double sy = r.y / 200.0;
    const std::vector<std::vector<std::string>> lines = {
        {"alpha", "beta", "gamma"}, {"delta", "epsilon"}, {"Grüße", "naïve", "€uro", "Ωmega"}};
    PageText text;
    int line_number = 0;
    for (const auto& line : lines) {
        int x = 200;
        const double top = (300 + 34 * line_number) * sy;
        for (const std::string& word : line) {
            const int w = 10 + 14 * static_cast<int>(word.size());
            text.words.push_back(
                TextWord{word, double(x), top, double(x + w), top + 26 * sy, 0, 0, line_number});
            x += w + 9;
        }
        ++line_number;
    }
    return text;
}

Bitmap ink_of(const PageText& text, const Resolution& r) {
    Bitmap page(r.width, r.height);
    for (const TextWord& w : text.words) {
        for (int y = int(w.top); y < int(w.bottom); ++y)
            for (int x = int(w.left); x < int(w.right); ++x)
                page.set(x, y);
    }
    return page;
}

std::string convert(const std::string& tiff, const std::string& pdf, PageTextProvider* text) {
    int status = -1;
    test::on_fresh_thread([&] {
        DiagnosticSink sink;
        status = convert_tiff_to_pdf(tiff, pdf, kRequestNothing, PdfDocumentInfo{}, sink,
                                     {.text = text});
    });
    EXPECT_EQ(status, kPdfOk);
    return testsupport::read_file(pdf);
}

std::vector<std::string> non_empty_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.find_first_not_of(" \f\r") != std::string::npos)
            lines.push_back(line);
    }
    return lines;
}

class TextLayerOnPage : public ::testing::TestWithParam<Resolution> {};

TEST_P(TextLayerOnPage, ReadersFindTheWordsOnTheirInkAndTheImageIsUntouched) {
    TRELVANE_REQUIRE_TOOL("pdftotext");
    TRELVANE_REQUIRE_TOOL("gs");
    TRELVANE_REQUIRE_TOOL("qpdf");
    const Resolution r = GetParam();
    const PageText words = sample_words(r);
    const Bitmap ink = ink_of(words, r);
    TempDir dir;
    test::PageSpec tiff_page;
    tiff_page.width = r.width;
    tiff_page.height = r.height;
    tiff_page.bitmap = ink;
    tiff_page.x_resolution = float(r.x);
    tiff_page.y_resolution = float(r.y);
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {tiff_page}));
    const std::string plain = convert(dir.file("in.tif"), dir.file("plain.pdf"), nullptr);
    FixedText provider({{0, words}});
    const std::string searchable = convert(dir.file("in.tif"), dir.file("text.pdf"), &provider);
    EXPECT_EQ(provider.asked, std::vector<uint32_t>{0});

    // The image stream is the second stream in both (after the content stream).
    EXPECT_EQ(test::stream_data(searchable, 1), test::stream_data(plain, 1));
    const testsupport::ToolRun check = testsupport::qpdf_check(dir.file("text.pdf"));
    EXPECT_EQ(check.exit_code, 0) << check.output;
    Bitmap with_text, without_text;
    std::string log;
    ASSERT_TRUE(testsupport::render_page_gs(dir.file("text.pdf"), 1, r.x, r.y, with_text, &log))
        << log;
    EXPECT_EQ(log, "");
    ASSERT_TRUE(testsupport::render_page_gs(dir.file("plain.pdf"), 1, r.x, r.y, without_text));
    EXPECT_EQ(testsupport::first_difference(with_text, without_text), -1);
    EXPECT_EQ(testsupport::first_difference(with_text, ink.normalised()), -1);
    if (r.x == r.y && testsupport::tool_available("mutool")) {
        Bitmap drawn;
        ASSERT_TRUE(testsupport::render_page_mutool(dir.file("text.pdf"), 1, r.x, drawn, &log))
            << log;
        EXPECT_EQ(testsupport::first_difference(drawn, ink.normalised()), -1) << "mutool";
    }
    const testsupport::ToolRun poppler = testsupport::render_poppler(dir.file("text.pdf"));
    EXPECT_EQ(poppler.exit_code, 0) << poppler.output;
    EXPECT_EQ(poppler.output, "");

    EXPECT_EQ(
        non_empty_lines(testsupport::pdf_text(dir.file("text.pdf"), 1)),
        (std::vector<std::string>{"alpha beta gamma", "delta epsilon", "Grüße naïve €uro Ωmega"}));

    std::vector<testsupport::PdfWord> found;
    ASSERT_TRUE(testsupport::pdf_words(dir.file("text.pdf"), 1, found));
    ASSERT_EQ(found.size(), words.words.size());
    for (size_t i = 0; i < found.size(); ++i) {
        const TextWord& w = words.words[i];
        const testsupport::PdfWord& f = found[i];
        EXPECT_EQ(f.text, w.text);
        // In the rendered page's pixels: the word's box must be its ink box, give or take
        // a pixel; the margin searched is less than the gaps between words and lines.
        const double left = f.x_min * r.x / 72, right = f.x_max * r.x / 72;
        const double top = f.y_min * r.y / 72, bottom = f.y_max * r.y / 72;
        const testsupport::InkBox box = testsupport::ink_box(with_text, int(left) - 4, int(top) - 3,
                                                             int(right) + 4, int(bottom) + 3);
        ASSERT_FALSE(box.empty()) << w.text;
        EXPECT_NEAR(left, box.left, 1.5) << w.text;
        EXPECT_NEAR(right, box.right, 1.5) << w.text;
        EXPECT_NEAR(top, box.top, 1.5) << w.text;
        EXPECT_NEAR(bottom, box.bottom, 1.5) << w.text;
    }
}

INSTANTIATE_TEST_SUITE_P(FaxResolutions, TextLayerOnPage,
                         ::testing::Values(Resolution{200, 200, 1728, 2200},
                                           Resolution{204, 196, 1728, 2156},
                                           Resolution{204, 98, 1728, 1078}),
                         [](const auto& info) {
                             return std::to_string(info.param.x) + "x" +
                                    std::to_string(info.param.y);
                         });

TEST(TextLayer, PagesWithoutTextGetNoTextObjectsAndChangeNothingElse) {
    TempDir dir;
    test::PageSpec tiff_page;
    tiff_page.bitmap = testsupport::make_pattern("text3", 1728, 2200);
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {tiff_page, tiff_page, tiff_page}));
    const std::string plain = convert(dir.file("in.tif"), dir.file("plain.pdf"), nullptr);
    // Page 1 failed (no layer), page 2 was blank (no words), page 3 had only blank words.
    PageText blank_words;
    blank_words.words.push_back(TextWord{"", 10, 10, 50, 30, 0, 0, 0});
    blank_words.words.push_back(TextWord{"\x01\x02", 60, 10, 90, 30, 0, 0, 0});
    FixedText provider({{1, PageText{}}, {2, blank_words}});
    std::string searchable = convert(dir.file("in.tif"), dir.file("text.pdf"), &provider);
    EXPECT_EQ(provider.asked, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(searchable.find("BT"), std::string::npos);
    EXPECT_EQ(searchable.find("/Font"), std::string::npos);
    // Only the header's version tells them apart: a provider may bring ToUnicode maps.
    ASSERT_EQ(searchable.substr(0, 8), "%PDF-1.2");
    searchable[7] = '1';
    EXPECT_EQ(searchable, plain);
}

TEST(TextLayer, CharactersBeyondOneFontOpenMoreFontsAndAllComeBack) {
    TRELVANE_REQUIRE_TOOL("pdftotext");
    TRELVANE_REQUIRE_TOOL("qpdf");
    TempDir dir;
    test::PageSpec tiff_page;
    tiff_page.bitmap = testsupport::all_white(1728, 2200);
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {tiff_page, tiff_page}));
    // 600 distinct CJK characters: three fonts' worth, spread over two pages.
    std::map<uint32_t, PageText> pages;
    std::vector<std::string> expected[2];
    for (int k = 0; k < 60; ++k) {
        std::u32string word;
        for (int c = 0; c < 10; ++c)
            word += char32_t(0x4E00 + k * 10 + c);
        std::string utf8;
        for (const char32_t c : word) {  // three bytes each
            utf8 += char(0xE0 | (c >> 12));
            utf8 += char(0x80 | ((c >> 6) & 0x3F));
            utf8 += char(0x80 | (c & 0x3F));
        }
        const uint32_t page = k < 30 ? 0 : 1;
        const int row = k % 30;
        pages[page].words.push_back(
            TextWord{utf8, 100, 100 + 60.0 * row, 600, 140 + 60.0 * row, 0, row, row});
        expected[page].push_back(utf8);
    }
    FixedText provider(pages);
    const std::string pdf = convert(dir.file("in.tif"), dir.file("text.pdf"), &provider);
    EXPECT_NE(pdf.find("/F3 "), std::string::npos);
    const testsupport::ToolRun check = testsupport::qpdf_check(dir.file("text.pdf"));
    EXPECT_EQ(check.exit_code, 0) << check.output;
    for (int page = 0; page < 2; ++page) {
        EXPECT_EQ(non_empty_lines(testsupport::pdf_text(dir.file("text.pdf"), page + 1)),
                  expected[page]);
    }
}

TEST(TextLayer, Utf8DecodingReplacesMalformedSequences) {
    const struct {
        std::string in;
        std::u32string out;
    } cases[] = {
        {"abc", U"abc"},
        {"\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80", U"\u00FC\u20AC\U0001F600"},
        {"\xC0\xAF", U"\uFFFD\uFFFD"},            // overlong
        {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},  // a surrogate
        {"a\xE2\x82", U"a\uFFFD\uFFFD"},          // cut short
        {"\xFF", U"\uFFFD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decode_utf8(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace trelvane::pdfout
