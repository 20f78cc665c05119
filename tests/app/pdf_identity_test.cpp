// The PDF of every clean page is what it always was: the bundled samples and generated faxes,
// converted through the copy stage's own codec and through its reference road (libtiff's
// decoder and encoder, the stage as it was), give the same PDF byte for byte, with and
// without the line recount. Both runs read the same intermediate file, so even the dates
// agree; each PDF is written on a fresh thread, so the file identifiers do too.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "faxread/fax_reader.h"
#include "pdfout/pdf_writer.h"
#include "pdfout/tiff_copy.h"
#include "support/bitmap.h"
#include "support/libtiff_codec.h"
#include "support/temp_dir.h"
#include "support/winfax_builder.h"

namespace trelvane::app {
namespace {

namespace fs = std::filesystem;
using testsupport::Bitmap;
using testsupport::Coding;
using testsupport::TempDir;
using testsupport::WinFaxPage;

struct Roads {
    std::string own;
    std::string reference;
    pdfout::TiffCopyReport report;
};

Roads convert_both_roads(const std::string& fax, uint8_t recount) {
    TempDir dir;
    Roads out;
    faxread::FaxReader reader;
    reader.settings().recalculate_lines = recount;
    EXPECT_EQ(reader.open_fax_file(fax, faxread::kFaxTypeWinFax), 0);
    const std::string intermediate = dir.file("in.tif");
    EXPECT_EQ(reader.write_intermediate_tiff(intermediate, faxread::kFaxTypeWinFax), 0);
    pdfout::PdfDocumentInfo info;
    info.title = reader.metadata().title_text;
    for (const bool reference : {false, true}) {
        pdfout::TiffCopyHooks hooks;
        hooks.reference_codec = reference;
        hooks.report = &out.report;
        pdfout::DiagnosticSink sink;
        const std::string normalised = dir.file(reference ? "ref.tif" : "own.tif");
        EXPECT_EQ(pdfout::copy_tiff(intermediate, normalised, {}, "", sink, hooks), 0);
        const std::string pdf = dir.file(reference ? "ref.pdf" : "own.pdf");
        std::thread([&] { pdfout::convert_tiff_to_pdf(normalised, pdf, 0, info); }).join();
        (reference ? out.reference : out.own) = testsupport::read_file(pdf);
    }
    return out;
}

void expect_same_pdf(const std::string& fax) {
    for (const uint8_t recount : {0, 1}) {
        SCOPED_TRACE(fax + (recount ? " with the recount" : ""));
        const Roads roads = convert_both_roads(fax, recount);
        ASSERT_FALSE(roads.own.empty());
        EXPECT_TRUE(roads.own == roads.reference) << "the PDFs differ";
        for (const pdfout::CopiedPage& page : roads.report.pages)
            EXPECT_TRUE(page.decode.clean()) << "page " << page.index;
    }
}

TEST(PdfIdentity, TheBundledSamples) {
    int samples = 0;
    for (const auto& entry :
         fs::directory_iterator(std::string(TRELVANE_SOURCE_DIR) + "/samples")) {
        const std::string name = entry.path().filename().string();
        if (name.size() < 4 || name.compare(name.size() - 4, 3, ".fx") != 0)
            continue;
        expect_same_pdf(entry.path().string());
        ++samples;
    }
    EXPECT_GE(samples, 4);
}

WinFaxPage page_of(const Bitmap& bitmap, Coding coding, uint8_t resolution, uint16_t length) {
    WinFaxPage p;
    p.data = testsupport::libtiff_encode(bitmap, coding, 2);
    p.width = static_cast<uint16_t>(bitmap.width);
    p.length = length;
    p.coding = coding == Coding::Group4 ? 1 : 0;
    p.resolution = resolution;
    p.title = "Identity";
    return p;
}

TEST(PdfIdentity, GeneratedFaxesOfEveryKind) {
    TempDir dir;
    int n = 0;
    for (const int width : {1728, 2048, 2432, 1216}) {
        for (const Coding coding : {Coding::Group3OneDimensional, Coding::Group4}) {
            std::vector<WinFaxPage> pages;
            for (const char* pattern : {"text3", "checker", "startblack", "longruns", "white"}) {
                const Bitmap bitmap = testsupport::make_pattern(pattern, width, 90);
                pages.push_back(page_of(bitmap, coding, static_cast<uint8_t>(n % 3), 90));
                ++n;
            }
            // Header lengths that differ from the coded lines: more (the default 3432), and
            // fewer.
            pages.push_back(page_of(testsupport::text_like(width, 70, 9), coding, 1, 0));
            pages.push_back(page_of(testsupport::text_like(width, 70, 10), coding, 0, 40));
            const std::string fax = dir.file("gen" + std::to_string(n) + ".fxs");
            ASSERT_TRUE(testsupport::write_winfax(fax, pages));
            expect_same_pdf(fax);
        }
    }
}

}  // namespace
}  // namespace trelvane::app
