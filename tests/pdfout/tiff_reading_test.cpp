// The stages read TIFF files through a buffer of their own; libtiff's own file reading is the
// oracle: the same directories, tags and raw strips, for a whole file and for one cut short.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "pdfout/tiff_handle.h"
#include "support/temp_dir.h"
#include "tiff_fixture.h"

namespace trelvane::pdfout {
namespace {

// Everything a reader can tell of the file: per directory its size, coding and raw strips (the
// count libtiff returned, then the bytes); "open failed" or where the directories stopped.
std::vector<std::string> what_is_read(TIFF* tiff) {
    std::vector<std::string> seen;
    if (tiff == nullptr)
        return {"open failed"};
    do {
        uint32_t width = 0, height = 0;
        uint16_t compression = 0;
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
        seen.push_back(std::to_string(width) + "x" + std::to_string(height) + " coding " +
                       std::to_string(compression));
        for (uint32_t strip = 0; strip < TIFFNumberOfStrips(tiff); ++strip) {
            std::vector<uint8_t> bytes(200000);
            const tmsize_t n =
                TIFFReadRawStrip(tiff, strip, bytes.data(), static_cast<tmsize_t>(bytes.size()));
            bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
            seen.push_back(std::to_string(n) + ": " + std::string(bytes.begin(), bytes.end()));
        }
    } while (TIFFReadDirectory(tiff) == 1);
    return seen;
}

TEST(TiffReading, ReadsWhatLibtiffReads) {
    testsupport::TempDir dir;
    // Strips below, at and above the buffer's 16 KiB, so that reads come from the buffer, across
    // its end and past it; and a page that libtiff coded, in strips of 64 lines.
    std::vector<test::PageSpec> pages;
    uint32_t seed = 1;
    for (const size_t size : {10u, 16383u, 16384u, 16385u, 70000u, 3u}) {
        test::PageSpec page;
        page.compression = COMPRESSION_NONE;
        page.width = 8;
        page.height = static_cast<uint32_t>(size);
        page.raw = test::pattern_bytes(size, seed++);
        pages.push_back(page);
    }
    test::PageSpec coded;
    coded.bitmap = testsupport::text_like(1728, 400, 7);
    coded.height = 400;
    coded.rows_per_strip = 64;
    pages.push_back(coded);
    const std::string whole = dir.file("whole.tif");
    ASSERT_TRUE(test::write_tiff(whole, pages));
    const std::string bytes = testsupport::read_file(whole);

    for (const size_t keep : {bytes.size(), bytes.size() - 7, bytes.size() / 2, size_t{5}}) {
        SCOPED_TRACE("first " + std::to_string(keep) + " of " + std::to_string(bytes.size()) +
                     " bytes");
        const std::string path = dir.file("cut.tif");
        ASSERT_TRUE(testsupport::write_file(path, bytes.substr(0, keep)));
        DiagnosticSink ours_sink, theirs_sink;
        const TiffPtr ours = open_tiff_for_reading(path, ours_sink);
        const TiffPtr theirs = open_tiff(path, "rm", theirs_sink);
        const std::vector<std::string> read_by_libtiff = what_is_read(theirs.get());
        EXPECT_TRUE(what_is_read(ours.get()) == read_by_libtiff);
        if (keep == bytes.size()) {
            EXPECT_EQ(std::count_if(read_by_libtiff.begin(), read_by_libtiff.end(),
                                    [](const std::string& line) {
                                        return line.find(" coding ") != std::string::npos;
                                    }),
                      7);
        }
    }
    DiagnosticSink sink(4);
    EXPECT_FALSE(open_tiff_for_reading(dir.file("missing.tif"), sink));
    EXPECT_FALSE(sink.messages().empty());
}

// The reads and seeks themselves, as libtiff calls them, at every kind of place against the
// file's bytes: inside the buffer, across its end, longer than it, at and past the end.
TEST(TiffReading, ReadsAndSeeksGiveTheFilesBytes) {
    testsupport::TempDir dir;
    test::PageSpec page;
    page.compression = COMPRESSION_NONE;
    page.width = 8;
    page.height = 50000;
    page.raw = test::pattern_bytes(50000, 3);
    const std::string path = dir.file("a.tif");
    ASSERT_TRUE(test::write_tiff(path, {page}));
    const std::string bytes = testsupport::read_file(path);
    DiagnosticSink sink;
    const TiffPtr tiff = open_tiff_for_reading(path, sink);
    ASSERT_TRUE(tiff);
    const TIFFReadWriteProc read = TIFFGetReadProc(tiff.get());
    const TIFFSeekProc seek = TIFFGetSeekProc(tiff.get());
    const thandle_t handle = TIFFClientdata(tiff.get());
    uint32_t state = 12345;
    const auto next = [&state](uint32_t below) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % below;
    };
    for (int i = 0; i < 2000; ++i) {
        const uint64_t at =
            i % 7 == 0 ? bytes.size() - next(40) : next(static_cast<uint32_t>(bytes.size()) + 100);
        const size_t size = i % 5 == 0 ? 16000 + next(20000) : next(300);
        SCOPED_TRACE(std::to_string(size) + " bytes at " + std::to_string(at));
        // Now from the start, now from where the last read ended.
        if (i % 3 == 0) {
            ASSERT_EQ(seek(handle, at, SEEK_SET), at);
        } else {
            const uint64_t here = seek(handle, 0, SEEK_CUR);
            ASSERT_EQ(seek(handle, static_cast<toff_t>(at - here), SEEK_CUR), at);
        }
        std::string got(size, '\0');
        const tmsize_t n = read(handle, got.data(), static_cast<tmsize_t>(size));
        const std::string want = at < bytes.size() ? bytes.substr(at, size) : std::string();
        ASSERT_EQ(n, static_cast<tmsize_t>(want.size()));
        ASSERT_TRUE(got.substr(0, want.size()) == want);
    }
    EXPECT_EQ(seek(handle, 0, SEEK_END), bytes.size());
}

}  // namespace
}  // namespace trelvane::pdfout
