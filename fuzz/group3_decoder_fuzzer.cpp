// Group 3 page decoder on arbitrary data, width, height and fill order (see decoder_checks.h
// for what is checked besides the sanitizers).
#include <cstdint>

#include "decoder_checks.h"
#include "faxcodec/group3_decoder.h"

using namespace trelvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    auto decode = [](const fuzz::DecoderInput& in, bool count_only, bool tree_walk) {
        fuzz::DecodeOutcome out;
        faxcodec::Group3Decoder decoder(in.data.data(), static_cast<int32_t>(in.data.size()),
                                        in.fill_order, faxcodec::kGroup3OneDimensional, in.invert);
        decoder.set_dimensions(in.width, in.height);
        decoder.set_count_only(count_only);
        decoder.set_tree_walk(tree_walk);
        out.result = decoder.decode_page(out.image);
        out.position = decoder.reader().position;
        return out;
    };
    // The result counts invalid codes; only kDecodeRefused (no page) is a failure.
    return fuzz::check_decoder(bytes, size, decode, [](int result) { return result >= 0; });
}
