// One 1728 x 2200 text-like page, coded Group 3 (one-dimensional, end-of-line codes) and
// Group 4 by libtiff, decoded by our decoders and by libtiff from the same coded strip.
// Items processed are pages, so the report's items_per_second is pages per second.
#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "faxcodec/group3_decoder.h"
#include "faxcodec/group4_decoder.h"
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

const ts::CodedPage& coded(ts::Coding coding) {
    static const ts::Bitmap page = ts::text_like(kWidth, kHeight, 11);
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

BENCHMARK_MAIN();
