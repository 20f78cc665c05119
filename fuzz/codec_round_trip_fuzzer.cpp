// Any page coded by the Group 4 encoder and decoded again by the strip decoder, and by libtiff's
// decoder, is the page it was, and the decoder calls it clean.
#include <cstdint>
#include <vector>

#include "codec_input.h"
#include "faxcodec/changing_elements.h"
#include "faxcodec/strip_decoder.h"
#include "fuzz_common.h"
#include "support/libtiff_codec.h"
#include "support/own_codec.h"

using namespace trelvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    fuzz::CodecInput in;
    if (!fuzz::parse_codec_input(bytes, size, in))
        return 0;
    const testsupport::Bitmap page = fuzz::page_of(in);
    const uint32_t width = static_cast<uint32_t>(page.width);
    const std::vector<uint8_t> code = testsupport::encode_group4_ours(page);

    const faxcodec::CodedStrip strip(code, 1);
    faxcodec::StripDecoder decoder(strip, faxcodec::StripCoding::kGroup4, width);
    testsupport::Bitmap back(page.width, page.height);
    for (int y = 0; y < page.height; ++y) {
        faxcodec::draw_row(decoder.next_row(), width,
                           back.bits.data() + static_cast<size_t>(y) * back.row_bytes());
    }
    fuzz::check(testsupport::first_difference(back, page) == -1,
                "the decoded page is not the page coded");
    fuzz::check(decoder.status().clean(), "our own code decodes as damaged");
    const testsupport::LibtiffDecode theirs =
        testsupport::libtiff_decode(code, page.width, page.height, testsupport::Coding::Group4, 1);
    fuzz::check(testsupport::first_difference(theirs.page.normalised(), page) == -1,
                "libtiff decodes our code to another page");
    return 0;
}
