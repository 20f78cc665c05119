// Group 4 page decoder on arbitrary data, width, height, fill order, mode and marker length
// (see decoder_checks.h for what is checked besides the sanitizers).
#include <cstdint>

#include "decoder_checks.h"
#include "faxcodec/group4_decoder.h"

using namespace trelvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    auto decode = [](const fuzz::DecoderInput& in, bool count_only, bool tree_walk) {
        fuzz::DecodeOutcome out;
        faxcodec::Group4Decoder decoder(in.data.data(), static_cast<int32_t>(in.data.size()),
                                        in.fill_order, in.mode, in.invert, in.marker_count);
        decoder.set_dimensions(in.width, in.height);
        decoder.set_count_only(count_only);
        decoder.set_tree_walk(tree_walk);
        decoder.set_resume_in_place(in.resume_in_place);
        out.result = decoder.decode_g4_page(out.image);
        out.position = decoder.reader().position;
        return out;
    };
    return fuzz::check_decoder(bytes, size, decode, [](int result) { return result == 0; });
}
