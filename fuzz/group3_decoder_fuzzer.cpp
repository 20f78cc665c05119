// Group 3 page decoder on arbitrary data, width, height and fill order. Besides the
// sanitizers, checks that the lookup tables and the code tree walk agree, that count-only
// decoding reports what a full decode does, and that the page never holds more rows than
// asked for.
#include <cstdint>
#include <cstring>

#include "decoder_input.h"
#include "faxcodec/fax_page_image.h"
#include "faxcodec/group3_decoder.h"
#include "fuzz_common.h"

using namespace trelvane;

namespace {

struct Outcome {
    int result = 0;
    faxcodec::FaxPageImage image;
    int32_t position = 0;
};

Outcome decode(const fuzz::DecoderInput& in, bool count_only, bool tree_walk) {
    Outcome out;
    faxcodec::Group3Decoder decoder(in.data.data(), static_cast<int32_t>(in.data.size()),
                                    in.fill_order, faxcodec::kGroup3OneDimensional, in.invert);
    decoder.set_dimensions(in.width, in.height);
    decoder.set_count_only(count_only);
    decoder.set_tree_walk(tree_walk);
    out.result = decoder.decode_page(out.image);
    out.position = decoder.reader().position;
    return out;
}

void check_same_fields(const Outcome& a, const Outcome& b, const char* what) {
    fuzz::check(a.result == b.result, what);
    fuzz::check(a.image.lines == b.image.lines, what);
    fuzz::check(a.image.width == b.image.width, what);
    fuzz::check(a.image.row_bytes == b.image.row_bytes, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    fuzz::DecoderInput in;
    if (!fuzz::parse_decoder_input(bytes, size, in))
        return 0;
    const bool full = fuzz::full_bitmap_affordable(in);

    const Outcome table = decode(in, !full, false);
    const Outcome tree = decode(in, !full, true);
    check_same_fields(table, tree, "tables and tree walk disagree");
    fuzz::check(table.position == tree.position, "tables and tree walk stop at different bytes");
    fuzz::check(table.image.bitmap == tree.image.bitmap, "tables and tree walk draw differently");

    if (table.result >= 0) {
        fuzz::check(table.image.lines >= 0 && table.image.lines <= in.height,
                    "more lines than the page height");
        if (full) {
            const int64_t row_bytes = (static_cast<int64_t>(in.width) + 7) / 8;
            fuzz::check(
                static_cast<int64_t>(table.image.bitmap.size()) == row_bytes * table.image.lines,
                "bitmap size does not match the line count");
        }
    }
    if (full) {
        const Outcome counted = decode(in, true, false);
        check_same_fields(table, counted, "count-only decode disagrees with the full decode");
        fuzz::check(counted.image.bitmap.empty(), "count-only decode kept a bitmap");
    }
    return 0;
}
