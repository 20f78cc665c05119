// One 1728 x 2200 text-like page, coded Group 3 (one-dimensional, end-of-line codes) and
// Group 4 by libtiff, decoded by our decoders and by libtiff from the same coded strip; the
// page coded Group 4 by our encoder (from its changing elements) and by libtiff's (from its
// bitmap); and the copy stage's work on it (decode and code again Group 4), ours and
// libtiff's. Items processed are pages, so the report's items_per_second is pages per second.
#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "faxcodec/changing_elements.h"
#include "faxcodec/coded_strip.h"
#include "faxcodec/group3_decoder.h"
#include "faxcodec/group4_decoder.h"
#include "faxcodec/group4_encoder.h"
#include "faxcodec/strip_decoder.h"
#include "support/bitmap.h"
#include "support/ccitt.h"

namespace {

using trelvane::faxcodec::FaxPageImage;
using trelvane::faxcodec::Group3Decoder;
using trelvane::faxcodec::Group4Decoder;
using trelvane::faxcodec::kGroup3OneDimensional;
namespace ts = trelvane::testsupport;

constexpr int kWidth = 1728;
constexpr int kHeight = 2200;

const ts::Bitmap& text_page() {
    static const ts::Bitmap page = ts::text_like(kWidth, kHeight, 11);
    return page;
}

const ts::CodedPage& coded(ts::Coding coding) {
    const ts::Bitmap& page = text_page();
    static const ts::CodedPage g3 = ts::encode_page(page, ts::Coding::Group3OneDimensional, 2);
    static const ts::CodedPage g4 = ts::encode_page(page, ts::Coding::Group4, 2);
    return coding == ts::Coding::Group4 ? g4 : g3;
}

enum Variant { kTables = 0, kTreeWalk = 1, kCountOnly = 2 };

void BM_OurGroup3(benchmark::State& state) {
    const ts::CodedPage& page = coded(ts::Coding::Group3OneDimensional);
    for (auto _ : state) {
        Group3Decoder dec(page.data.data(), static_cast<int32_t>(page.data.size()), 2,
                          kGroup3OneDimensional, 0);
        dec.set_dimensions(kWidth, kHeight);
        dec.set_tree_walk(state.range(0) == kTreeWalk);
        dec.set_count_only(state.range(0) == kCountOnly);
        FaxPageImage image;
        benchmark::DoNotOptimize(dec.decode_page(image));
        if (image.lines != kHeight)
            state.SkipWithError("wrong line count");
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_OurGroup4(benchmark::State& state) {
    const ts::CodedPage& page = coded(ts::Coding::Group4);
    for (auto _ : state) {
        Group4Decoder dec(page.data.data(), static_cast<int32_t>(page.data.size()), 2, 0, 0, 3);
        dec.set_dimensions(kWidth, kHeight);
        dec.set_tree_walk(state.range(0) == kTreeWalk);
        dec.set_count_only(state.range(0) == kCountOnly);
        FaxPageImage image;
        benchmark::DoNotOptimize(dec.decode_g4_page(image));
        if (image.lines != kHeight)
            state.SkipWithError("wrong line count");
    }
    state.SetItemsProcessed(state.iterations());
}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};

// libtiff decoding the same strip from a one-page TIFF file (memory-mapped by libtiff).
void libtiff_decode(benchmark::State& state, ts::Coding coding) {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/trelvane-bench-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) {
        state.SkipWithError("no temporary file");
        return;
    }
    close(fd);
    if (!ts::write_coded_tiff(path, coded(coding))) {
        unlink(path.c_str());
        state.SkipWithError("cannot write TIFF");
        return;
    }
    {
        std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(path.c_str(), "r"));
        std::vector<uint8_t> raster(static_cast<size_t>((kWidth + 7) / 8) * kHeight);
        for (auto _ : state) {
            const tmsize_t got = TIFFReadEncodedStrip(tif.get(), 0, raster.data(),
                                                      static_cast<tmsize_t>(raster.size()));
            if (got != static_cast<tmsize_t>(raster.size()))
                state.SkipWithError("decode failed");
            benchmark::DoNotOptimize(raster.data());
        }
    }
    unlink(path.c_str());
    state.SetItemsProcessed(state.iterations());
}

void BM_LibtiffGroup3(benchmark::State& state) {
    libtiff_decode(state, ts::Coding::Group3OneDimensional);
}
void BM_LibtiffGroup4(benchmark::State& state) {
    libtiff_decode(state, ts::Coding::Group4);
}

// The copy stage's strip decoder (arg 0: to changing elements, as the stage uses it; 1: each
// row drawn too, as for an observer).
void strip_decode(benchmark::State& state, ts::Coding coding) {
    const ts::CodedPage& page = coded(coding);
    const trelvane::faxcodec::CodedStrip strip(page.data, 2);
    const auto strip_coding = coding == ts::Coding::Group4
                                  ? trelvane::faxcodec::StripCoding::kGroup4
                                  : trelvane::faxcodec::StripCoding::kGroup3OneDimensional;
    std::vector<uint8_t> rows(static_cast<size_t>((kWidth + 7) / 8) * kHeight);
    for (auto _ : state) {
        trelvane::faxcodec::StripDecoder decoder(strip, strip_coding, kWidth);
        for (int y = 0; y < kHeight; ++y) {
            const auto row = decoder.next_row();
            if (state.range(0) == 1)
                trelvane::faxcodec::draw_row(row, kWidth, rows.data() + y * ((kWidth + 7) / 8));
            benchmark::DoNotOptimize(row.data());
        }
        if (!decoder.status().clean())
            state.SkipWithError("damaged");
    }
    state.SetItemsProcessed(state.iterations());
}
void BM_StripGroup3(benchmark::State& state) {
    strip_decode(state, ts::Coding::Group3OneDimensional);
}
void BM_StripGroup4(benchmark::State& state) {
    strip_decode(state, ts::Coding::Group4);
}

// Our encoder from the page's changing elements (what the strip decoder hands over).
void BM_OurGroup4Encoder(benchmark::State& state) {
    std::vector<std::vector<uint32_t>> changes(kHeight);
    for (int y = 0; y < kHeight; ++y)
        trelvane::faxcodec::read_row(text_page().row(y), kWidth, changes[static_cast<size_t>(y)]);
    for (auto _ : state) {
        trelvane::faxcodec::Group4Encoder encoder(kWidth);
        for (const auto& row : changes)
            encoder.encode_row(row);
        benchmark::DoNotOptimize(encoder.finish());
    }
    state.SetItemsProcessed(state.iterations());
}

// A TIFF file in memory that libtiff writes into; only writing is needed.
struct MemoryOut {
    std::vector<uint8_t> bytes;
    uint64_t at = 0;
    static MemoryOut& of(thandle_t h) { return *static_cast<MemoryOut*>(h); }
    static tmsize_t read(thandle_t, void*, tmsize_t) { return 0; }
    static tmsize_t write(thandle_t h, void* buf, tmsize_t n) {
        MemoryOut& m = of(h);
        if (m.at + static_cast<uint64_t>(n) > m.bytes.size())
            m.bytes.resize(m.at + static_cast<uint64_t>(n));
        std::memcpy(m.bytes.data() + m.at, buf, static_cast<size_t>(n));
        m.at += static_cast<uint64_t>(n);
        return n;
    }
    static toff_t seek(thandle_t h, toff_t off, int whence) {
        MemoryOut& m = of(h);
        m.at = (whence == SEEK_CUR ? m.at : whence == SEEK_END ? m.bytes.size() : 0) + off;
        return m.at;
    }
    static int close(thandle_t) { return 0; }
    static toff_t size(thandle_t h) { return of(h).bytes.size(); }
    static int map(thandle_t, void**, toff_t*) { return 0; }
    static void unmap(thandle_t, void*, toff_t) {}
};

// libtiff's encoder coding the bitmap into a one-page TIFF file in memory.
bool libtiff_encode_g4(const std::vector<uint8_t>& bits) {
    MemoryOut out;
    TIFF* t =
        TIFFClientOpen("bench", "wm", &out, MemoryOut::read, MemoryOut::write, MemoryOut::seek,
                       MemoryOut::close, MemoryOut::size, MemoryOut::map, MemoryOut::unmap);
    if (!t)
        return false;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, kHeight);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    std::vector<uint8_t> raster = bits;  // the encoder may work in its input
    const bool ok =
        TIFFWriteEncodedStrip(t, 0, raster.data(), static_cast<tmsize_t>(raster.size())) >= 0;
    TIFFClose(t);
    return ok;
}

void BM_LibtiffGroup4Encoder(benchmark::State& state) {
    for (auto _ : state) {
        if (!libtiff_encode_g4(text_page().bits))
            state.SkipWithError("encode failed");
    }
    state.SetItemsProcessed(state.iterations());
}

// The copy stage's work on a page: decode its strip and code it again as Group 4. Ours from
// the raw strip to the new strip; libtiff's decoding the strip (from a file it reads) and
// coding the bitmap.
void BM_OwnCopy(benchmark::State& state) {
    const ts::Coding coding =
        state.range(0) == 4 ? ts::Coding::Group4 : ts::Coding::Group3OneDimensional;
    const ts::CodedPage& page = coded(coding);
    for (auto _ : state) {
        const trelvane::faxcodec::CodedStrip strip(page.data, 2);
        trelvane::faxcodec::StripDecoder decoder(
            strip,
            coding == ts::Coding::Group4 ? trelvane::faxcodec::StripCoding::kGroup4
                                         : trelvane::faxcodec::StripCoding::kGroup3OneDimensional,
            kWidth);
        trelvane::faxcodec::Group4Encoder encoder(kWidth);
        for (int y = 0; y < kHeight; ++y)
            encoder.encode_row(decoder.next_row());
        benchmark::DoNotOptimize(encoder.finish());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_LibtiffCopy(benchmark::State& state) {
    const ts::Coding coding =
        state.range(0) == 4 ? ts::Coding::Group4 : ts::Coding::Group3OneDimensional;
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/trelvane-bench-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) {
        state.SkipWithError("no temporary file");
        return;
    }
    close(fd);
    if (!ts::write_coded_tiff(path, coded(coding))) {
        unlink(path.c_str());
        state.SkipWithError("cannot write TIFF");
        return;
    }
    {
        std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(path.c_str(), "r"));
        std::vector<uint8_t> raster(static_cast<size_t>((kWidth + 7) / 8) * kHeight);
        for (auto _ : state) {
            std::fill(raster.begin(), raster.end(), uint8_t{0});
            TIFFReadEncodedStrip(tif.get(), 0, raster.data(), static_cast<tmsize_t>(raster.size()));
            if (!libtiff_encode_g4(raster))
                state.SkipWithError("encode failed");
        }
    }
    unlink(path.c_str());
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_OurGroup3)
    ->ArgName("tables0_tree1_count2")
    ->Arg(kTables)
    ->Arg(kTreeWalk)
    ->Arg(kCountOnly);
BENCHMARK(BM_LibtiffGroup3);
BENCHMARK(BM_OurGroup4)
    ->ArgName("tables0_tree1_count2")
    ->Arg(kTables)
    ->Arg(kTreeWalk)
    ->Arg(kCountOnly);
BENCHMARK(BM_LibtiffGroup4);
BENCHMARK(BM_StripGroup3)->ArgName("changes0_drawn1")->Arg(0)->Arg(1);
BENCHMARK(BM_StripGroup4)->ArgName("changes0_drawn1")->Arg(0)->Arg(1);
BENCHMARK(BM_OurGroup4Encoder);
BENCHMARK(BM_LibtiffGroup4Encoder);
BENCHMARK(BM_OwnCopy)->ArgName("group")->Arg(3)->Arg(4);
BENCHMARK(BM_LibtiffCopy)->ArgName("group")->Arg(3)->Arg(4);

BENCHMARK_MAIN();
