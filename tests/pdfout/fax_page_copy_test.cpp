// The copy stage's own codec road against its reference road (libtiff decoding and encoding):
// the same output, byte for byte, for clean and damaged pages alike (except where libtiff
// overflows a line's runs), the same PDF, a report of what each page met, and the decoded
// pages handed to an observer.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "pdfout/pdf_writer.h"
#include "pdfout/tiff_copy.h"
#include "support/bitmap.h"
#include "support/ccitt.h"
#include "support/libtiff_codec.h"
#include "support/temp_dir.h"
#include "tiff_fixture.h"

namespace trelvane::pdfout {
namespace {

using test::PageSpec;
using testsupport::Bitmap;
using testsupport::Coding;
using testsupport::TempDir;

const TiffCopyOptions kPipelineOptions{6, 75, 0, -1, 0};

// A page as the fax reader's intermediate file holds it.
PageSpec fax_page(std::vector<uint8_t> coded, int width, int height, Coding coding,
                  uint16_t page_number, uint16_t fill_order = FILLORDER_LSB2MSB) {
    PageSpec page;
    page.width = static_cast<uint32_t>(width);
    page.height = static_cast<uint32_t>(height);
    page.compression = coding == Coding::Group4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3;
    page.raw = std::move(coded);
    page.fill_order = fill_order;
    page.x_resolution = 200.0F;
    page.y_resolution = page_number % 2 ? 98.0F : 196.0F;
    page.software = "Corvenna Studio";
    page.date_time = "2011:03:04 05:06:07";
    page.subfile_type = FILETYPE_PAGE;
    page.extra_tags = [coding, page_number](TIFF* t) {
        if (coding == Coding::Group3OneDimensional)
            TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_FILLBITS);
        TIFFSetField(t, TIFFTAG_PAGENUMBER, page_number, 0);
    };
    return page;
}

PageSpec fax_page(const Bitmap& bitmap, Coding coding, uint16_t page_number,
                  uint16_t fill_order = FILLORDER_LSB2MSB) {
    return fax_page(testsupport::libtiff_encode(bitmap, coding, fill_order), bitmap.width,
                    bitmap.height, coding, page_number, fill_order);
}

struct Closer {
    void operator()(TIFF* t) const { TIFFClose(t); }
};

// Every directory's tags (as tiffinfo would list them) and raw strips.
std::string describe(const std::string& path) {
    std::unique_ptr<TIFF, Closer> t(TIFFOpen(path.c_str(), "r"));
    if (!t)
        return "cannot open";
    std::string text;
    do {
        uint32_t width = 0, length = 0, rows = 0;
        uint16_t compression = 0, fill = 0, photometric = 0, page = 0, pages = 0;
        float xres = 0, yres = 0;
        TIFFGetField(t.get(), TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(t.get(), TIFFTAG_IMAGELENGTH, &length);
        TIFFGetField(t.get(), TIFFTAG_ROWSPERSTRIP, &rows);
        TIFFGetField(t.get(), TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(t.get(), TIFFTAG_FILLORDER, &fill);
        TIFFGetField(t.get(), TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetField(t.get(), TIFFTAG_PAGENUMBER, &page, &pages);
        TIFFGetField(t.get(), TIFFTAG_XRESOLUTION, &xres);
        TIFFGetField(t.get(), TIFFTAG_YRESOLUTION, &yres);
        text += std::to_string(width) + "x" + std::to_string(length) + " rows " +
                std::to_string(rows) + " c" + std::to_string(compression) + " f" +
                std::to_string(fill) + " p" + std::to_string(photometric) + " page " +
                std::to_string(page) + " res " + std::to_string(xres) + "/" + std::to_string(yres) +
                " strips " + std::to_string(TIFFNumberOfStrips(t.get()));
        uint64_t* counts = nullptr;
        if (TIFFGetField(t.get(), TIFFTAG_STRIPBYTECOUNTS, &counts) && counts) {
            std::vector<uint8_t> raw(static_cast<size_t>(counts[0]));
            TIFFReadRawStrip(t.get(), 0, raw.data(), static_cast<tmsize_t>(raw.size()));
            text += " strip " + std::string(raw.begin(), raw.end());
        }
        text += "\n";
    } while (TIFFReadDirectory(t.get()));
    return text;
}

struct Copied {
    int result = -1;
    std::string tiff;  // describe() of the output
    std::string pdf;
    TiffCopyReport report;
};

Copied copy_both_ways(const std::vector<PageSpec>& pages, bool reference) {
    TempDir dir;
    Copied out;
    EXPECT_TRUE(test::write_tiff(dir.file("in.tif"), pages));
    TiffCopyHooks hooks;
    hooks.reference_codec = reference;
    hooks.report = &out.report;
    DiagnosticSink sink;
    out.result =
        copy_tiff(dir.file("in.tif"), dir.file("out.tif"), kPipelineOptions, "", sink, hooks);
    if (out.result != kCopyOk)
        return out;
    out.tiff = describe(dir.file("out.tif"));
    // A fresh thread gives both roads' PDFs the same file identifier.
    test::on_fresh_thread(
        [&] { convert_tiff_to_pdf(dir.file("out.tif"), dir.file("out.pdf"), 0, {}); });
    out.pdf = testsupport::read_file(dir.file("out.pdf"));
    return out;
}

std::string first_different_line(const std::string& a, const std::string& b) {
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        ++at;
    const size_t start = a.rfind('\n', at) == std::string::npos ? 0 : a.rfind('\n', at) + 1;
    return a.substr(start, 80) + "\n" + b.substr(start, 80);
}

void expect_same_both_ways(const std::vector<PageSpec>& pages) {
    const Copied own = copy_both_ways(pages, false);
    const Copied reference = copy_both_ways(pages, true);
    ASSERT_EQ(own.result, kCopyOk);
    ASSERT_EQ(reference.result, kCopyOk);
    EXPECT_TRUE(own.tiff == reference.tiff) << "the normalised TIFF files differ:\n"
                                            << first_different_line(own.tiff, reference.tiff);
    EXPECT_FALSE(own.pdf.empty());
    EXPECT_TRUE(own.pdf == reference.pdf) << "the PDFs differ";
    EXPECT_EQ(own.report.pages.size(), pages.size());
    EXPECT_TRUE(reference.report.pages.empty());
}

TEST(FaxPageCopy, CleanPagesGiveTheReferenceRoadsFilesByteForByte) {
    std::vector<PageSpec> pages;
    uint16_t n = 0;
    for (const int w : {1728, 2048, 2432, 1, 9, 64, 1000}) {
        for (const Coding coding : {Coding::Group3OneDimensional, Coding::Group4}) {
            for (const uint16_t fill : {FILLORDER_LSB2MSB, FILLORDER_MSB2LSB}) {
                pages.push_back(fax_page(testsupport::text_like(w, 60, n), coding, n, fill));
                ++n;
                // Random rows may hold more runs than libtiff keeps in a line (that is the
                // one difference, tested below); those pages are left out here.
                const Bitmap random = testsupport::random_page(w, 30, n);
                const std::vector<uint8_t> coded =
                    testsupport::libtiff_encode(random, coding, fill);
                if (!testsupport::libtiff_decode(coded, w, 30, coding, fill).overflowed())
                    pages.push_back(fax_page(random, coding, n, fill));
                ++n;
            }
        }
    }
    ASSERT_GT(pages.size(), 50u);
    expect_same_both_ways(pages);
    // Header lengths beyond the coded lines: the rows after them are white on both roads.
    PageSpec longer = fax_page(testsupport::text_like(1728, 50, 1), Coding::Group4, 0);
    longer.height = 3432;
    PageSpec shorter =
        fax_page(testsupport::text_like(1728, 50, 2), Coding::Group3OneDimensional, 1);
    shorter.height = 20;
    expect_same_both_ways({longer, shorter});
}

TEST(FaxPageCopy, DamagedPagesKeepTheReferenceRoadsPicture) {
    std::mt19937 random(21);
    for (int trial = 0; trial < 40; ++trial) {
        std::vector<PageSpec> pages;
        for (uint16_t i = 0; i < 4; ++i) {
            const Coding coding = (trial + i) % 2 ? Coding::Group4 : Coding::Group3OneDimensional;
            const int w = i == 0 ? 1728 : 1 + static_cast<int>(random() % 2000);
            std::vector<uint8_t> data =
                testsupport::libtiff_encode(testsupport::text_like(w, 80, random()), coding, 2);
            if (random() % 2) {
                // (At least a byte: the fixture cannot write an empty strip.)
                data.resize(1 + random() % data.size());
            } else {
                for (int f = 0; f < 3; ++f)
                    data[random() % data.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
            }
            if (testsupport::libtiff_decode(data, w, 80, coding, 2).overflowed())
                continue;
            pages.push_back(fax_page(std::move(data), w, 80, coding, i));
        }
        SCOPED_TRACE(trial);
        expect_same_both_ways(pages);
    }
}

TEST(FaxPageCopy, TheReportSaysWhatEachPageMet) {
    const Bitmap page = testsupport::text_like(1728, 80, 3);
    std::vector<uint8_t> damaged =
        testsupport::libtiff_encode(page, Coding::Group3OneDimensional, 2);
    damaged[damaged.size() / 3] = 0x00;
    // Cut inside a line of a page with content on every line.
    std::vector<uint8_t> cut =
        testsupport::libtiff_encode(testsupport::random_page(1728, 80, 5), Coding::Group4, 2);
    cut.resize(cut.size() / 2);
    const Copied c = copy_both_ways({fax_page(page, Coding::Group4, 0),
                                     fax_page(damaged, 1728, 80, Coding::Group3OneDimensional, 1),
                                     fax_page(cut, 1728, 80, Coding::Group4, 2)},
                                    false);
    ASSERT_EQ(c.result, kCopyOk);
    ASSERT_EQ(c.report.pages.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(c.report.pages[i].index, i);
    EXPECT_TRUE(c.report.pages[0].decode.clean());
    EXPECT_EQ(c.report.pages[1].decode.damaged_rows, 1u);
    EXPECT_FALSE(c.report.pages[1].decode.cut_short);
    EXPECT_TRUE(c.report.pages[2].decode.cut_short);
    EXPECT_EQ(c.report.pages[2].decode.coding, faxcodec::StripCoding::kGroup4);
}

TEST(FaxPageCopy, ALineOfTheMostRunsKeepsItsPageWhole) {
    // libtiff stops a 1728-pixel Group 3 page at such a line and leaves the rest white.
    const Bitmap page = testsupport::with_most_runs(testsupport::text_like(1728, 40, 8), {12});
    const std::vector<uint8_t> coded =
        testsupport::libtiff_encode(page, Coding::Group3OneDimensional, 2);
    ASSERT_TRUE(
        testsupport::libtiff_decode(coded, 1728, 40, Coding::Group3OneDimensional, 2).overflowed());
    TempDir dir;
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"),
                                 {fax_page(coded, 1728, 40, Coding::Group3OneDimensional, 0)}));
    TiffCopyReport report;
    TiffCopyHooks hooks;
    hooks.report = &report;
    DiagnosticSink sink;
    ASSERT_EQ(copy_tiff(dir.file("in.tif"), dir.file("out.tif"), kPipelineOptions, "", sink, hooks),
              kCopyOk);
    std::vector<Bitmap> out;
    ASSERT_TRUE(testsupport::read_tiff_pages(dir.file("out.tif"), out));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(testsupport::first_difference(out[0], page), -1);
    ASSERT_EQ(report.pages.size(), 1u);
    EXPECT_TRUE(report.pages[0].decode.clean());
}

class Keeper : public PageObserver {
  public:
    std::vector<DecodedPage> pages;
    std::vector<Bitmap> bitmaps;
    void page_decoded(const DecodedPage& page) override {
        pages.push_back(page);
        Bitmap b(static_cast<int>(page.width), static_cast<int>(page.height));
        EXPECT_EQ(page.rows.size(), b.bits.size());
        std::copy(page.rows.begin(), page.rows.end(), b.bits.begin());
        bitmaps.push_back(b);
    }
};

TEST(FaxPageCopy, AnObserverSeesEveryPageDecodedInOrder) {
    const Bitmap one = testsupport::text_like(1728, 70, 1);
    const Bitmap two = testsupport::random_page(2048, 33, 2);
    TempDir dir;
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"),
                                 {fax_page(one, Coding::Group3OneDimensional, 0),
                                  fax_page(two, Coding::Group4, 1, FILLORDER_MSB2LSB)}));
    Keeper keeper;
    TiffCopyHooks hooks;
    hooks.observer = &keeper;
    DiagnosticSink sink;
    ASSERT_EQ(copy_tiff(dir.file("in.tif"), dir.file("out.tif"), kPipelineOptions, "", sink, hooks),
              kCopyOk);
    ASSERT_EQ(keeper.pages.size(), 2u);
    EXPECT_EQ(keeper.pages[0].index, 0u);
    EXPECT_EQ(keeper.pages[1].index, 1u);
    EXPECT_EQ(keeper.pages[1].width, 2048u);
    EXPECT_EQ(keeper.pages[1].height, 33u);
    EXPECT_EQ(keeper.pages[1].row_bytes, 256u);
    EXPECT_FLOAT_EQ(keeper.pages[0].y_resolution, 196.0F);
    EXPECT_FLOAT_EQ(keeper.pages[1].y_resolution, 98.0F);
    EXPECT_EQ(keeper.pages[1].resolution_unit, RESUNIT_INCH);
    EXPECT_EQ(testsupport::first_difference(keeper.bitmaps[0], one), -1);
    EXPECT_EQ(testsupport::first_difference(keeper.bitmaps[1], two), -1);
    // What was handed over is what was written.
    std::vector<Bitmap> out;
    ASSERT_TRUE(testsupport::read_tiff_pages(dir.file("out.tif"), out));
    EXPECT_EQ(testsupport::first_difference(out[1], two), -1);
}

}  // namespace
}  // namespace trelvane::pdfout
