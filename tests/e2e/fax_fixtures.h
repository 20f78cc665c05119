// WinFax files made from known bitmaps, and the checks that a PDF the program wrote holds
// exactly those bitmaps, judged by qpdf, Ghostscript and poppler rather than by our own code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/bitmap.h"
#include "support/ccitt.h"
#include "support/pdf_tools.h"

namespace trelvane::e2e {

// WinFax header byte 115: 0 standard (100 lines per inch), 1 fine (200), anything else 400.
constexpr uint8_t kStandard = 0;
constexpr uint8_t kFine = 1;
constexpr uint8_t kSuperfine = 2;

// Every WinFax page is 200 pixels per inch across.
constexpr int kHorizontalResolution = 200;
int vertical_resolution(uint8_t resolution_code);

struct FaxPage {
    testsupport::Bitmap bitmap;
    testsupport::Coding coding = testsupport::Coding::Group4;
    uint8_t resolution = kFine;
    std::string title;  // the page header's text; the first page's becomes the PDF's /Title
    // A text longer than 79 bytes runs into the header fields at offset 89 and beyond, as in a
    // real header; those fields then hold text bytes (so resolution and chain terms change).
    bool title_over_fields = false;
};

// A page of text-like content.
FaxPage text_page(int width, int height, uint32_t seed,
                  testsupport::Coding coding = testsupport::Coding::Group4,
                  uint8_t resolution = kFine, const std::string& title = {});

// Codes each page with libtiff's encoder (least significant bit first, as WinFax stores it) and
// writes the WinFax file.
bool write_fax_file(const std::string& path, const std::vector<FaxPage>& pages);

// A small two-page fax whose pages differ with the seed.
bool write_small_fax(const std::string& path, uint32_t seed, const std::string& title = "E2E");

// What libtiff's decoder says of a page's damage (its messages, one a line), as the report line
// is to say it: a Group 3 page's damaged lines are the lines libtiff calls bad or of the
// wrong length (an end-of-line code alone is an empty line, not damage); a Group 4 page is
// damaged from the first such line on. Empty when libtiff names none.
std::string libtiff_damage_note(const std::string& messages, bool group4);

// What the line is to say of the lines libtiff's decoder got from a page whose header declares
// `declared` lines, judged by its messages: the data holds the lines up to the one its last
// message names (that one too when part of it decoded). "N of M lines missing" when more than
// a twentieth are missing, else empty.
std::string libtiff_missing_note(const std::string& messages, int declared);

// A folder (made here) of `count` small faxes fax1000.fxs, fax1001.fxs, ...: a run over it takes
// a while. Fails the test when a file cannot be written.
void write_fax_folder(const std::string& folder, int count);

// The PDFs below a folder, as paths relative to it, sorted.
std::vector<std::string> pdfs_below(const std::string& folder);

// The /Title of a PDF, which tells which fax it was made from.
std::string title_of(const std::string& pdf);

// Page count through qpdf, or -1.
int qpdf_page_count(const std::string& pdf);

// The document's /Title as poppler's pdfinfo decodes it (UTF-8), or nothing when absent.
struct PdfSummary {
    bool has_title = false;
    std::string title;
    std::vector<std::pair<double, double>> page_sizes;  // points
};
bool read_pdf_summary(const std::string& pdf, PdfSummary& summary);

// Every check a PDF made from the pages must pass: qpdf --check without warnings, the page count,
// each page's size from its width and resolutions, the first page's text as /Title, and each
// page rendered by Ghostscript at its own resolutions equal, pixel for pixel, to its bitmap.
// Records failures through GoogleTest. Needs the tools of TRELVANE_REQUIRE_PDF_TOOLS.
void expect_pdf_holds(const std::string& pdf, const std::vector<FaxPage>& pages);

}  // namespace trelvane::e2e

// Skips the current test unless qpdf, Ghostscript and pdfinfo are all installed.
#define TRELVANE_REQUIRE_PDF_TOOLS()      \
    do {                                  \
        TRELVANE_REQUIRE_TOOL("qpdf");    \
        TRELVANE_REQUIRE_TOOL("gs");      \
        TRELVANE_REQUIRE_TOOL("pdfinfo"); \
    } while (0)
