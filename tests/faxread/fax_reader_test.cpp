// Reading whole WinFax files through FaxReader, with libtiff as the judge of the intermediate
// TIFF file: its tags, its strips (the WinFax bytes unchanged) and the pages they decode to.
#include "faxread/fax_reader.h"
#include "faxread/winfax_reader.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "faxread_test_util.h"
#include "support/bitmap.h"
#include "support/ccitt.h"
#include "support/libtiff_codec.h"
#include "support/temp_dir.h"
#include "support/winfax_builder.h"

namespace trelvane::faxread {
namespace {

using test::fixed_time;
using test::parse_tiff_chain;
using test::winfax_page;
using testsupport::Bitmap;
using testsupport::Coding;
using testsupport::encode_page;
using testsupport::read_file;
using testsupport::TempDir;
using testsupport::WinFaxPage;
using testsupport::write_winfax;

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

struct Source {
    Bitmap bitmap;
    Coding coding;
    uint8_t resolution_code;
    uint16_t lines_per_inch;
};

std::vector<Source> mixed_sources() {
    return {
        {testsupport::text_like(1728, 300, 1), Coding::Group3OneDimensional, 0, 100},
        {testsupport::text_like(1728, 420, 2), Coding::Group4, 1, 200},
        {testsupport::checkerboard(1728, 64, 8), Coding::Group4, 2, 400},
        {testsupport::first_line_black(1728, 50), Coding::Group3OneDimensional, 255, 400},
    };
}

WinFaxPage page_from(const Bitmap& bitmap, Coding coding, uint8_t resolution = 0) {
    return winfax_page(encode_page(bitmap, coding, 2), resolution);
}

// Opens and converts the file the way the pipeline does.
int convert(const std::string& fax, const std::string& tiff, uint8_t recount = 0,
            uint8_t page_file_mode = 0) {
    FaxReader r;
    r.settings().recalculate_lines = recount;
    r.settings().page_file_mode = page_file_mode;
    r.set_time_source(fixed_time);
    r.open_fax_file(fax, 11);
    if (!r.is_fax())
        return 1;
    return r.write_intermediate_tiff(tiff, 11);
}

TEST(IntermediateTiff, LibtiffFindsEveryPageWithItsBytesAndPixels) {
    TempDir dir;
    const std::vector<Source> sources = mixed_sources();
    std::vector<WinFaxPage> pages;
    for (const Source& s : sources)
        pages.push_back(page_from(s.bitmap, s.coding, s.resolution_code));
    const std::string fax = dir.file("mixed.fxd");
    ASSERT_TRUE(write_winfax(fax, pages));

    for (uint8_t recount : {0, 1}) {
        SCOPED_TRACE(static_cast<int>(recount));
        const std::string tiff = dir.file("inter.tif");
        ASSERT_EQ(convert(fax, tiff, recount), 0);
        TiffPtr t(TIFFOpen(tiff.c_str(), "r"));
        ASSERT_TRUE(t);
        ASSERT_EQ(TIFFNumberOfDirectories(t.get()), sources.size());
        for (size_t i = 0; i < sources.size(); ++i) {
            SCOPED_TRACE(i);
            ASSERT_TRUE(TIFFSetDirectory(t.get(), static_cast<tdir_t>(i)));
            uint32_t width = 0, length = 0, rows = 0;
            uint16_t compression = 0, fill = 0, photometric = 9, unit = 0, page = 0, total = 0;
            float xres = 0, yres = 0;
            TIFFGetField(t.get(), TIFFTAG_IMAGEWIDTH, &width);
            TIFFGetField(t.get(), TIFFTAG_IMAGELENGTH, &length);
            TIFFGetField(t.get(), TIFFTAG_ROWSPERSTRIP, &rows);
            TIFFGetField(t.get(), TIFFTAG_COMPRESSION, &compression);
            TIFFGetField(t.get(), TIFFTAG_FILLORDER, &fill);
            TIFFGetField(t.get(), TIFFTAG_PHOTOMETRIC, &photometric);
            TIFFGetField(t.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
            TIFFGetField(t.get(), TIFFTAG_XRESOLUTION, &xres);
            TIFFGetField(t.get(), TIFFTAG_YRESOLUTION, &yres);
            TIFFGetField(t.get(), TIFFTAG_PAGENUMBER, &page, &total);
            EXPECT_EQ(width, 1728u);
            EXPECT_EQ(length, static_cast<uint32_t>(sources[i].bitmap.height));
            EXPECT_EQ(rows, length);
            EXPECT_EQ(compression, sources[i].coding == Coding::Group4 ? COMPRESSION_CCITTFAX4
                                                                       : COMPRESSION_CCITTFAX3);
            if (sources[i].coding != Coding::Group4) {
                uint32_t options = 0;
                TIFFGetField(t.get(), TIFFTAG_GROUP3OPTIONS, &options);
                EXPECT_EQ(options, static_cast<uint32_t>(GROUP3OPT_FILLBITS));
            }
            EXPECT_EQ(fill, FILLORDER_LSB2MSB);
            EXPECT_EQ(photometric, PHOTOMETRIC_MINISWHITE);
            EXPECT_EQ(unit, RESUNIT_INCH);
            EXPECT_EQ(xres, 200.0f);
            EXPECT_EQ(yres, static_cast<float>(sources[i].lines_per_inch));
            EXPECT_EQ(page, i);
            EXPECT_EQ(total, sources.size());
            std::vector<uint8_t> raw(pages[i].data.size() + 16);
            const tmsize_t got =
                TIFFReadRawStrip(t.get(), 0, raw.data(), static_cast<tmsize_t>(raw.size()));
            ASSERT_EQ(got, static_cast<tmsize_t>(pages[i].data.size()));
            raw.resize(static_cast<size_t>(got));
            EXPECT_EQ(raw, pages[i].data);
        }
        std::vector<Bitmap> decoded;
        ASSERT_TRUE(testsupport::read_tiff_pages(tiff, decoded));
        ASSERT_EQ(decoded.size(), sources.size());
        for (size_t i = 0; i < sources.size(); ++i) {
            EXPECT_EQ(testsupport::first_difference(decoded[i], sources[i].bitmap), -1) << i;
        }
    }
}

// Line counts written for pages whose header and data disagree.
struct RecountCase {
    const char* name;
    Coding coding;
    int data_lines;   // lines actually coded
    uint16_t header;  // lines the header claims
    uint8_t recount;
    uint32_t expected;  // ImageLength written
};

class Recount : public ::testing::TestWithParam<RecountCase> {};

TEST_P(Recount, LengthWritten) {
    const RecountCase& c = GetParam();
    TempDir dir;
    WinFaxPage p = page_from(testsupport::text_like(1728, c.data_lines, 5), c.coding);
    p.length = c.header;
    const std::string fax = dir.file("r.fxd");
    ASSERT_TRUE(write_winfax(fax, {p}));
    const std::string tiff = dir.file("r.tif");
    ASSERT_EQ(convert(fax, tiff, c.recount), 0);
    const auto chain = parse_tiff_chain(read_file(tiff));
    ASSERT_EQ(chain.size(), 1u);
    EXPECT_EQ(chain[0].find(TIFFTAG_IMAGELENGTH)->value, c.expected);
    EXPECT_EQ(chain[0].find(TIFFTAG_ROWSPERSTRIP)->value, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, Recount,
    ::testing::Values(RecountCase{"G3Fewer", Coding::Group3OneDimensional, 1100, 2200, 1, 1100},
                      RecountCase{"G4Fewer", Coding::Group4, 1100, 2200, 1, 1100},
                      RecountCase{"G3More", Coding::Group3OneDimensional, 1100, 700, 1, 700},
                      RecountCase{"G4More", Coding::Group4, 1100, 700, 1, 700},
                      RecountCase{"HeaderKeptWithoutRecount", Coding::Group4, 1100, 2200, 0, 2200},
                      RecountCase{"ZeroMeans3432", Coding::Group3OneDimensional, 100, 0, 0, 3432}),
    [](const auto& info) { return std::string(info.param.name); });

// The recount keeps every row libtiff's decoder delivers from the same data (the rows the copy
// stage decodes), damaged and resynchronised lines included.
TEST(IntermediateTiff, RecountKeepsEveryRowLibtiffDelivers) {
    TempDir dir;
    const Bitmap text = testsupport::text_like(1728, 60, 12);
    // One bad byte in a Group 3 page: the damaged line is decoded in place.
    WinFaxPage damaged = page_from(text, Coding::Group3OneDimensional);
    damaged.data[damaged.data.size() / 2] = 0x00;
    // A line of width + 1 runs in a Group 4 page.
    const Bitmap most = testsupport::with_most_runs(testsupport::text_like(1728, 40, 13), {20});
    const WinFaxPage most_runs = page_from(most, Coding::Group4);
    std::vector<WinFaxPage> pages = {damaged, most_runs};
    for (WinFaxPage& p : pages)
        p.length = 3432;
    const std::string fax = dir.file("r.fxd");
    ASSERT_TRUE(write_winfax(fax, pages));
    FaxReader r;
    r.settings().recalculate_lines = 1;
    ASSERT_EQ(r.open_fax_file(fax, 11), 0);
    const std::string tiff = dir.file("r.tif");
    ASSERT_EQ(r.write_intermediate_tiff(tiff, 11), 0);
    const auto chain = parse_tiff_chain(read_file(tiff));
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[0].find(TIFFTAG_IMAGELENGTH)->value, 60u);
    EXPECT_EQ(chain[1].find(TIFFTAG_IMAGELENGTH)->value, 40u);
    // libtiff's picture of the damaged page, asked for the header's rows, ends there.
    const testsupport::LibtiffDecode theirs =
        testsupport::libtiff_decode(damaged.data, 1728, 3432, Coding::Group3OneDimensional, 2);
    for (int y = 60; y < 3432; ++y) {
        ASSERT_EQ(std::count(theirs.page.row(y), theirs.page.row(y) + 216, 0), 216) << y;
    }
    EXPECT_EQ(std::memcmp(theirs.page.row(59), text.row(59), 216), 0);
    // The damage is named; the Group 4 page is whole.
    ASSERT_EQ(r.page_statuses().size(), 1u);
    EXPECT_EQ(r.page_statuses()[0].index, 0);
    EXPECT_EQ(r.page_statuses()[0].decode.damaged_rows, 1u);
}

TEST(IntermediateTiff, PagesTheFileCutsShortAreNamed) {
    TempDir dir;
    const WinFaxPage a = page_from(testsupport::text_like(1728, 40, 1), Coding::Group4);
    const WinFaxPage b =
        page_from(testsupport::text_like(1728, 40, 2), Coding::Group3OneDimensional);
    const std::vector<uint8_t> whole = testsupport::build_winfax({a, b});
    struct Cut {
        size_t keep;     // bytes of the file kept
        uint16_t pages;  // pages found
        int cut_page;    // page named as cut short, -1 none
    };
    const size_t second = 128 + a.data.size();
    const Cut cuts[] = {
        {whole.size(), 2, -1}, {whole.size() - 10, 2, 1},  // inside the last page's data
        {second + 60, 2, 1},  // inside its header (the signature still there)
        {second + 1, 1, 0},   // inside its signature: the chain ends at page 1
        {second, 1, -1},      // exactly between the pages: nothing tells
    };
    for (const Cut& c : cuts) {
        SCOPED_TRACE(c.keep);
        const std::string fax = dir.file("c.fxd");
        ASSERT_TRUE(testsupport::write_file(
            fax, std::string(whole.begin(), whole.begin() + static_cast<long>(c.keep))));
        FaxReader r;
        ASSERT_EQ(r.open_fax_file(fax, 11), 0);
        EXPECT_EQ(r.settings().page_count, c.pages);
        ASSERT_EQ(r.write_intermediate_tiff(dir.file("c.tif"), 11), 0);
        if (c.cut_page < 0) {
            EXPECT_TRUE(r.page_statuses().empty());
            continue;
        }
        ASSERT_EQ(r.page_statuses().size(), 1u);
        EXPECT_EQ(r.page_statuses()[0].index, c.cut_page);
        EXPECT_TRUE(r.page_statuses()[0].file_cut_short);
    }
}

TEST(IntermediateTiff, PageCutInItsFirstLineKeepsWhatTheDecoderDelivers) {
    TempDir dir;
    const Bitmap good = testsupport::text_like(1728, 80, 3);
    for (Coding coding : {Coding::Group3OneDimensional, Coding::Group4}) {
        WinFaxPage broken = page_from(testsupport::text_like(1728, 200, 4), coding);
        broken.data.resize(coding == Coding::Group4 ? 0 : 3);  // an EOL and a scrap of a line
        const std::string fax = dir.file("b.fxd");
        ASSERT_TRUE(write_winfax(fax, {page_from(good, coding), broken}));
        FaxReader r;
        r.settings().recalculate_lines = 1;
        ASSERT_EQ(r.open_fax_file(fax, 11), 0);
        const std::string tiff = dir.file("b.tif");
        ASSERT_EQ(r.write_intermediate_tiff(tiff, 11), 0);
        const auto chain = parse_tiff_chain(read_file(tiff));
        ASSERT_EQ(chain.size(), 2u);
        EXPECT_EQ(chain[0].find(TIFFTAG_IMAGELENGTH)->value, 80u);
        // The scrap of a Group 3 line is a row libtiff fills (the rest of it white). Group 4
        // data that holds nothing gives no row: the page keeps its declared 200 lines (a
        // length of 0 is a directory libtiff refuses, and it ended the file there), and its
        // strip of no bytes becomes an end-of-facsimile block, which libtiff reads as no row
        // where it would guess a strip running on into the next directory.
        const bool empty = coding == Coding::Group4;
        const uint32_t rows = empty ? 200 : 1;
        EXPECT_EQ(chain[1].find(TIFFTAG_IMAGELENGTH)->value, rows);
        EXPECT_EQ(chain[1].find(TIFFTAG_ROWSPERSTRIP)->value, rows);
        EXPECT_EQ(chain[1].find(TIFFTAG_STRIPBYTECOUNTS)->value, empty ? 3u : broken.data.size());
        if (empty) {
            const testsupport::LibtiffDecode theirs =
                testsupport::libtiff_decode({0x00, 0x08, 0x80}, 1728, 200, Coding::Group4, 2);
            EXPECT_TRUE(theirs.page == Bitmap(1728, 200)) << theirs.messages;
        }
        ASSERT_EQ(r.page_statuses().size(), 1u);
        EXPECT_EQ(r.page_statuses()[0].index, 1);
        EXPECT_TRUE(r.page_statuses()[0].decode.cut_short);
        EXPECT_EQ(r.page_statuses()[0].no_rows, empty);
        EXPECT_FALSE(r.page_statuses()[0].file_cut_short);
    }
}

TEST(IntermediateTiff, PageFileModeWritesNumberedFilesAndTheMultiPageFile) {
    TempDir dir;
    std::vector<WinFaxPage> pages;
    for (int i = 0; i < 3; ++i) {
        pages.push_back(page_from(testsupport::text_like(1728, 60 + i, 10 + i), Coding::Group4));
    }
    const std::string fax = dir.file("three.fxs");
    ASSERT_TRUE(write_winfax(fax, pages));
    const std::string tiff = dir.file("tvnintif.tmp");
    ASSERT_EQ(convert(fax, tiff, 0, 1), 0);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const std::string name = dir.file("tvnintif00" + std::to_string(i + 1) + ".tif");
        TiffPtr t(TIFFOpen(name.c_str(), "r"));
        ASSERT_TRUE(t);
        EXPECT_EQ(TIFFNumberOfDirectories(t.get()), 1u);
        uint16_t page = 9, total = 0;
        uint32_t length = 0;
        TIFFGetField(t.get(), TIFFTAG_PAGENUMBER, &page, &total);
        TIFFGetField(t.get(), TIFFTAG_IMAGELENGTH, &length);
        EXPECT_EQ(page, i);
        EXPECT_EQ(total, 3);
        EXPECT_EQ(length, static_cast<uint32_t>(60 + i));
        std::vector<uint8_t> raw(pages[i].data.size());
        EXPECT_EQ(TIFFReadRawStrip(t.get(), 0, raw.data(), static_cast<tmsize_t>(raw.size())),
                  static_cast<tmsize_t>(raw.size()));
        EXPECT_EQ(raw, pages[i].data);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("tvnintif004.tif")));
    EXPECT_EQ(parse_tiff_chain(read_file(tiff)).size(), 3u);
}

TEST(IntermediateTiff, OptionsForOtherFaxFamiliesChangeNothing) {
    TempDir dir;
    const std::string fax = dir.file("o.fxd");
    ASSERT_TRUE(write_winfax(
        fax, {page_from(testsupport::text_like(1728, 90, 7), Coding::Group4),
              page_from(testsupport::text_like(1728, 70, 8), Coding::Group3OneDimensional, 1)}));
    ASSERT_EQ(convert(fax, dir.file("plain.tif")), 0);
    const std::string plain = read_file(dir.file("plain.tif"));

    FaxReader r;
    r.set_time_source(fixed_time);
    r.settings().threshold = 99;
    r.settings().bit_order = 1;
    r.settings().vertical_resolution = 300;
    r.settings().min_width = 2000;
    r.settings().raw_mode = 1;
    r.settings().nonstandard_width = 0;
    r.settings().page_file_mode = 2;
    r.open_fax_file(fax, 11);
    ASSERT_TRUE(r.is_fax());
    ASSERT_EQ(r.write_intermediate_tiff(dir.file("other.tif"), 11), 0);
    EXPECT_EQ(read_file(dir.file("other.tif")), plain);
}

TEST(FaxReader, RecognisesAFaxByItsFirstPageAndReadsTheTitle) {
    TempDir dir;
    for (Coding coding : {Coding::Group3OneDimensional, Coding::Group4}) {
        WinFaxPage p = page_from(testsupport::text_like(1728, 240, 21), coding, 1);
        p.title = "Invoice 2009-114";
        const std::string fax = dir.file("t.fxm");
        ASSERT_TRUE(write_winfax(fax, {p, page_from(testsupport::all_white(1728, 10), coding)}));
        FaxReader r;
        EXPECT_EQ(r.open_fax_file(fax, 11), 0);
        EXPECT_TRUE(r.is_fax());
        EXPECT_EQ(r.settings().page_count, 2);
        EXPECT_EQ(r.page_image().width, 1728);
        EXPECT_EQ(r.page_image().lines, 1);  // recognising stops at the first line
        EXPECT_EQ(r.page_image().x_resolution, 200);
        EXPECT_EQ(r.page_image().y_resolution, 200);
        EXPECT_EQ(r.page_image().resolution_unit, 2);
        EXPECT_TRUE(r.page_image().bitmap.empty());
        EXPECT_EQ(r.metadata().title_text, "Invoice 2009-114");
        EXPECT_FALSE(r.metadata().author_text.has_value());
        EXPECT_FALSE(r.metadata().subject_text.has_value());
    }
}

// Recognising a fax stops at the first line of its first page; decoding the whole page must
// give the same verdict (a width and at least one line) for any data, clean or not.
TEST(FaxReader, StoppingAtTheFirstLineTellsAFaxAsTheWholePageDoes) {
    TempDir dir;
    std::vector<std::pair<std::string, WinFaxPage>> cases;
    for (Coding coding : {Coding::Group3OneDimensional, Coding::Group4}) {
        const std::string name = coding == Coding::Group4 ? "G4" : "G3";
        const WinFaxPage text = page_from(testsupport::text_like(1728, 120, 5), coding);
        cases.emplace_back(name + " text", text);
        for (size_t cut : {1u, 3u, 12u, 200u}) {
            WinFaxPage p = text;
            p.data.resize(std::min(cut, p.data.size()));
            cases.emplace_back(name + " cut to " + std::to_string(cut), p);
        }
        WinFaxPage garbage_first = text;
        garbage_first.data.insert(garbage_first.data.begin(), 40, 0x5A);
        cases.emplace_back(name + " garbage before the lines", garbage_first);
        WinFaxPage one_line = page_from(testsupport::text_like(1728, 1, 5), coding);
        one_line.length = 1;
        cases.emplace_back(name + " one line", one_line);
        WinFaxPage zeros = text;
        std::fill(zeros.data.begin(), zeros.data.end(), 0);
        cases.emplace_back(name + " zeros", zeros);
        std::mt19937 random(coding == Coding::Group4 ? 4 : 3);
        for (int i = 0; i < 150; ++i) {
            WinFaxPage p = text;
            p.data.resize(1 + random() % 300);
            for (uint8_t& b : p.data)
                b = static_cast<uint8_t>(random());
            if (i % 2 == 1) {
                // Garbage, then a run of 0xFF bytes a decoder resynchronises at, then lines.
                p.data.insert(p.data.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0x00});
                p.data.insert(p.data.end(), text.data.begin(), text.data.end());
            } else {
                p.width = static_cast<uint16_t>(1 + random() % 1728);
            }
            p.length = static_cast<uint16_t>(1 + random() % 40);
            cases.emplace_back(name + " random " + std::to_string(i), p);
        }
    }
    int faxes = 0;
    for (const auto& [name, page] : cases) {
        SCOPED_TRACE(name);
        const std::string fax = dir.file("case.fxd");
        ASSERT_TRUE(write_winfax(fax, {page}));
        FaxReader r;
        r.open_fax_file(fax, 11);
        WinFaxReader whole;
        whole.open_file(fax);
        faxcodec::FaxPageImage image{};
        if (whole.count_pages() > 0)
            whole.describe_page(0, image, PageDecode::kCountOnly);
        EXPECT_EQ(r.is_fax(), image.width >= 1 && image.lines >= 1);
        faxes += r.is_fax() ? 1 : 0;
    }
    // Both verdicts were met, many times each.
    EXPECT_GT(faxes, 20);
    EXPECT_LT(faxes, static_cast<int>(cases.size()) - 20);
}

TEST(FaxReader, FilesThatAreNotFaxes) {
    TempDir dir;
    const std::string empty = dir.file("empty.fxd");
    ASSERT_TRUE(testsupport::write_file(empty, ""));
    WinFaxPage bad = page_from(testsupport::all_white(1728, 10), Coding::Group4);
    bad.bad_signature = true;
    const std::string unsigned_file = dir.file("bad.fxd");
    ASSERT_TRUE(write_winfax(unsigned_file, {bad}));
    // First page without one complete row, however good the page after it.
    WinFaxPage scrap =
        page_from(testsupport::text_like(1728, 100, 2), Coding::Group3OneDimensional);
    scrap.data.resize(3);
    const std::string no_rows = dir.file("norows.fxd");
    ASSERT_TRUE(write_winfax(no_rows, {scrap, page_from(testsupport::all_white(1728, 10),
                                                        Coding::Group3OneDimensional)}));
    for (const std::string& path : {empty, unsigned_file, no_rows}) {
        SCOPED_TRACE(path);
        FaxReader r;
        EXPECT_EQ(r.open_fax_file(path, 11), 0);
        EXPECT_FALSE(r.is_fax());
    }
    FaxReader missing;
    EXPECT_EQ(missing.open_fax_file(dir.file("absent.fxd"), 11), FaxReader::kFailed);
    EXPECT_EQ(missing.system_error(), ENOENT);
    EXPECT_FALSE(missing.is_fax());
    EXPECT_EQ(missing.write_intermediate_tiff(dir.file("x.tif"), 11), FaxReader::kFailed);
    EXPECT_EQ(missing.system_error(), 0);  // no file open is not the system's failure
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.tif")));
    EXPECT_EQ(missing.open_fax_file(empty + "/x.fxd", 11), FaxReader::kFailed);
    EXPECT_EQ(missing.system_error(), testsupport::kBelowAFileError);

    FaxReader emptied;
    emptied.open_fax_file(empty, 11);
    EXPECT_EQ(emptied.write_intermediate_tiff(dir.file("y.tif"), 11), -1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("y.tif")));
}

TEST(FaxReader, WriteFailuresCarryTheirCodeAndTheSystemsReason) {
    TempDir dir;
    const std::string fax = dir.file("w.fxd");
    ASSERT_TRUE(
        write_winfax(fax, {page_from(testsupport::text_like(1728, 500, 3), Coding::Group4)}));
    struct Case {
        const char* what;
        std::string path;
        FaxTypeCode type;
        uint8_t page_file_mode;
        int32_t code;
        int system_error;
    };
    std::vector<Case> cases = {
        {"missing folder", dir.file("no/folder/x.tif"), 11, 0, FaxReader::kOutputFailed, ENOENT},
        {"below a file", fax + "/x.tif", 11, 0, FaxReader::kOutputFailed,
         testsupport::kBelowAFileError},
        {"a folder", dir.path(), 11, 0, FaxReader::kOutputFailed, EISDIR},
        {"not WinFax", dir.file("t.tif"), 16, 0, FaxReader::kFailed, 0},
        {"page files, missing folder", dir.file("no/folder/x.tif"), 11, 1, FaxReader::kOutputFailed,
         ENOENT},
        {"written", dir.file("ok.tif"), 11, 1, FaxReader::kOk, 0},
    };
    if (testsupport::has_full_device())
        cases.push_back({"full disk", "/dev/full", 11, 0, FaxReader::kOutputFailed, ENOSPC});
    FaxReader r;
    r.open_fax_file(fax, 11);
    ASSERT_TRUE(r.is_fax());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        r.settings().page_file_mode = c.page_file_mode;
        EXPECT_EQ(r.write_intermediate_tiff(c.path, c.type), c.code);
        EXPECT_EQ(r.system_error(), c.system_error);
    }
}

TEST(WinFaxDescribePage, FullDecodeGivesTheSourcePixels) {
    TempDir dir;
    const Bitmap source = testsupport::text_like(1728, 150, 9);
    for (Coding coding : {Coding::Group3OneDimensional, Coding::Group4}) {
        const std::string fax = dir.file("d.fxd");
        ASSERT_TRUE(write_winfax(fax, {page_from(source, coding, 2)}));
        WinFaxReader reader;
        reader.open_file(fax);
        ASSERT_EQ(reader.count_pages(), 1);
        faxcodec::FaxPageImage image;
        reader.describe_page(0, image, PageDecode::kFullBitmap);
        ASSERT_EQ(image.lines, 150);
        EXPECT_EQ(image.y_resolution, 400);
        ASSERT_EQ(image.bitmap.size(), static_cast<size_t>(150 * image.row_bytes));
        // The decoders write white as 1 bits (no inversion); the test pages use 1 for black.
        Bitmap decoded(1728, 150);
        for (size_t k = 0; k < decoded.bits.size(); ++k) {
            decoded.bits[k] = static_cast<uint8_t>(~image.bitmap[k]);
        }
        EXPECT_EQ(testsupport::first_difference(decoded.normalised(), source), -1);

        faxcodec::FaxPageImage counted;
        reader.describe_page(0, counted);
        EXPECT_EQ(counted.lines, 150);
        EXPECT_TRUE(counted.bitmap.empty());
    }
}

TEST(WinFaxDescribePage, LeavesTheImageAloneWithoutAFile) {
    WinFaxReader reader;
    faxcodec::FaxPageImage image;
    image.width = 77;
    image.lines = 5;
    reader.describe_page(0, image);
    EXPECT_EQ(image.width, 77);
    EXPECT_EQ(image.lines, 5);
}

// A header claiming 65535 x 65535 pixels over data that really codes that many lines: a full
// bitmap would take 512 MB, the count needs one row.
TEST(HostileFiles, HugePageIsMeasuredWithoutItsBitmap) {
    TempDir dir;
    WinFaxPage p;
    p.width = 65535;
    p.length = 65535;
    p.coding = 1;
    p.data.assign(65535 / 8 + 1, 0xFF);  // one V0 code per line, first bit least significant
    const std::string fax = dir.file("huge.fxd");
    ASSERT_TRUE(write_winfax(fax, {p}));
    FaxReader r;
    r.settings().recalculate_lines = 1;
    r.open_fax_file(fax, 11);
    ASSERT_TRUE(r.is_fax());
    EXPECT_EQ(r.page_image().width, 65535);
    EXPECT_TRUE(r.page_image().bitmap.empty());
    const std::string tiff = dir.file("huge.tif");
    ASSERT_EQ(r.write_intermediate_tiff(tiff, 11), 0);
    const auto chain = parse_tiff_chain(read_file(tiff));
    ASSERT_EQ(chain.size(), 1u);
    EXPECT_EQ(chain[0].find(TIFFTAG_IMAGELENGTH)->value, 65535u);
}

TEST(HostileFiles, FilesOfThousandsOfPagesConvertEveryPage) {
    TempDir dir;
    const WinFaxPage p = page_from(testsupport::text_like(1728, 40, 1), Coding::Group4);
    const std::string fax = dir.file("many.fxd");
    ASSERT_TRUE(write_winfax(fax, std::vector<WinFaxPage>(1500, p)));
    FaxReader r;
    r.settings().recalculate_lines = 1;
    r.open_fax_file(fax, 11);
    ASSERT_TRUE(r.is_fax());
    EXPECT_EQ(r.settings().page_count, 1500);
    EXPECT_EQ(r.pages_left_out(), 0u);
    const std::string tiff = dir.file("many.tif");
    ASSERT_EQ(r.write_intermediate_tiff(tiff, 11), 0);
    const auto chain = parse_tiff_chain(read_file(tiff));
    ASSERT_EQ(chain.size(), 1500u);
    EXPECT_EQ(chain.back().find(TIFFTAG_PAGENUMBER)->value, 1499u + 1500u * 65536u);
    EXPECT_EQ(chain.back().find(TIFFTAG_IMAGELENGTH)->value, 40u);
    EXPECT_TRUE(r.page_statuses().empty());
}

}  // namespace
}  // namespace trelvane::faxread

namespace trelvane::faxread {
namespace {

// Headers damaged at random (fixed seed): whatever the reader accepts, it writes a complete
// TIFF file with one directory per page found, and it never reads outside its buffers.
TEST(HostileFiles, RandomlyDamagedHeadersAreReadSafely) {
    TempDir dir;
    const std::vector<WinFaxPage> pages = {
        page_from(testsupport::text_like(1728, 120, 31), Coding::Group4, 1),
        page_from(testsupport::text_like(1728, 90, 32), Coding::Group3OneDimensional)};
    const std::vector<uint8_t> clean = testsupport::build_winfax(pages);
    const std::vector<uint32_t> offsets = testsupport::winfax_page_offsets(pages);
    uint32_t state = 12345;
    auto next_random = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    int accepted = 0;
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> bytes = clean;
        const int flips = 1 + static_cast<int>(next_random() % 6);
        for (int k = 0; k < flips; ++k) {
            const uint32_t header = offsets[next_random() % offsets.size()];
            bytes[header + next_random() % 128] = static_cast<uint8_t>(next_random());
        }
        if (round % 7 == 0)
            bytes.resize(next_random() % bytes.size());
        const std::string fax = dir.file("damaged.fxd");
        ASSERT_TRUE(testsupport::write_file(fax, std::string(bytes.begin(), bytes.end())));
        FaxReader r;
        r.settings().recalculate_lines = static_cast<uint8_t>(round % 2);
        r.open_fax_file(fax, 11);
        if (!r.is_fax())
            continue;
        ++accepted;
        const std::string tiff = dir.file("damaged.tif");
        ASSERT_EQ(r.write_intermediate_tiff(tiff, 11), 0) << "round " << round;
        EXPECT_EQ(parse_tiff_chain(read_file(tiff)).size(), r.settings().page_count)
            << "round " << round;
    }
    EXPECT_GT(accepted, 50);  // the damage must leave enough files to exercise the writer
}

}  // namespace
}  // namespace trelvane::faxread
