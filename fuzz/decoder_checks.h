// The checks both page decoder targets make on one input, beside the sanitizers: the lookup
// tables and the code tree walk agree (result, reader position, bitmap), a count-only decode
// reports what a full decode does, and a page never holds more rows than asked for.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder_input.h"
#include "faxcodec/fax_page_image.h"
#include "fuzz_common.h"

namespace trelvane::fuzz {

struct DecodeOutcome {
    int result = 0;
    faxcodec::FaxPageImage image;
    int32_t position = 0;
};

inline void check_same_fields(const DecodeOutcome& a, const DecodeOutcome& b, const char* what) {
    check(a.result == b.result, what);
    check(a.image.lines == b.image.lines, what);
    check(a.image.width == b.image.width, what);
    check(a.image.row_bytes == b.image.row_bytes, what);
}

// decode(input, count_only, tree_walk) runs one decoder and returns its outcome; succeeded(result)
// tells a decode that produced a page.
template <typename Decode, typename Succeeded>
int check_decoder(const uint8_t* bytes, size_t size, Decode decode, Succeeded succeeded) {
    DecoderInput in;
    if (!parse_decoder_input(bytes, size, in))
        return 0;
    const bool full = full_bitmap_affordable(in);

    const DecodeOutcome table = decode(in, !full, false);
    const DecodeOutcome tree = decode(in, !full, true);
    check_same_fields(table, tree, "tables and tree walk disagree");
    check(table.position == tree.position, "tables and tree walk stop at different bytes");
    check(table.image.bitmap == tree.image.bitmap, "tables and tree walk draw differently");

    if (succeeded(table.result)) {
        check(table.image.lines >= 0 && table.image.lines <= in.height,
              "more lines than the page height");
        if (full) {
            const int64_t row_bytes = (static_cast<int64_t>(in.width) + 7) / 8;
            check(static_cast<int64_t>(table.image.bitmap.size()) == row_bytes * table.image.lines,
                  "bitmap size does not match the line count");
        }
    }
    if (full) {
        const DecodeOutcome counted = decode(in, true, false);
        check_same_fields(table, counted, "count-only decode disagrees with the full decode");
        check(counted.image.bitmap.empty(), "count-only decode kept a bitmap");
    }
    return 0;
}

}  // namespace trelvane::fuzz
