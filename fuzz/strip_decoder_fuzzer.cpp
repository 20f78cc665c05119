// The copy stage's strip decoder against libtiff's decoder, on coded data that is clean (a page
// coded by libtiff), damaged (the same with bits flipped) or anything at all: wherever libtiff
// does not run out of room for a line's runs, both give the same picture, and our Group 4
// code of it is libtiff's, byte for byte, which is what the copy stage writes. A page libtiff
// coded and nobody damaged must come back as it was, reported clean.
#include <cstdint>
#include <vector>

#include "codec_input.h"
#include "faxcodec/changing_elements.h"
#include "faxcodec/group4_encoder.h"
#include "faxcodec/strip_decoder.h"
#include "fuzz_common.h"
#include "support/libtiff_codec.h"

using namespace trelvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    fuzz::CodecInput in;
    if (!fuzz::parse_codec_input(bytes, size, in))
        return 0;
    testsupport::Bitmap source;
    std::vector<uint8_t> data;
    if (in.page) {
        source = fuzz::page_of(in);
        data = testsupport::libtiff_encode(source, in.coding, in.fill_order);
        // Bits flipped where the payload says.
        for (int f = 0; f < in.flips && !data.empty(); ++f) {
            const size_t at = in.payload.empty() ? 0 : in.payload[f % in.payload.size()];
            const size_t bit =
                (at * 2654435761u + static_cast<size_t>(f) * 40503u) % (data.size() * 8);
            data[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        }
    } else {
        data.assign(in.payload.begin(), in.payload.end());
    }

    const faxcodec::CodedStrip strip(data, static_cast<uint8_t>(in.fill_order));
    faxcodec::StripDecoder decoder(strip,
                                   in.coding == testsupport::Coding::Group4
                                       ? faxcodec::StripCoding::kGroup4
                                       : faxcodec::StripCoding::kGroup3OneDimensional,
                                   static_cast<uint32_t>(in.width));
    faxcodec::Group4Encoder encoder(static_cast<uint32_t>(in.width));
    testsupport::Bitmap ours(in.width, in.height);
    for (int y = 0; y < in.height; ++y) {
        const std::span<const uint32_t> row = decoder.next_row();
        faxcodec::draw_row(row, static_cast<uint32_t>(in.width),
                           ours.bits.data() + static_cast<size_t>(y) * ours.row_bytes());
        encoder.encode_row(row);
    }
    const faxcodec::StripDecodeStatus& status = decoder.status();
    fuzz::check(status.content_rows <= status.rows_decoded &&
                    status.rows_decoded <= static_cast<uint32_t>(in.height),
                "more rows than asked for");
    // Also where libtiff's decoder would stop at a line of many runs.
    if (in.page && in.flips == 0) {
        fuzz::check(testsupport::first_difference(ours, source) == -1,
                    "a clean page does not come back");
        fuzz::check(status.clean(), "a clean page is reported damaged");
    }
    fuzz::check(encoder.finish() == testsupport::libtiff_encode_group4(ours),
                "the Group 4 code differs from libtiff's");

    const testsupport::LibtiffDecode theirs =
        testsupport::libtiff_decode(data, in.width, in.height, in.coding, in.fill_order);
    if (!theirs.overflowed()) {
        fuzz::check(testsupport::first_difference(ours, theirs.page.normalised()) == -1,
                    "the picture differs from libtiff's");
    }
    return 0;
}
