// Text recognition of fax pages: a page of known text, typeset and rendered by Ghostscript at
// both fax resolutions, must come back word for word with boxes on the ink, and as a
// searchable PDF that poppler reads in order. Failures are results, missing languages say
// which package to install.
#include <gtest/gtest.h>

#if TRELVANE_HAS_OCR

#include <set>
#include <sstream>
#include <thread>

#include "ocr/ocr_engine.h"
#include "ocr/ocr_languages.h"
#include "pdfout/pdf_writer.h"
#include "support/ccitt.h"
#include "support/pdf_tools.h"
#include "support/temp_dir.h"
#include "support/text_page.h"

namespace trelvane::ocr {
namespace {

using testsupport::Bitmap;

const std::vector<std::string> kLines = {
    "The quick brown fox jumps over the lazy dog.",
    "Invoice number 20090512 for the archive transfer",
    "Please call us back before Friday, 10:30 at the latest.",
};

std::vector<std::string> expected_words() {
    std::vector<std::string> words;
    for (const std::string& line : kLines) {
        std::istringstream in(line);
        for (std::string w; in >> w;)
            words.push_back(w);
    }
    return words;
}

PageBitmap view(const Bitmap& page, double x_res, double y_res) {
    return PageBitmap{page.bits.data(),
                      page.bits.size(),
                      page.width,
                      page.height,
                      page.row_bytes(),
                      x_res,
                      y_res};
}

struct FaxMode {
    const char* name;
    int x_res, y_res, width, height;
};

class KnownTextPage : public ::testing::TestWithParam<FaxMode> {
  protected:
    void SetUp() override {
        if (!testsupport::tool_available("gs"))
            GTEST_SKIP() << "gs is not installed";
        const FaxMode m = GetParam();
        std::string log;
        ASSERT_TRUE(testsupport::render_postscript(testsupport::text_page_program(kLines, 12),
                                                   m.x_res, m.y_res, m.width, m.height, page_,
                                                   &log))
            << log;
        std::string error;
        engine_ = OcrEngine::create(OcrOptions{}, &error);
        ASSERT_TRUE(engine_) << error;
    }
    Bitmap page_;
    std::unique_ptr<OcrEngine> engine_;
};

TEST_P(KnownTextPage, WordsComeBackInOrderWithBoxesOnTheirInk) {
    const FaxMode m = GetParam();
    const OcrResult result = engine_->recognise(view(page_, m.x_res, m.y_res));
    ASSERT_TRUE(result.ok()) << result.message;
    std::vector<std::string> texts;
    for (const OcrWord& w : result.words)
        texts.push_back(w.text);
    EXPECT_EQ(texts, expected_words());

    int previous_line = -1;
    for (const OcrWord& w : result.words) {
        EXPECT_GE(w.line, previous_line) << w.text;
        previous_line = w.line;
        EXPECT_GT(w.confidence, 50) << w.text;
        // The box is in the page's own pixels: the ink found around it is the box itself.
        const testsupport::InkBox ink =
            testsupport::ink_box(page_, w.left - 3, w.top - 3, w.right + 3, w.bottom + 3);
        ASSERT_FALSE(ink.empty()) << w.text;
        EXPECT_NEAR(ink.left, w.left, 2) << w.text;
        EXPECT_NEAR(ink.right, w.right, 2) << w.text;
        EXPECT_NEAR(ink.top, w.top, 2) << w.text;
        EXPECT_NEAR(ink.bottom, w.bottom, 2) << w.text;
    }
    ASSERT_FALSE(result.words.empty());
    EXPECT_EQ(result.words.back().line - result.words.front().line, 2);
}

// Hands the recognised words to the PDF writer.
class Recognised : public pdfout::PageTextProvider {
  public:
    explicit Recognised(const OcrResult& r) {
        for (const OcrWord& w : r.words) {
            text_.words.push_back(pdfout::TextWord{w.text, double(w.left), double(w.top),
                                                   double(w.right), double(w.bottom), w.block,
                                                   w.paragraph, w.line});
        }
    }
    std::optional<pdfout::PageText> page_text(uint32_t) override { return text_; }

  private:
    pdfout::PageText text_;
};

TEST_P(KnownTextPage, MakesASearchablePdfThatPopplerReadsLineByLine) {
    TRELVANE_REQUIRE_TOOL("pdftotext");
    TRELVANE_REQUIRE_TOOL("qpdf");
    const FaxMode m = GetParam();
    const OcrResult result = engine_->recognise(view(page_, m.x_res, m.y_res));
    ASSERT_TRUE(result.ok()) << result.message;
    testsupport::TempDir dir;
    const testsupport::CodedPage coded =
        testsupport::encode_page(page_, testsupport::Coding::Group4, 1);
    ASSERT_TRUE(testsupport::write_coded_tiff(dir.file("page.tif"), coded, m.x_res, m.y_res));
    Recognised provider(result);
    pdfout::DiagnosticSink sink;
    ASSERT_EQ(pdfout::convert_tiff_to_pdf(dir.file("page.tif"), dir.file("page.pdf"),
                                          pdfout::kRequestNothing, {}, sink, {.text = &provider}),
              pdfout::kPdfOk);
    EXPECT_EQ(testsupport::qpdf_check(dir.file("page.pdf")).exit_code, 0);

    std::vector<std::string> lines;
    std::istringstream text(testsupport::pdf_text(dir.file("page.pdf"), 1));
    for (std::string line; std::getline(text, line);) {
        if (line.find_first_not_of(" \f") != std::string::npos)
            lines.push_back(line);
    }
    EXPECT_EQ(lines, kLines);

    Bitmap rendered;
    ASSERT_TRUE(testsupport::render_page_gs(dir.file("page.pdf"), 1, m.x_res, m.y_res, rendered));
    EXPECT_EQ(testsupport::first_difference(rendered, page_.normalised()), -1);
    std::vector<testsupport::PdfWord> words;
    ASSERT_TRUE(testsupport::pdf_words(dir.file("page.pdf"), 1, words));
    ASSERT_EQ(words.size(), expected_words().size());
    EXPECT_EQ(testsupport::words_off_their_ink(words, rendered, m.x_res, m.y_res), "");
}

INSTANTIATE_TEST_SUITE_P(FaxModes, KnownTextPage,
                         ::testing::Values(FaxMode{"fine", 204, 196, 1728, 2156},
                                           FaxMode{"standard", 204, 98, 1728, 1078}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OcrEngine, BlankAndInvalidPagesAreResultsNotFailures) {
    std::string error;
    auto engine = OcrEngine::create(OcrOptions{}, &error);
    ASSERT_TRUE(engine) << error;
    const Bitmap blank(1728, 1078);
    const OcrResult none = engine->recognise(view(blank, 204, 98));
    EXPECT_TRUE(none.ok()) << none.message;
    EXPECT_TRUE(none.words.empty());

    const struct {
        const char* what;
        PageBitmap page;
    } invalid[] = {
        {"no bits", {nullptr, 0, 10, 10, 2, 200, 200}},
        {"zero width", {blank.bits.data(), blank.bits.size(), 0, 10, 216, 200, 200}},
        {"rows shorter than the width",
         {blank.bits.data(), blank.bits.size(), 1728, 10, 200, 200, 200}},
        {"more rows than bytes", {blank.bits.data(), blank.bits.size(), 1728, 1079, 216, 200, 200}},
        {"beyond the largest page",
         {blank.bits.data(), blank.bits.size(), 40000, 1, 5000, 200, 200}},
    };
    for (const auto& c : invalid) {
        const OcrResult r = engine->recognise(c.page);
        EXPECT_EQ(r.status, OcrStatus::kInvalidPage) << c.what;
        EXPECT_FALSE(r.message.empty()) << c.what;
    }
}

// A page read in bands gives the words and lines of the page read whole, with boxes on their
// ink: the cuts fall between the lines of text.
TEST(OcrEngine, APageReadInBandsGivesTheWordsOfTheWholePage) {
    TRELVANE_REQUIRE_TOOL("gs");
    const char* const names[] = {
        "alpha",   "bravo", "charlie", "delta",  "echo",     "foxtrot", "golf",  "hotel",  "india",
        "juliett", "kilo",  "lima",    "mike",   "november", "oscar",   "papa",  "quebec", "romeo",
        "sierra",  "tango", "uniform", "victor", "whiskey",  "xray",    "yankee"};
    std::vector<std::string> lines;
    for (int i = 0; i < 25; ++i)
        lines.push_back(std::string("Entry ") + names[i] +
                        " of the transfer list for invoice 2009" + std::to_string(1000 + 37 * i));
    for (const FaxMode& m :
         {FaxMode{"fine", 204, 196, 1728, 2156}, FaxMode{"standard", 204, 98, 1728, 1078}}) {
        SCOPED_TRACE(m.name);
        Bitmap page;
        ASSERT_TRUE(testsupport::render_postscript(testsupport::text_page_program(lines, 12),
                                                   m.x_res, m.y_res, m.width, m.height, page));
        OcrOptions banded;
        banded.max_band_pixels = int64_t{1} << 20;  // bands of some 600 rows
        ASSERT_GT(plan_bands(view(page, m.x_res, m.y_res), 204, banded.scale_tolerance,
                             banded.max_band_pixels)
                      .size(),
                  2u);
        std::string error;
        auto whole_engine = OcrEngine::create(OcrOptions{}, &error);
        auto banded_engine = OcrEngine::create(banded, &error);
        ASSERT_TRUE(whole_engine && banded_engine) << error;
        const OcrResult whole = whole_engine->recognise(view(page, m.x_res, m.y_res));
        const OcrResult bands = banded_engine->recognise(view(page, m.x_res, m.y_res));
        ASSERT_TRUE(whole.ok() && bands.ok()) << whole.message << bands.message;
        EXPECT_GE(whole.words.size(), 25u * 9);
        ASSERT_EQ(bands.words.size(), whole.words.size());
        std::set<int32_t> band_lines;
        for (size_t i = 0; i < whole.words.size(); ++i) {
            const OcrWord& a = whole.words[i];
            const OcrWord& b = bands.words[i];
            EXPECT_EQ(b.text, a.text);
            // The box is on the word's ink, in the page's own pixels.
            const testsupport::InkBox ink =
                testsupport::ink_box(page, b.left - 3, b.top - 3, b.right + 3, b.bottom + 3);
            ASSERT_FALSE(ink.empty()) << b.text;
            EXPECT_NEAR(ink.left, b.left, 2) << b.text;
            EXPECT_NEAR(ink.right, b.right, 2) << b.text;
            EXPECT_NEAR(ink.top, b.top, 2) << b.text;
            EXPECT_NEAR(ink.bottom, b.bottom, 2) << b.text;
            band_lines.insert(b.line);
            if (i > 0) {
                // Lines keep counting over the bands: a new line starts where the page's does.
                EXPECT_EQ(b.line != bands.words[i - 1].line, a.line != whole.words[i - 1].line)
                    << a.text;
            }
        }
        EXPECT_EQ(band_lines.size(), 25u);
    }
}

TEST(OcrEngine, EnginesOnTwoThreadsAtOnceGiveTheSameWords) {
    TRELVANE_REQUIRE_TOOL("gs");
    Bitmap page;
    ASSERT_TRUE(testsupport::render_postscript(testsupport::text_page_program(kLines, 12), 204, 196,
                                               1728, 2156, page));
    std::vector<std::string> found[2];
    auto run = [&](int k) {
        std::string error;
        auto engine = OcrEngine::create(OcrOptions{}, &error);
        if (!engine)
            return;
        for (const OcrWord& w : engine->recognise(view(page, 204, 196)).words)
            found[k].push_back(w.text);
    };
    std::thread a(run, 0), b(run, 1);
    a.join();
    b.join();
    EXPECT_EQ(found[0], expected_words());
    EXPECT_EQ(found[1], expected_words());
}

TEST(OcrLanguages, NamesAreCheckedAgainstTheInstalledData) {
    testing::internal::CaptureStderr();
    const LanguageCheck eng = check_languages("eng");
    EXPECT_TRUE(eng.ok) << eng.message;
    EXPECT_EQ(eng.resolved, "eng");
    // Any case names the installed language.
    const LanguageCheck upper = check_languages("ENG");
    EXPECT_TRUE(upper.ok) << upper.message;
    EXPECT_EQ(upper.resolved, "eng");

    // A name Debian has no package for is only named, with what is installed.
    const LanguageCheck unknown = check_languages("eng+qqq");
    EXPECT_FALSE(unknown.ok);
    EXPECT_EQ(unknown.languages, (std::vector<std::string>{"eng", "qqq"}));
    EXPECT_EQ(unknown.missing, std::vector<std::string>{"qqq"});
    EXPECT_EQ(unknown.message.find("tesseract-ocr-qqq"), std::string::npos) << unknown.message;
    EXPECT_NE(unknown.message.find("unknown language 'qqq'; installed: "), std::string::npos)
        << unknown.message;
    EXPECT_NE(unknown.message.find("eng"), std::string::npos) << unknown.message;

    testsupport::TempDir empty;
    const LanguageCheck nowhere = check_languages("eng", empty.path());
    EXPECT_EQ(nowhere.missing, std::vector<std::string>{"eng"});
    EXPECT_EQ(nowhere.message,
              "The OCR language data for eng is not installed: install it with apt-get install "
              "tesseract-ocr-eng; installed: none (install tesseract-ocr-eng)");

    std::string error;
    OcrOptions options;
    options.languages = "qqq";
    EXPECT_EQ(OcrEngine::create(options, &error), nullptr);
    EXPECT_NE(error.find("unknown language 'qqq'"), std::string::npos) << error;
    options.languages = "Eng";
    EXPECT_NE(OcrEngine::create(options, &error), nullptr) << error;
    // Tesseract's own messages ("Error opening data file ...") never reach standard error.
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(OcrLanguages, ListsAndPackageNames) {
    EXPECT_EQ(split_languages("deu+eng"), (std::vector<std::string>{"deu", "eng"}));
    EXPECT_EQ(split_languages("chi_sim"), std::vector<std::string>{"chi_sim"});
    for (const char* bad : {"", "+", "eng+", "+eng", "eng++deu", "../eng", "eng deu", "e/ng"}) {
        EXPECT_TRUE(split_languages(bad).empty()) << bad;
        const LanguageCheck check = check_languages(bad);
        EXPECT_FALSE(check.ok) << bad;
        EXPECT_NE(check.message.find("deu+eng"), std::string::npos) << check.message;
    }
    EXPECT_EQ(debian_package_for("deu"), "tesseract-ocr-deu");
    EXPECT_EQ(debian_package_for("chi_sim"), "tesseract-ocr-chi-sim");
    EXPECT_EQ(debian_package_for("Fraktur"), "tesseract-ocr-fraktur");
}

}  // namespace
}  // namespace trelvane::ocr

#else

TEST(Ocr, NeedsABuildWithOcr) {
    GTEST_SKIP() << "built without OCR (TRELVANE_OCR=OFF, or Tesseract not found: "
                    "apt-get install libtesseract-dev tesseract-ocr-eng): no OCR test runs";
}

#endif
