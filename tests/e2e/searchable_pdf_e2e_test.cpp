// Searchable PDFs through the real program: pages of known text, typeset and rendered by
// Ghostscript at both fax resolutions and wrapped into WinFax files, come out with their words
// in order for poppler, boxes on the ink, and an image and a rendering exactly those of the
// plain PDF. Languages that are not installed stop the run before anything is converted.
#include <gtest/gtest.h>
#include <algorithm>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/page_recognition.h"
#include "e2e_run.h"
#include "fax_fixtures.h"
#include "support/libtiff_codec.h"
#include "support/pdf_tools.h"
#include "support/text_page.h"
#include "support/winfax_builder.h"

namespace trelvane::e2e {
namespace {

using testsupport::Bitmap;
using testsupport::Coding;

const std::vector<std::string> kLines = {
    "The quick brown fox jumps over the lazy dog.",
    "Invoice number 20090512 for the archive transfer",
    "Please call us back before Friday, 10:30 at the latest.",
};

struct FaxMode {
    const char* name;
    Coding coding;
    uint8_t resolution;  // WinFax header value
    int x_res, y_res, height;
};

// The page's text lines as pdftotext gives them, blank lines left out.
std::vector<std::string> text_lines(const std::string& pdf, int page) {
    std::vector<std::string> lines;
    std::istringstream text(testsupport::pdf_text(pdf, page));
    for (std::string line; std::getline(text, line);) {
        if (line.find_first_not_of(" \f") != std::string::npos)
            lines.push_back(line);
    }
    return lines;
}

// The stream data of every image XObject, in file order, with its dictionary (object
// references written as "R", since the text layer numbers objects differently).
std::vector<std::string> image_objects(const std::string& pdf_bytes) {
    std::vector<std::string> images;
    size_t at = 0;
    while ((at = pdf_bytes.find("/Subtype /Image", at)) != std::string::npos) {
        const size_t start = pdf_bytes.rfind(" obj", at);
        const size_t stream = pdf_bytes.find("stream", at);
        const size_t end = pdf_bytes.find("endstream", stream);
        if (start == std::string::npos || stream == std::string::npos || end == std::string::npos)
            break;
        const std::string dictionary = std::regex_replace(pdf_bytes.substr(start, stream - start),
                                                          std::regex("[0-9]+ 0 R"), "R");
        images.push_back(dictionary + pdf_bytes.substr(stream, end - stream));
        at = end;
    }
    return images;
}

class SearchableFax : public ConversionRun, public ::testing::WithParamInterface<FaxMode> {
  protected:
    void SetUp() override {
        if (!app::recognition_available())
            GTEST_SKIP() << "built without text recognition (TRELVANE_OCR=OFF or no Tesseract)";
        for (const char* tool : {"gs", "pdftotext", "qpdf"}) {
            if (!testsupport::tool_available(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps installs it)";
        }
    }

    // A WinFax file of the pages, coded as the mode says.
    void write_fax(const std::string& path, const std::vector<Bitmap>& pages) {
        const FaxMode m = GetParam();
        std::vector<testsupport::WinFaxPage> winfax;
        for (const Bitmap& page : pages) {
            testsupport::WinFaxPage p;
            p.data = testsupport::libtiff_encode(page, m.coding, 2);
            p.width = static_cast<uint16_t>(page.width);
            p.length = static_cast<uint16_t>(page.height);
            p.coding = m.coding == Coding::Group4 ? 1 : 0;
            p.resolution = m.resolution;
            winfax.push_back(std::move(p));
        }
        ASSERT_TRUE(testsupport::write_winfax(path, winfax));
    }

    Bitmap text_page(const std::vector<std::string>& lines) {
        const FaxMode m = GetParam();
        Bitmap page;
        std::string log;
        EXPECT_TRUE(testsupport::render_postscript(testsupport::text_page_program(lines, 12),
                                                   m.x_res, m.y_res, 1728, m.height, page, &log))
            << log;
        return page;
    }
};

TEST_P(SearchableFax, WordsInOrderOverAnUntouchedImage) {
    const FaxMode m = GetParam();
    const Bitmap page = text_page(kLines);
    const Bitmap blank(1728, m.height);
    const std::string fax = dir.file("letter.fxs");
    write_fax(fax, {page, blank});

    const std::string searchable = dir.file("searchable.pdf");
    const std::string plain = dir.file("plain.pdf");
    const RunResult with_text = run({"/f=" + fax, "/sf=" + searchable, "/q", "/ocr"});
    ASSERT_EQ(with_text.exit_code, 0) << with_text.err;
    EXPECT_NE(testsupport::read_file(log_path()).find(" : Success !\r\n"), std::string::npos);
    ASSERT_EQ(run({"/f=" + fax, "/sf=" + plain, "/q"}).exit_code, 0);
    EXPECT_TRUE(left_in_tmp().empty());

    EXPECT_EQ(testsupport::qpdf_check(searchable).exit_code, 0)
        << testsupport::qpdf_check(searchable).output;
    EXPECT_EQ(text_lines(searchable, 1), kLines);
    std::vector<testsupport::PdfWord> blank_words;
    ASSERT_TRUE(testsupport::pdf_words(searchable, 2, blank_words));
    EXPECT_TRUE(blank_words.empty()) << blank_words.front().text;
    EXPECT_TRUE(text_lines(plain, 1).empty());

    // The image is byte for byte the plain PDF's, and each page renders pixel for pixel as
    // the plain one does: the fax page itself.
    const std::vector<std::string> images = image_objects(testsupport::read_file(searchable));
    ASSERT_EQ(images.size(), 2u);
    EXPECT_TRUE(images == image_objects(testsupport::read_file(plain)));
    Bitmap rendered;
    for (int p = 1; p <= 2; ++p) {
        SCOPED_TRACE("page " + std::to_string(p));
        Bitmap of_plain;
        ASSERT_TRUE(testsupport::render_page_gs(searchable, p, m.x_res, m.y_res, rendered));
        ASSERT_TRUE(testsupport::render_page_gs(plain, p, m.x_res, m.y_res, of_plain));
        EXPECT_EQ(testsupport::first_difference(rendered, of_plain), -1);
    }
    ASSERT_TRUE(testsupport::render_page_gs(searchable, 1, m.x_res, m.y_res, rendered));
    EXPECT_EQ(testsupport::first_difference(rendered, page.normalised()), -1);

    // A viewer's selection lies over the printed word: across, the word's box is the ink of
    // the word; down, the box holds it.
    std::vector<testsupport::PdfWord> words;
    ASSERT_TRUE(testsupport::pdf_words(searchable, 1, words));
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(testsupport::words_off_their_ink(words, rendered, m.x_res, m.y_res), "");
}

// The pages of one fax are read on every job at once; the text is the same as with one job,
// each page's words on their own page.
TEST_P(SearchableFax, PagesOfOneFaxOnSeveralJobsKeepTheirOrder) {
    std::vector<Bitmap> pages;
    std::vector<std::vector<std::string>> expected;
    const char* const names[] = {"first", "second", "third", "fourth"};
    for (int i = 0; i < 4; ++i) {
        expected.push_back({std::string("The ") + names[i] + " page of the transfer list",
                            kLines[static_cast<size_t>(i) % kLines.size()]});
        pages.push_back(text_page(expected.back()));
    }
    const std::string fax = dir.file("list.fxm");
    write_fax(fax, pages);
    std::vector<std::string> texts;
    for (const char* jobs : {"/jobs=1", "/jobs=3"}) {
        SCOPED_TRACE(jobs);
        const std::string pdf = dir.file(std::string("list") + jobs[6] + ".pdf");
        const RunResult r = run({"/f=" + fax, "/sf=" + pdf, "/q", "/ocr=eng", jobs});
        ASSERT_EQ(r.exit_code, 0) << r.err;
        for (int p = 1; p <= 4; ++p)
            EXPECT_EQ(text_lines(pdf, p), expected[static_cast<size_t>(p) - 1]) << "page " << p;
        std::string all;
        for (int p = 1; p <= 4; ++p)
            all += testsupport::pdf_text(pdf, p);
        texts.push_back(all);
    }
    EXPECT_EQ(texts[0], texts[1]);
}

INSTANTIATE_TEST_SUITE_P(FaxModes, SearchableFax,
                         ::testing::Values(FaxMode{"group4_fine", Coding::Group4, kFine, 200, 200,
                                                   2200},
                                           FaxMode{"group3_standard", Coding::Group3OneDimensional,
                                                   kStandard, 200, 100, 1100}),
                         [](const auto& info) { return std::string(info.param.name); });

// Pages whose headers declare far more than their data draws, or whose ink covers more than a
// page is read over, are converted whole; each page's words land on that page, and the line
// names the pages that got no text. What such a fax costs is measured by make bench.
class OutsizedPages : public ConversionRun {
  protected:
    void SetUp() override {
        if (!app::recognition_available())
            GTEST_SKIP() << "built without text recognition (TRELVANE_OCR=OFF or no Tesseract)";
        for (const char* tool : {"gs", "pdftotext", "qpdf"}) {
            if (!testsupport::tool_available(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps installs it)";
        }
    }
};

TEST_F(OutsizedPages, EveryPageKeepsItsOwnWordsAndUnreadPagesAreNamed) {
    const std::vector<std::string> first = {"Invoice number 20090512 for the archive transfer"};
    const std::vector<std::string> last = {
        "Please call us back before Friday, 10:30 at the latest."};
    const auto text = [](const std::vector<std::string>& lines) {
        Bitmap page;
        EXPECT_TRUE(testsupport::render_postscript(testsupport::text_page_program(lines, 12), 200,
                                                   200, 1728, 2200, page));
        return page;
    };
    // A wide page whose data holds a few hundred rows of text at its top left.
    const auto on_wide_strip = [](const Bitmap& text_page) {
        Bitmap strip(8000, 400);
        for (int y = 0; y < strip.height; ++y) {
            for (int x = 0; x < text_page.width; ++x) {
                if (text_page.get(x, y + 100))
                    strip.set(x, y);
            }
        }
        return strip;
    };
    // Ink down both edges of every row: the whole page is inked.
    const auto edges = [](int width, int height) {
        Bitmap page(width, height);
        for (int y = 0; y < height; ++y) {
            page.set(0, y);
            page.set(width - 1, y);
        }
        return page;
    };
    const auto coded = [](const Bitmap& page, int declared_height) {
        testsupport::WinFaxPage p;
        p.data = testsupport::libtiff_encode(page, Coding::Group4, 2);
        p.width = static_cast<uint16_t>(page.width);
        p.length = static_cast<uint16_t>(declared_height);
        p.coding = 1;
        p.resolution = kFine;
        return p;
    };
    const struct {
        const char* what;
        testsupport::WinFaxPage page;
        const std::vector<std::string>* words;  // nullptr: none, and the line names the page
    } pages[] = {
        {"8000 x 30000 declared, 400 rows of data", coded(on_wide_strip(text(first)), 30000),
         &first},
        {"inked over 8000 x 30000", coded(edges(8000, 30000), 30000), nullptr},
        {"a letter page", coded(text(last), 2200), &last},
    };
    std::vector<testsupport::WinFaxPage> winfax;
    for (const auto& p : pages)
        winfax.push_back(p.page);
    const std::string fax = dir.file("outsized.fxs");
    ASSERT_TRUE(testsupport::write_winfax(fax, winfax));

    for (const char* jobs : {"/jobs=1", "/jobs=4"}) {
        SCOPED_TRACE(jobs);
        const std::string pdf = dir.file(std::string("outsized") + jobs[6] + ".pdf");
        const RunResult r = run({"/f=" + fax, "/sf=" + pdf, "/ocr", jobs});
        ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
        EXPECT_EQ(testsupport::qpdf_check(pdf).exit_code, 0) << testsupport::qpdf_check(pdf).output;
        EXPECT_TRUE(left_in_tmp().empty());
        for (int i = 0; i < static_cast<int>(std::size(pages)); ++i) {
            SCOPED_TRACE(pages[i].what);
            const std::string note = "page " + std::to_string(i + 1) + ": no text layer";
            if (pages[i].words != nullptr) {
                EXPECT_EQ(text_lines(pdf, i + 1), *pages[i].words);
                EXPECT_EQ(r.out.find(note), std::string::npos) << r.out;
            } else {
                EXPECT_TRUE(text_lines(pdf, i + 1).empty());
                EXPECT_NE(r.out.find(note), std::string::npos) << r.out;
            }
        }
        EXPECT_EQ(testsupport::run_tool({"qpdf", "--show-npages", pdf}).output,
                  std::to_string(std::size(pages)) + "\n");
    }
}

using RecognitionLanguages = ConversionRun;

const char* const kSample = TRELVANE_SOURCE_DIR "/samples/delivery-notice.fxs";

// A language whose data is not installed, or a list that names none, stops the run before
// any conversion: exit status 2, one line on standard error naming the language (and the
// package to install, when Debian has one) and what is installed, no PDF; nothing of
// Tesseract's own messages.
TEST_F(RecognitionLanguages, MissingOnesStopTheRunBeforeAnyConversion) {
    if (!app::recognition_available()) {
        const std::string fax = dir.file("a.fxs");
        std::filesystem::copy_file(kSample, fax);
        const RunResult r = run({"/f=" + fax, "/sf=" + dir.file("a.pdf"), "/ocr"});
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_NE(r.err.find("built without text recognition"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir.file("a.pdf")));
        GTEST_SKIP() << "built without text recognition: only the refusal is checked";
    }
    struct Case {
        std::string option;
        std::string said;  // on standard error
    };
    const std::vector<Case> cases = {
        {"/ocr=qqq", "unknown language 'qqq'; installed: "},
        {"/ocr=ENG+zz_top", "unknown language 'zz_top'; installed: "},
        {"/ocr=deu-eng", "Invalid OCR language list 'deu-eng'"},
    };
    std::filesystem::create_directories(dir.file("in"));
    std::filesystem::copy_file(kSample, dir.file("in/a.fxs"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"/f=" + dir.file("in/a.fxs"), "/sf=" + dir.file("a.pdf")},
              std::vector<std::string>{"/d=" + dir.file("in"), "/sd=" + dir.file("out")}}) {
            std::vector<std::string> all = args;
            all.push_back(c.option);
            const RunResult r = run(all);
            EXPECT_EQ(r.exit_code, 2);
            EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_EQ(r.err.find("tesseract-ocr-"), std::string::npos) << r.err;
            EXPECT_FALSE(std::filesystem::exists(dir.file("a.pdf")));
            EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
        }
    }
}

// The program without its text recognition module (a copy of it elsewhere, a broken
// installation): runs without /ocr go on, a run with it stops before converting, saying which
// files were looked for.
TEST_F(RecognitionLanguages, AMissingModuleStopsOnlyRunsThatAskForText) {
    if (!app::recognition_available())
        GTEST_SKIP() << "built without text recognition: there is no module";
    const std::string program = dir.file("trelvane");
    std::filesystem::copy_file(TRELVANE_EXE, program);
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    const std::string fax = dir.file("a.fxs");
    std::filesystem::copy_file(kSample, fax);
    const std::vector<std::string> plain = {"/q", "/f=" + fax, "/sf=" + dir.file("a.pdf"),
                                            "/log=" + log_path()};
    EXPECT_EQ(run_trelvane(plain, {{"TMPDIR", tmp.path()}}, {}, program).exit_code, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("a.pdf")));
    std::vector<std::string> with_text = plain;
    with_text[2] = "/sf=" + dir.file("b.pdf");
    with_text.push_back("/ocr");
    const RunResult r = run_trelvane(with_text, {{"TMPDIR", tmp.path()}}, {}, program);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find(dir.file("trelvane-ocr.so")), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("install the package trelvane-ocr"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("b.pdf")));
}

}  // namespace
}  // namespace trelvane::e2e
