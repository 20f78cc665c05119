// Faxes made from known bitmaps go through the real program; every PDF must pass qpdf's check
// and render in Ghostscript, at the page's own resolutions, to exactly the bitmaps they were
// made from, with the page size from width and resolution and the first page's text as /Title.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fax_fixtures.h"
#include "run_binary.h"
#include "support/temp_dir.h"

namespace trelvane::e2e {
namespace {

using testsupport::Coding;
using testsupport::TempDir;

struct PageCase {
    int width;
    int height;
    Coding coding;
    uint8_t resolution;
    const char* pattern;
};

std::string case_name(const ::testing::TestParamInfo<PageCase>& info) {
    const PageCase& c = info.param;
    const char* resolution = c.resolution == kStandard ? "standard"
                             : c.resolution == kFine   ? "fine"
                                                       : "superfine";
    return std::string(c.coding == Coding::Group4 ? "G4" : "G3") + "_" + resolution + "_w" +
           std::to_string(c.width) + "_" + c.pattern;
}

class SingleFileFidelity : public ::testing::TestWithParam<PageCase> {};

TEST_P(SingleFileFidelity, PdfRendersAsTheFaxPage) {
    TRELVANE_REQUIRE_PDF_TOOLS();
    const PageCase& c = GetParam();
    TempDir dir;
    FaxPage page;
    page.bitmap = testsupport::make_pattern(c.pattern, c.width, c.height);
    page.coding = c.coding;
    page.resolution = c.resolution;
    page.title = "Fidelity " + case_name({c, 0});
    ASSERT_TRUE(write_fax_file(dir.file("page.fxs"), {page}));

    const RunResult r = run_trelvane({"/q", "/f=" + dir.file("page.fxs"),
                                      "/sf=" + dir.file("page.pdf"), "/log=" + dir.file("log")},
                                     {{"TMPDIR", dir.path()}});
    ASSERT_EQ(r.exit_code, 0) << testsupport::read_file(dir.file("log"));
    expect_pdf_holds(dir.file("page.pdf"), {page});
}

INSTANTIATE_TEST_SUITE_P(
    ResolutionsWidthsCodings, SingleFileFidelity,
    ::testing::Values(PageCase{1728, 400, Coding::Group3OneDimensional, kStandard, "text11"},
                      PageCase{1728, 400, Coding::Group4, kStandard, "text12"},
                      PageCase{1728, 500, Coding::Group3OneDimensional, kFine, "startblack"},
                      PageCase{1728, 500, Coding::Group4, kFine, "text13"},
                      PageCase{1728, 600, Coding::Group3OneDimensional, kSuperfine, "text14"},
                      PageCase{1728, 600, Coding::Group4, kSuperfine, "checker"},
                      PageCase{2048, 300, Coding::Group3OneDimensional, kFine, "stripes"},
                      PageCase{2048, 300, Coding::Group4, kSuperfine, "text15"},
                      PageCase{2432, 300, Coding::Group3OneDimensional, kSuperfine, "longruns"},
                      PageCase{2432, 300, Coding::Group4, kStandard, "black"},
                      PageCase{1000, 200, Coding::Group4, kFine, "text16"},
                      PageCase{1001, 200, Coding::Group3OneDimensional, kStandard, "text17"}),
    case_name);

TEST(FolderFidelity, MixedPagesInSeveralFilesAllRenderAsTheirSources) {
    TRELVANE_REQUIRE_PDF_TOOLS();
    TempDir in;
    TempDir out;
    const std::vector<FaxPage> mixed = {
        text_page(1728, 700, 21, Coding::Group3OneDimensional, kStandard, "INVOICE 2231"),
        text_page(1728, 900, 22, Coding::Group4, kFine),
        text_page(2048, 500, 23, Coding::Group4, kSuperfine),
        text_page(2432, 400, 24, Coding::Group3OneDimensional, kFine),
    };
    const std::vector<FaxPage> plain = {
        text_page(1728, 2200, 25, Coding::Group4, kFine, "FROM: Harbour Office"),
    };
    ASSERT_TRUE(write_fax_file(in.file("mixed.fxm"), mixed));
    ASSERT_TRUE(write_fax_file(in.file("plain.fxr"), plain));

    const RunResult r =
        run_trelvane({"/q", "/d=" + in.path(), "/sd=" + out.path(), "/log=" + out.file("log.txt")},
                     {{"TMPDIR", out.path()}});
    ASSERT_EQ(r.exit_code, 0) << testsupport::read_file(out.file("log.txt"));
    expect_pdf_holds(out.file("mixed.pdf"), mixed);
    expect_pdf_holds(out.file("plain.pdf"), plain);
}

TEST(TitleFidelity, HeaderTextReachesTheReaderAsWritten) {
    TRELVANE_REQUIRE_PDF_TOOLS();
    struct TitleCase {
        std::string header_text;  // bytes in the first page header
        bool expect_title;
        std::string shown;  // what pdfinfo decodes (UTF-8)
    };
    const std::string longest(79, 'W');  // ends where the header's fields begin
    const TitleCase cases[] = {
        {"Re: (Q3) prices \\ terms", true, "Re: (Q3) prices \\ terms"},
        {"Caf\xE9 order", true, "Caf\xC3\xA9 order"},  // Latin-1 e acute
        {longest, true, longest},
        {"", false, ""},
    };
    for (const TitleCase& c : cases) {
        SCOPED_TRACE(c.header_text);
        TempDir dir;
        const std::vector<FaxPage> pages = {
            text_page(1728, 100, 3, Coding::Group4, kFine, c.header_text),
            text_page(1728, 100, 4, Coding::Group4, kFine, "page two")};
        ASSERT_TRUE(write_fax_file(dir.file("t.fxd"), pages));
        const RunResult r = run_trelvane(
            {"/q", "/f=" + dir.file("t.fxd"), "/sf=" + dir.file("t.pdf"), "/log=" + dir.file("l")},
            {{"TMPDIR", dir.path()}});
        ASSERT_EQ(r.exit_code, 0);
        PdfSummary summary;
        ASSERT_TRUE(read_pdf_summary(dir.file("t.pdf"), summary));
        EXPECT_EQ(summary.has_title, c.expect_title);
        EXPECT_EQ(summary.title, c.shown);
        const testsupport::ToolRun check = testsupport::qpdf_check(dir.file("t.pdf"));
        EXPECT_EQ(check.exit_code, 0) << check.output;
    }
}

TEST(TitleFidelity, TextFillingTheWholeHeaderBecomesA119ByteTitle) {
    TRELVANE_REQUIRE_PDF_TOOLS();
    TempDir dir;
    FaxPage page = text_page(1728, 160, 5, Coding::Group4, kSuperfine, std::string(119, 'W'));
    // The text overruns the fields; the resolution byte then holds 'W', which means 400.
    page.title_over_fields = true;
    ASSERT_TRUE(write_fax_file(dir.file("t.fxs"), {page}));
    const RunResult r = run_trelvane(
        {"/q", "/f=" + dir.file("t.fxs"), "/sf=" + dir.file("t.pdf"), "/log=" + dir.file("l")},
        {{"TMPDIR", dir.path()}});
    ASSERT_EQ(r.exit_code, 0) << testsupport::read_file(dir.file("l"));
    expect_pdf_holds(dir.file("t.pdf"), {page});
}

}  // namespace
}  // namespace trelvane::e2e
