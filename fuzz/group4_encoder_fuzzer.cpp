// The Group 4 encoder against libtiff's on any page: the same bytes.
#include <cstdint>
#include <vector>

#include "codec_input.h"
#include "fuzz_common.h"
#include "support/libtiff_codec.h"
#include "support/own_codec.h"

using namespace trelvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    fuzz::CodecInput in;
    if (!fuzz::parse_codec_input(bytes, size, in))
        return 0;
    const testsupport::Bitmap page = fuzz::page_of(in);
    fuzz::check(testsupport::encode_group4_ours(page) == testsupport::libtiff_encode_group4(page),
                "the Group 4 code differs from libtiff's");
    return 0;
}
