// The TIFF normalisation stage: Group 4 output, tags kept, layouts, orientation, directory
// lists and failures. Pixels are checked with libtiff's own decoder.
#include "pdfout/tiff_copy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "support/ccitt.h"
#include "support/pdf_tools.h"
#include "support/temp_dir.h"
#include "tiff_fixture.h"

namespace trelvane::pdfout {
namespace {

using test::PageSpec;
using testsupport::Bitmap;
using testsupport::Coding;
using testsupport::TempDir;

struct Closer {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using Tiff = std::unique_ptr<TIFF, Closer>;

// A page as the fax reader's intermediate file holds it: the coded strip, least significant
// bit first, with the writer's tags.
PageSpec fax_page(const Bitmap& bitmap, Coding coding, uint16_t page_number) {
    const testsupport::CodedPage coded = testsupport::encode_page(bitmap, coding, 2);
    PageSpec page;
    page.width = static_cast<uint32_t>(bitmap.width);
    page.height = static_cast<uint32_t>(bitmap.height);
    page.compression = coding == Coding::Group4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3;
    page.raw = coded.data;
    page.fill_order = FILLORDER_LSB2MSB;
    page.x_resolution = 204.0F;
    page.y_resolution = 196.0F;
    page.software = "Corvenna Studio";
    page.date_time = "2009:05:12 10:30:00";
    page.subfile_type = FILETYPE_PAGE;
    page.extra_tags = [coding, page_number](TIFF* t) {
        if (coding == Coding::Group3OneDimensional) {
            TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_FILLBITS);
        }
        TIFFSetField(t, TIFFTAG_PAGENUMBER, page_number, 2);
    };
    return page;
}

const TiffCopyOptions kPipelineOptions{6, 75, 0, -1, 0};

std::vector<Bitmap> read_pages(const std::string& path) {
    std::vector<Bitmap> pages;
    EXPECT_TRUE(testsupport::read_tiff_pages(path, pages));
    return pages;
}

TEST(TiffCopy, GroupThreeAndGroupFourPagesBecomeGroupFourWithTheirTags) {
    TempDir dir;
    const Bitmap one = testsupport::text_like(1728, 300, 1);
    const Bitmap two = testsupport::text_like(1728, 250, 2);
    ASSERT_TRUE(test::write_tiff(
        dir.file("in.tif"),
        {fax_page(one, Coding::Group3OneDimensional, 0), fax_page(two, Coding::Group4, 1)}));
    ASSERT_EQ(copy_tiff(dir.file("in.tif"), dir.file("out.tif"), kPipelineOptions), kCopyOk);

    Tiff in(TIFFOpen(dir.file("in.tif").c_str(), "r"));
    Tiff out(TIFFOpen(dir.file("out.tif").c_str(), "r"));
    ASSERT_TRUE(in && out);
    ASSERT_EQ(TIFFNumberOfDirectories(out.get()), 2u);
    for (tdir_t d = 0; d < 2; ++d) {
        SCOPED_TRACE(d);
        ASSERT_TRUE(TIFFSetDirectory(in.get(), d) && TIFFSetDirectory(out.get(), d));
        uint16_t compression = 0, fill = 0, photometric = 9;
        TIFFGetField(out.get(), TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(out.get(), TIFFTAG_FILLORDER, &fill);
        TIFFGetField(out.get(), TIFFTAG_PHOTOMETRIC, &photometric);
        EXPECT_EQ(compression, COMPRESSION_CCITTFAX4);
        EXPECT_EQ(fill, FILLORDER_LSB2MSB);
        EXPECT_EQ(photometric, PHOTOMETRIC_MINISWHITE);
        EXPECT_EQ(TIFFNumberOfStrips(out.get()), 1u);
        for (ttag_t tag : {TIFFTAG_IMAGEWIDTH, TIFFTAG_IMAGELENGTH, TIFFTAG_SUBFILETYPE}) {
            uint32_t a = 0, b = 1;
            TIFFGetField(in.get(), tag, &a);
            TIFFGetField(out.get(), tag, &b);
            EXPECT_EQ(a, b) << tag;
        }
        for (ttag_t tag : {TIFFTAG_XRESOLUTION, TIFFTAG_YRESOLUTION}) {
            float a = 0, b = 1;
            TIFFGetField(in.get(), tag, &a);
            TIFFGetField(out.get(), tag, &b);
            EXPECT_EQ(a, b) << tag;
        }
        uint16_t unit = 0, page = 9, pages = 9;
        TIFFGetField(out.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
        TIFFGetField(out.get(), TIFFTAG_PAGENUMBER, &page, &pages);
        EXPECT_EQ(unit, RESUNIT_INCH);
        EXPECT_EQ(page, d);
        EXPECT_EQ(pages, 2);
        for (ttag_t tag : {TIFFTAG_SOFTWARE, TIFFTAG_DATETIME}) {
            const char* a = nullptr;
            const char* b = nullptr;
            ASSERT_TRUE(TIFFGetField(in.get(), tag, &a) && TIFFGetField(out.get(), tag, &b));
            EXPECT_STREQ(a, b);
        }
    }
    const std::vector<Bitmap> pages = read_pages(dir.file("out.tif"));
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(testsupport::first_difference(pages[0], one.normalised()), -1);
    EXPECT_EQ(testsupport::first_difference(pages[1], two.normalised()), -1);
}

// tiffdump's view of a file's first directory: tag number -> the rest of its line.
std::map<int, std::string> dump_tags(const std::string& path) {
    std::map<int, std::string> tags;
    std::istringstream lines(testsupport::run_tool({"tiffdump", path}).output);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t open = line.find(" (");
        const size_t close = line.find(") ", open);
        if (open == std::string::npos || close == std::string::npos)
            continue;
        const std::string number = line.substr(open + 2, close - open - 2);
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        tags[std::stoi(number)] = line.substr(close + 2);
    }
    return tags;
}

TEST(TiffCopy, KeepsEveryTagOfTheCommonTable) {
    TRELVANE_REQUIRE_TOOL("tiffdump");
    TempDir dir;
    PageSpec page;  // gray with alpha, so that ExtraSamples is meaningful
    page.width = 8;
    page.height = 4;
    page.compression = COMPRESSION_NONE;
    page.photometric = PHOTOMETRIC_MINISBLACK;
    page.bits_per_sample = 8;
    page.samples_per_pixel = 2;
    page.raw = test::pattern_bytes(64);
    page.extra_tags = [](TIFF* t) {
        static float white[2] = {0.3127F, 0.329F};
        static float primaries[6] = {0.64F, 0.33F, 0.3F, 0.6F, 0.15F, 0.06F};
        static float coefficients[3] = {0.299F, 0.587F, 0.114F};
        static float black_white[6] = {0, 255, 128, 255, 128, 255};
        static uint16_t extra[1] = {EXTRASAMPLE_ASSOCALPHA};
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(t, TIFFTAG_THRESHHOLDING, THRESHHOLD_HALFTONE);
        for (ttag_t tag : {TIFFTAG_DOCUMENTNAME, TIFFTAG_IMAGEDESCRIPTION, TIFFTAG_MAKE,
                           TIFFTAG_MODEL, TIFFTAG_PAGENAME, TIFFTAG_SOFTWARE, TIFFTAG_ARTIST,
                           TIFFTAG_HOSTCOMPUTER, TIFFTAG_TARGETPRINTER}) {
            TIFFSetField(t, tag, ("text " + std::to_string(tag)).c_str());
        }
        TIFFSetField(t, TIFFTAG_DATETIME, "2009:05:12 10:30:00");
        TIFFSetField(t, TIFFTAG_MINSAMPLEVALUE, 3);
        TIFFSetField(t, TIFFTAG_MAXSAMPLEVALUE, 250);
        TIFFSetField(t, TIFFTAG_XPOSITION, 1.5);
        TIFFSetField(t, TIFFTAG_YPOSITION, 2.25);
        TIFFSetField(t, TIFFTAG_WHITEPOINT, white);
        TIFFSetField(t, TIFFTAG_PRIMARYCHROMATICITIES, primaries);
        TIFFSetField(t, TIFFTAG_HALFTONEHINTS, 10, 240);
        TIFFSetField(t, TIFFTAG_INKSET, INKSET_MULTIINK);
        TIFFSetField(t, TIFFTAG_DOTRANGE, 5, 250);
        TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
        TIFFSetField(t, TIFFTAG_YCBCRCOEFFICIENTS, coefficients);
        TIFFSetField(t, TIFFTAG_YCBCRSUBSAMPLING, 2, 1);
        TIFFSetField(t, TIFFTAG_YCBCRPOSITIONING, YCBCRPOSITION_COSITED);
        TIFFSetField(t, TIFFTAG_REFERENCEBLACKWHITE, black_white);
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
        TIFFSetField(t, TIFFTAG_SMINSAMPLEVALUE, 2.0);
        TIFFSetField(t, TIFFTAG_SMAXSAMPLEVALUE, 251.0);
        TIFFSetField(t, TIFFTAG_STONITS, 0.75);
    };
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {page}));
    TiffCopyOptions keep = kPipelineOptions;
    keep.compression_choice = -1;  // keep the input's compression
    ASSERT_EQ(copy_tiff(dir.file("in.tif"), dir.file("out.tif"), keep), kCopyOk);

    const std::map<int, std::string> in = dump_tags(dir.file("in.tif"));
    const std::map<int, std::string> out = dump_tags(dir.file("out.tif"));
    const int table[] = {254, 263, 269, 270, 271, 272, 280, 281, 282, 283, 285,
                         286, 287, 296, 305, 306, 315, 316, 318, 319, 321, 332,
                         336, 337, 339, 529, 530, 531, 532, 338, 340, 341, 37439};
    for (int tag : table) {
        ASSERT_TRUE(in.count(tag)) << "the input lacks tag " << tag;
        ASSERT_TRUE(out.count(tag)) << "tag " << tag << " was lost";
        EXPECT_EQ(in.at(tag), out.at(tag)) << "tag " << tag;
    }
}

TEST(TiffCopy, WithoutRowsPerStripThePageIsCopiedRowByRow) {
    TempDir dir;
    PageSpec page;
    page.bitmap = testsupport::text_like(1728, 200, 3);
    page.width = 1728;
    page.height = 200;
    page.compression = COMPRESSION_NONE;
    page.omit_rows_per_strip = true;
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {page}));
    ASSERT_EQ(copy_tiff(dir.file("in.tif"), dir.file("out.tif"), kPipelineOptions), kCopyOk);
    Tiff out(TIFFOpen(dir.file("out.tif").c_str(), "r"));
    ASSERT_TRUE(out);
    uint32_t rows = 0;
    TIFFGetField(out.get(), TIFFTAG_ROWSPERSTRIP, &rows);
    EXPECT_GT(rows, 0u);
    EXPECT_LT(rows, 200u);  // the library's default strip size, not the whole page
    EXPECT_GT(TIFFNumberOfStrips(out.get()), 1u);
    const std::vector<Bitmap> pages = read_pages(dir.file("out.tif"));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(testsupport::first_difference(pages[0], page.bitmap->normalised()), -1);
}

TEST(TiffCopy, OrientationIsNormalisedWithAWarning) {
    const struct {
        uint16_t in, out;
        const char* warning;
    } cases[] = {{1, 1, nullptr},
                 {2, 1, "using top-left orientation"},
                 {3, 4, "using bottom-left orientation"},
                 {4, 4, nullptr},
                 {5, 5, nullptr},
                 {6, 1, "using top-left orientation"},
                 {7, 4, "using bottom-left orientation"},
                 {8, 8, nullptr}};
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        PageSpec page = fax_page(testsupport::checkerboard(64, 16, 4), Coding::Group4, 0);
        page.orientation = c.in;
        ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {page}));
        DiagnosticSink sink(8);
        ASSERT_EQ(copy_tiff(dir.file("in.tif"), dir.file("out.tif"), kPipelineOptions, {}, sink),
                  kCopyOk);
        Tiff out(TIFFOpen(dir.file("out.tif").c_str(), "r"));
        uint16_t orientation = 0;
        TIFFGetFieldDefaulted(out.get(), TIFFTAG_ORIENTATION, &orientation);
        EXPECT_EQ(orientation, c.out);
        if (c.warning) {
            EXPECT_TRUE(sink.saw(DiagnosticSink::Kind::kWarning, c.warning));
            EXPECT_EQ(sink.messages().back().module, dir.file("in.tif"));
        } else {
            EXPECT_EQ(sink.warning_count(), 0u);
        }
    }
}

TEST(TiffCopy, DamagedDataNearTheEndStillSucceeds) {
    TempDir dir;
    const Bitmap bitmap = testsupport::text_like(1728, 400, 4);
    PageSpec page = fax_page(bitmap, Coding::Group4, 0);
    ASSERT_GT(page.raw.size(), 100u);
    for (size_t i = page.raw.size() - 40; i < page.raw.size(); ++i)
        page.raw[i] = 0x00;
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {page, fax_page(bitmap, Coding::Group4, 1)}));
    ASSERT_EQ(copy_tiff(dir.file("in.tif"), dir.file("out.tif"), kPipelineOptions), kCopyOk);
    const std::vector<Bitmap> pages = read_pages(dir.file("out.tif"));
    ASSERT_EQ(pages.size(), 2u);
    // The rows before the damage survive; the undamaged page is whole.
    EXPECT_GT(testsupport::first_difference(pages[0], bitmap.normalised()), 100);
    EXPECT_EQ(testsupport::first_difference(pages[1], bitmap.normalised()), -1);
}

TEST(TiffCopy, FilesThatCannotBeOpenedGiveTheirResults) {
    TempDir dir;
    EXPECT_EQ(copy_tiff(dir.file("missing.tif"), dir.file("out.tif"), kPipelineOptions),
              kCopyInputFailed);
    EXPECT_TRUE(std::filesystem::exists(dir.file("out.tif")));  // created before the input
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"),
                                 {fax_page(testsupport::all_black(64, 8), Coding::Group4, 0)}));
    EXPECT_EQ(copy_tiff(dir.file("in.tif"), dir.file("no/folder/out.tif"), kPipelineOptions),
              kCopyOutputFailed);
    ASSERT_TRUE(testsupport::write_file(dir.file("text.tif"), "not a tiff at all"));
    EXPECT_EQ(copy_tiff(dir.file("text.tif"), dir.file("out.tif"), kPipelineOptions),
              kCopyInputFailed);
}

TEST(TiffCopy, ACommaInTheFolderNameIsJustPartOfThePath) {
    TempDir dir;
    const std::string folder = dir.file("fax,temp");
    std::filesystem::create_directory(folder);
    const Bitmap bitmap = testsupport::text_like(256, 64, 5);
    ASSERT_TRUE(test::write_tiff(folder + "/in.tif", {fax_page(bitmap, Coding::Group4, 0)}));
    ASSERT_EQ(copy_tiff(folder + "/in.tif", folder + "/out.tif", kPipelineOptions), kCopyOk);
    const std::vector<Bitmap> pages = read_pages(folder + "/out.tif");
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(testsupport::first_difference(pages[0], bitmap.normalised()), -1);
}

TEST(TiffCopy, DirectoryListsPickPages) {
    TempDir dir;
    std::vector<PageSpec> input;
    std::vector<Bitmap> bitmaps;
    for (int i = 0; i < 4; ++i) {
        bitmaps.push_back(testsupport::checkerboard(64, 8 + i, 1 + i));
        input.push_back(fax_page(bitmaps.back(), Coding::Group4, static_cast<uint16_t>(i)));
    }
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), input));
    const struct {
        const char* list;
        int result;
        std::vector<int> pages;
    } cases[] = {
        {"", kCopyOk, {0, 1, 2, 3}},  {",", kCopyOk, {0, 1, 2, 3}}, {"2", kCopyOk, {2}},
        {"0,3", kCopyOk, {0, 3}},     {"1,", kCopyOk, {1, 2, 3}},   {"0x2,1", kCopyOk, {2, 1}},
        {"03", kCopyOk, {3}},         {"1,9", kCopyOk, {1}},        {"010", kCopyInputFailed, {}},
        {"9", kCopyInputFailed, {}},  {"1x", kCopyInputFailed, {}}, {"1,,2", kCopyOk, {1, 1, 2}},
        {"-1", kCopyInputFailed, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list);
        std::filesystem::remove(dir.file("out.tif"));
        const int result =
            copy_tiff(dir.file("in.tif"), dir.file("out.tif"), kPipelineOptions, c.list);
        EXPECT_EQ(result, c.result);
        if (result != kCopyOk)
            continue;
        std::vector<Bitmap> pages;
        testsupport::read_tiff_pages(dir.file("out.tif"), pages);
        ASSERT_EQ(pages.size(), c.pages.size());
        for (size_t i = 0; i < pages.size(); ++i) {
            EXPECT_EQ(pages[i], bitmaps[static_cast<size_t>(c.pages[i])].normalised()) << i;
        }
    }
}

TEST(TiffCopy, TiledInputIsRefusedCleanly) {
    TempDir dir;
    {
        Tiff t(TIFFOpen(dir.file("tiled.tif").c_str(), "w"));
        ASSERT_TRUE(t);
        TIFFSetField(t.get(), TIFFTAG_IMAGEWIDTH, 32);
        TIFFSetField(t.get(), TIFFTAG_IMAGELENGTH, 32);
        TIFFSetField(t.get(), TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t.get(), TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(t.get(), TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(t.get(), TIFFTAG_TILELENGTH, 16);
        std::vector<uint8_t> tile(256, 0x40);
        for (ttile_t i = 0; i < 4; ++i) {
            ASSERT_GE(TIFFWriteEncodedTile(t.get(), i, tile.data(), 256), 0);
        }
    }
    DiagnosticSink sink(8);
    EXPECT_EQ(copy_tiff(dir.file("tiled.tif"), dir.file("out.tif"), kPipelineOptions, {}, sink),
              kCopyDirectoryFailed);
    EXPECT_TRUE(sink.saw(DiagnosticSink::Kind::kError, "Don't know how to copy/convert image"));
}

TEST(TiffCopy, NonBilevelPageCannotBecomeGroupFour) {
    TempDir dir;
    PageSpec gray;
    gray.width = 16;
    gray.height = 4;
    gray.compression = COMPRESSION_NONE;
    gray.photometric = PHOTOMETRIC_MINISBLACK;
    gray.bits_per_sample = 8;
    gray.raw = test::pattern_bytes(64);
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {gray}));
    DiagnosticSink sink(8);
    EXPECT_EQ(copy_tiff(dir.file("in.tif"), dir.file("out.tif"), kPipelineOptions, {}, sink),
              kCopyDirectoryFailed);
    EXPECT_GT(sink.error_count(), 0u);
}

// Sets the ImageLength of the file's directory `page` (from 0) to `length` in place: a
// directory the library then refuses to read. The file is little-endian, as write_tiff makes it.
bool patch_image_length(const std::string& path, int page, uint32_t length) {
    std::string bytes = testsupport::read_file(path);
    auto u16 = [&](size_t at) {
        return uint32_t(uint8_t(bytes[at])) | uint8_t(bytes[at + 1]) << 8;
    };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    if (bytes.size() < 8 || bytes[0] != 'I')
        return false;
    size_t ifd = u32(4);
    for (int i = 0; i < page; ++i)
        ifd = u32(ifd + 2 + 12 * u16(ifd));
    for (uint32_t e = 0; e < u16(ifd); ++e) {
        const size_t entry = ifd + 2 + 12 * e;
        if (u16(entry) != TIFFTAG_IMAGELENGTH)
            continue;
        const uint16_t type = static_cast<uint16_t>(u16(entry + 2));
        for (int b = 0; b < (type == TIFF_SHORT ? 2 : 4); ++b)
            bytes[entry + 8 + b] = static_cast<char>(length >> (8 * b));
        return testsupport::write_file(path, bytes);
    }
    return false;
}

// A page the library cannot read, and one of a size it will not copy, are left out and
// reported; the pages around them are copied whole. Without a report to say so the run fails
// rather than lose a page unheard.
TEST(TiffCopy, PagesTheLibraryRefusesAreLeftOutAndTheRestCopied) {
    TempDir dir;
    const Bitmap first = testsupport::text_like(1728, 80, 1);
    const Bitmap last = testsupport::text_like(1728, 60, 4);
    PageSpec huge = fax_page(testsupport::text_like(64, 8, 3), Coding::Group4, 2);
    huge.width = 65535;
    huge.height = 65535;
    huge.raw = {0x00, 0x08, 0x80};  // an end-of-facsimile block
    ASSERT_TRUE(test::write_tiff(
        dir.file("in.tif"), {fax_page(first, Coding::Group4, 0),
                             fax_page(testsupport::text_like(1728, 40, 2), Coding::Group4, 1), huge,
                             fax_page(last, Coding::Group3OneDimensional, 3)}));
    ASSERT_TRUE(patch_image_length(dir.file("in.tif"), 1, 0));

    TiffCopyReport report;
    TiffCopyHooks hooks;
    hooks.report = &report;
    DiagnosticSink sink;
    test::on_fresh_thread([&] {
        EXPECT_EQ(
            copy_tiff(dir.file("in.tif"), dir.file("out.tif"), kPipelineOptions, {}, sink, hooks),
            kCopyOk);
    });
    const std::vector<Bitmap> pages = read_pages(dir.file("out.tif"));
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_TRUE(pages[0] == first);
    EXPECT_TRUE(pages[1] == last);
    std::map<uint32_t, bool> left_out;
    for (const CopiedPage& p : report.pages)
        left_out[p.index] = p.left_out;
    EXPECT_EQ(left_out, (std::map<uint32_t, bool>{{0, false}, {1, true}, {2, true}, {3, false}}));

    // The huge page alone, without a report.
    ASSERT_TRUE(test::write_tiff(dir.file("huge.tif"), {fax_page(first, Coding::Group4, 0), huge}));
    test::on_fresh_thread([&] {
        EXPECT_EQ(copy_tiff(dir.file("huge.tif"), dir.file("out2.tif"), kPipelineOptions),
                  kCopyDirectoryFailed);
    });
}

}  // namespace
}  // namespace trelvane::pdfout
