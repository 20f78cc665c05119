// Every page whole, or the report line says why: the cases where pages once lost content
// while the line said "Success !", run through the real program and judged by Ghostscript's
// rendering of the PDF and by libtiff's decoder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_run.h"
#include "fax_fixtures.h"
#include "support/libtiff_codec.h"
#include "support/winfax_builder.h"

namespace trelvane::e2e {
namespace {

using testsupport::Bitmap;
using testsupport::Coding;
using testsupport::read_file;
using testsupport::WinFaxPage;

using WholePages = ConversionRun;

WinFaxPage winfax_page(const std::vector<uint8_t>& data, const Bitmap& page, Coding coding,
                       uint16_t length) {
    WinFaxPage p;
    p.data = data;
    p.width = static_cast<uint16_t>(page.width);
    p.length = length;
    p.coding = coding == Coding::Group4 ? 1 : 0;
    p.resolution = kFine;
    return p;
}

FaxPage expected_page(const Bitmap& bitmap, Coding coding) {
    FaxPage p;
    p.bitmap = bitmap;
    p.coding = coding;
    p.resolution = kFine;
    return p;
}

// A line that starts black and changes colour at every pixel (width + 1 runs): libtiff's Group
// 3 decoder stopped there and the copy stage left it and every later line white; with
// /relines the Group 4 count stopped at it (40 rows became 21).
TEST_F(WholePages, ALineOfTheMostRunsKeepsEveryLine) {
    TRELVANE_REQUIRE_PDF_TOOLS();
    const Bitmap page = testsupport::with_most_runs(testsupport::text_like(1728, 40, 5), {20});
    for (const Coding coding : {Coding::Group3OneDimensional, Coding::Group4}) {
        for (const bool relines : {false, true}) {
            SCOPED_TRACE(std::string(coding == Coding::Group4 ? "G4" : "G3") +
                         (relines ? " /relines" : ""));
            const std::string fax = dir.file("most.fxs");
            ASSERT_TRUE(testsupport::write_winfax(
                fax, {winfax_page(testsupport::libtiff_encode(page, coding, 2), page, coding,
                                  relines ? 3432 : 40)}));
            const std::string pdf = dir.file("most.pdf");
            std::vector<std::string> args = {"/f=" + fax, "/sf=" + pdf, "/q"};
            if (relines)
                args.push_back("/relines");
            const RunResult r = run(args);
            EXPECT_EQ(r.exit_code, 0);
            EXPECT_NE(read_file(log_path()).find(" : Success !\r\n"), std::string::npos);
            expect_pdf_holds(pdf, {expected_page(page, coding)});
        }
    }
}

// A received Group 3 page with a damaged line that the decoder resynchronises after: with
// /relines every line stays (the count is what libtiff delivers), and the line names it.
TEST_F(WholePages, DamagedLinesAreKeptAndNamed) {
    TRELVANE_REQUIRE_PDF_TOOLS();
    const Bitmap page = testsupport::text_like(1728, 60, 6);
    std::vector<uint8_t> data = testsupport::libtiff_encode(page, Coding::Group3OneDimensional, 2);
    // The first byte from the middle on whose damage shows and libtiff reports as one line.
    testsupport::LibtiffDecode theirs;
    std::string damage;
    for (size_t at = data.size() / 2; at < data.size(); ++at) {
        data[at] ^= 0xFF;
        theirs = testsupport::libtiff_decode(data, 1728, 60, Coding::Group3OneDimensional, 2);
        damage = libtiff_damage_note(theirs.messages, false);
        if (damage == "1 damaged line" && testsupport::first_difference(theirs.page, page) != -1)
            break;
        data[at] ^= 0xFF;
    }
    ASSERT_EQ(damage, "1 damaged line");
    const std::string fax = dir.file("received.fxr");
    ASSERT_TRUE(testsupport::write_winfax(
        fax, {winfax_page(data, page, Coding::Group3OneDimensional, 3432)}));
    const std::string pdf = dir.file("received.pdf");
    const RunResult r = run({"/f=" + fax, "/sf=" + pdf, "/relines"});
    EXPECT_EQ(r.exit_code, 0);
    // The header declares 3432 lines, the data holds the page's 60.
    const std::string missing = std::to_string(3432 - page.height) + " of 3432 lines missing";
    expect_reported(
        r, log_path(),
        std::string(kSingleFileHeader) +
            report_line(fax, pdf, "Success ! (page 1: " + damage + ", " + missing + ")"),
        false);
    expect_pdf_holds(pdf, {expected_page(theirs.page, Coding::Group3OneDimensional)});
}

// A fax still being written: the last page's data is cut by the end of the file. The page
// keeps what libtiff decodes from what is there, and the line says the file is cut.
TEST_F(WholePages, AFileCutShortSaysSo) {
    TRELVANE_REQUIRE_PDF_TOOLS();
    const Bitmap one = testsupport::text_like(1728, 80, 7);
    const Bitmap two = testsupport::text_like(1728, 80, 8);
    const std::vector<uint8_t> first = testsupport::libtiff_encode(one, Coding::Group4, 2);
    std::vector<uint8_t> second = testsupport::libtiff_encode(two, Coding::Group4, 2);
    std::vector<uint8_t> file =
        testsupport::build_winfax({winfax_page(first, one, Coding::Group4, 80),
                                   winfax_page(second, two, Coding::Group4, 80)});
    const size_t cut = second.size() / 3;
    file.resize(file.size() - cut);
    second.resize(second.size() - cut);
    const testsupport::LibtiffDecode theirs =
        testsupport::libtiff_decode(second, 1728, 80, Coding::Group4, 2);
    std::string damage = libtiff_damage_note(theirs.messages, true);
    const std::string missing = libtiff_missing_note(theirs.messages, 80);
    if (!missing.empty())
        damage += (damage.empty() ? "" : ", ") + missing;
    const std::string fax = dir.file("partial.fxd");
    ASSERT_TRUE(testsupport::write_file(fax, std::string(file.begin(), file.end())));
    const std::string pdf = dir.file("partial.pdf");
    const RunResult r = run({"/f=" + fax, "/sf=" + pdf});
    EXPECT_EQ(r.exit_code, 0);
    const std::string said =
        "Success ! (page 2: " + (damage.empty() ? "" : damage + ", ") + "file cut short)";
    expect_reported(r, log_path(), std::string(kSingleFileHeader) + report_line(fax, pdf, said),
                    false);
    expect_pdf_holds(
        pdf, {expected_page(one, Coding::Group4), expected_page(theirs.page, Coding::Group4)});
}

// More pages than a PDF's page tree takes here: the first 65535 convert and the line says how
// many were left out.
TEST_F(WholePages, PagesPastTheMostAFileCanHaveAreCountedAsLeftOut) {
    const WinFaxPage tiny =
        winfax_page(testsupport::libtiff_encode(testsupport::checkerboard(64, 4, 2),
                                                Coding::Group3OneDimensional, 2),
                    testsupport::checkerboard(64, 4, 2), Coding::Group3OneDimensional, 4);
    const std::string fax = dir.file("many.fxs");
    ASSERT_TRUE(testsupport::write_winfax(fax, std::vector<WinFaxPage>(65535 + 7, tiny)));
    const std::string pdf = dir.file("many.pdf");
    const RunResult r = run({"/f=" + fax, "/sf=" + pdf, "/q"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(read_file(log_path()).find(" : Success ! (pages 65536 to 65542 left out)\r\n"),
              std::string::npos)
        << read_file(log_path());
    if (testsupport::tool_available("qpdf")) {
        EXPECT_EQ(qpdf_page_count(pdf), 65535);
    }
}

}  // namespace
}  // namespace trelvane::e2e
