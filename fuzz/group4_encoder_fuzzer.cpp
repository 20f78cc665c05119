// The Group 4 encoder against libtiff's on any page: the same bytes.
#include <cstdint>
#include <vector>

#include "codec_input.h"
#include "faxcodec/changing_elements.h"
#include "faxcodec/group4_encoder.h"
#include "fuzz_common.h"
#include "support/libtiff_codec.h"

using namespace trelvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    fuzz::CodecInput in;
    if (!fuzz::parse_codec_input(bytes, size, in))
        return 0;
    const testsupport::Bitmap page = fuzz::page_of(in);
    faxcodec::Group4Encoder encoder(static_cast<uint32_t>(page.width));
    std::vector<uint32_t> changes;
    for (int y = 0; y < page.height; ++y) {
        faxcodec::read_row(page.row(y), static_cast<uint32_t>(page.width), changes);
        encoder.encode_row(changes);
    }
    fuzz::check(encoder.finish() == testsupport::libtiff_encode_group4(page),
                "the Group 4 code differs from libtiff's");
    return 0;
}
