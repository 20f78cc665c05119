// The intermediate TIFF file byte for byte, and libtiff's reading of it.
#include "faxread/tiff_page_writer.h"

#include <gtest/gtest.h>

#include <tiffio.h>
#include <cerrno>

#include <memory>
#include <numeric>
#include <vector>

#include "faxread_test_util.h"
#include "support/temp_dir.h"

namespace trelvane::faxread {
namespace {

using test::fixed_time;
using test::parse_tiff_chain;
using test::u16_at;
using test::u32_at;
using testsupport::read_file;
using testsupport::TempDir;

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

std::vector<uint8_t> bytes_of(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
}

struct PageSpec {
    std::vector<uint8_t> data;
    uint8_t kind = 7;
    uint32_t width = 1728;
    uint32_t length = 1100;
    uint16_t y_resolution = 200;
};

// Writes the pages the way the reader does, with the clock fixed.
bool write_pages(const std::string& path, const std::vector<PageSpec>& pages,
                 LocalTimeSource clock = fixed_time) {
    TiffPageWriter w(path);
    if (!w.is_open())
        return false;
    w.set_time_source(std::move(clock));
    w.write_header();
    w.set_fixed_entries();
    for (size_t i = 0; i < pages.size(); ++i) {
        const PageSpec& p = pages[i];
        EXPECT_TRUE(w.set_coding(p.kind, 0));
        w.set_fill_order(2);
        w.set_dimensions(p.width, p.length);
        w.set_page_number(static_cast<uint16_t>(i), static_cast<uint16_t>(pages.size()));
        w.write_directory(w.append_strip(p.data, 200, p.y_resolution, 2));
    }
    return w.close();
}

TEST(TiffPageWriter, OnePageLayoutIsExact) {
    TempDir dir;
    const std::string path = dir.file("one.tif");
    PageSpec page{bytes_of(100, 1), 5, 1728, 1078, 100};
    ASSERT_TRUE(write_pages(path, {page}));
    const std::string b = read_file(path);
    const uint32_t L = 100;
    ASSERT_EQ(b.size(), 8 + L + 58 + 246);
    EXPECT_EQ(b.substr(0, 2), "II");
    EXPECT_EQ(u16_at(b, 2), 42);
    EXPECT_EQ(u32_at(b, 4), 66 + L);
    EXPECT_EQ(b.substr(8, L), std::string(page.data.begin(), page.data.end()));
    // Blocks after the strip: the two rationals, Software padded to 22 bytes, DateTime.
    EXPECT_EQ(u32_at(b, 8 + L), 200u);
    EXPECT_EQ(u32_at(b, 8 + L + 4), 1u);
    EXPECT_EQ(u32_at(b, 8 + L + 8), 100u);
    EXPECT_EQ(u32_at(b, 8 + L + 12), 1u);
    EXPECT_EQ(b.substr(8 + L + 16, 22), std::string("Corvenna Studio\0\0\0\0\0\0\0", 22));
    EXPECT_EQ(b.substr(8 + L + 38, 20), std::string("2009:03:02 09:05:03\0", 20));

    const uint32_t s = 8;
    struct Expected {
        uint16_t tag, type;
        uint32_t count, value;
    };
    const Expected expected[] = {
        {254, 4, 1, 2},           {256, 4, 1, 1728},        {257, 4, 1, 1078},
        {258, 3, 1, 1},           {259, 3, 1, 3},           {262, 3, 1, 0},
        {266, 3, 1, 2},           {273, 4, 1, s},           {274, 3, 1, 1},
        {277, 3, 1, 1},           {278, 4, 1, 1078},        {279, 4, 1, L},
        {282, 5, 1, s + L},       {283, 5, 1, s + L + 8},   {284, 3, 1, 1},
        {292, 4, 1, 4},           {296, 3, 1, 2},           {297, 3, 2, 0 + 1 * 65536},
        {305, 2, 22, s + L + 16}, {306, 2, 20, s + L + 38},
    };
    const uint32_t dir_at = 66 + L;
    ASSERT_EQ(u16_at(b, dir_at), 20);
    for (int i = 0; i < 20; ++i) {
        const size_t e = dir_at + 2 + 12 * i;
        SCOPED_TRACE("entry " + std::to_string(i + 1));
        EXPECT_EQ(u16_at(b, e), expected[i].tag);
        EXPECT_EQ(u16_at(b, e + 2), expected[i].type);
        EXPECT_EQ(u32_at(b, e + 4), expected[i].count);
        EXPECT_EQ(u32_at(b, e + 8), expected[i].value);
    }
    EXPECT_EQ(u32_at(b, dir_at + 242), 0u);
}

TEST(TiffPageWriter, CodingKindsMapToCompressionAndOptions) {
    struct Row {
        uint8_t kind;
        uint16_t compression;
        uint16_t options_tag;
        uint32_t options;
    };
    const Row table[] = {{1, 1, 292, 0}, {3, 2, 292, 4}, {4, 32771, 292, 4}, {5, 3, 292, 4},
                         {6, 3, 292, 5}, {7, 4, 293, 0}, {8, 32773, 292, 0}};
    TempDir dir;
    for (const Row& r : table) {
        SCOPED_TRACE(static_cast<int>(r.kind));
        PageSpec page{bytes_of(10, 3), r.kind};
        ASSERT_TRUE(write_pages(dir.file("k.tif"), {page}));
        const auto chain = parse_tiff_chain(read_file(dir.file("k.tif")));
        ASSERT_EQ(chain.size(), 1u);
        EXPECT_EQ(chain[0].entries[4].value, r.compression);
        EXPECT_EQ(chain[0].entries[15].tag, r.options_tag);
        EXPECT_EQ(chain[0].entries[15].value, r.options);
    }
    TiffPageWriter w(dir.file("bad.tif"));
    EXPECT_FALSE(w.set_coding(2, 0));
}

TEST(TiffPageWriter, OddLengthPutsDirectoryAtOddOffsetAndLibtiffReadsIt) {
    TempDir dir;
    const std::string path = dir.file("odd.tif");
    PageSpec page{bytes_of(101, 9), 7, 1728, 50};
    ASSERT_TRUE(write_pages(path, {page}));
    const std::string b = read_file(path);
    EXPECT_EQ(u32_at(b, 4), 167u);
    TiffPtr t(TIFFOpen(path.c_str(), "r"));
    ASSERT_TRUE(t);
    uint32_t width = 0;
    ASSERT_TRUE(TIFFGetField(t.get(), TIFFTAG_IMAGEWIDTH, &width));
    EXPECT_EQ(width, 1728u);
    std::vector<uint8_t> raw(200);
    EXPECT_EQ(TIFFReadRawStrip(t.get(), 0, raw.data(), static_cast<tmsize_t>(raw.size())), 101);
    raw.resize(101);
    EXPECT_EQ(raw, page.data);
}

TEST(TiffPageWriter, PagesAreChainedWithPageNumbersAndOwnTimes) {
    TempDir dir;
    const std::string path = dir.file("three.tif");
    int calls = 0;
    auto clock = [&calls] {
        std::tm t = fixed_time();
        t.tm_sec += calls++;
        return t;
    };
    const std::vector<PageSpec> pages = {{bytes_of(33, 1)}, {bytes_of(0, 2)}, {bytes_of(77, 3)}};
    ASSERT_TRUE(write_pages(path, pages, clock));
    const std::string b = read_file(path);
    const auto chain = parse_tiff_chain(b);
    ASSERT_EQ(chain.size(), 3u);
    uint32_t s = 8;
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const uint32_t L = static_cast<uint32_t>(pages[i].data.size());
        EXPECT_EQ(chain[i].offset, s + L + 58);
        EXPECT_EQ(chain[i].find(273)->value, s);
        EXPECT_EQ(chain[i].find(279)->value, L);
        EXPECT_EQ(chain[i].find(297)->value, i + 3 * 65536);
        const std::string date = b.substr(chain[i].find(306)->value, 19);
        EXPECT_EQ(date, "2009:03:02 09:05:0" + std::to_string(3 + i));
        EXPECT_EQ(chain[i].next, i < 2 ? chain[i + 1].offset : 0u);
        s = chain[i].offset + 246;
    }
    EXPECT_EQ(b.size(), s);
}

TEST(TiffPageWriter, DateTextIsPaddedAndFourDigitYear) {
    TempDir dir;
    const std::string path = dir.file("date.tif");
    auto clock = [] {
        std::tm t{};
        t.tm_year = 987 - 1900;
        t.tm_mon = 11;
        t.tm_mday = 31;
        t.tm_hour = 23;
        t.tm_min = 59;
        t.tm_sec = 58;
        return t;
    };
    ASSERT_TRUE(write_pages(path, {PageSpec{bytes_of(4, 0)}}, clock));
    const std::string b = read_file(path);
    EXPECT_EQ(b.substr(8 + 4 + 38, 20), std::string(" 987:12:31 23:59:58\0", 20));
}

TEST(TiffPageWriter, ZeroLengthPageHasZeroRowsPerStrip) {
    TempDir dir;
    const std::string path = dir.file("zero.tif");
    ASSERT_TRUE(write_pages(path, {PageSpec{bytes_of(5, 0), 7, 1728, 0}}));
    const auto chain = parse_tiff_chain(read_file(path));
    ASSERT_EQ(chain.size(), 1u);
    EXPECT_EQ(chain[0].find(257)->value, 0u);
    EXPECT_EQ(chain[0].find(278)->value, 0u);
}

TEST(TiffPageWriter, ReportsFilesItCannotCreateOrWriteWithTheSystemsReason) {
    TempDir dir;
    TiffPageWriter missing(dir.file("no/such/folder/x.tif"));
    EXPECT_FALSE(missing.is_open());
    EXPECT_EQ(missing.append_strip(bytes_of(3, 0), 200, 200, 2), 0u);
    EXPECT_FALSE(missing.close());
    EXPECT_EQ(missing.system_error(), ENOENT);

    // A full disk: every write fails once the buffer is flushed.
    if (testsupport::has_full_device()) {
        TiffPageWriter full("/dev/full");
        ASSERT_TRUE(full.is_open());
        full.write_header();
        full.set_fixed_entries();
        full.set_dimensions(1728, 10);
        full.write_directory(full.append_strip(bytes_of(70000, 1), 200, 200, 2));
        EXPECT_FALSE(full.close());
        EXPECT_EQ(full.system_error(), ENOSPC);
    }

    TiffPageWriter fine(dir.file("fine.tif"));
    fine.write_header();
    fine.set_fixed_entries();
    fine.set_dimensions(8, 1);
    fine.write_directory(fine.append_strip(bytes_of(3, 0), 200, 200, 2));
    EXPECT_TRUE(fine.close());
    EXPECT_EQ(fine.system_error(), 0);
}

}  // namespace
}  // namespace trelvane::faxread
