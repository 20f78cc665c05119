// Bit reader over one page's coded data held in memory, with the run and mode readers that
// walk the code trees.
#pragma once

#include <cstdint>

#include "faxcodec/code_trees.h"
#include "faxcodec/decode_status.h"
#include "faxcodec/fax_tables.h"

namespace trelvane::faxcodec {

// Reads bits in stream order from `data`. `current` holds the current byte after fill-order
// conversion, or a negative FetchStatus that stays until `init` (or a decoder's resync)
// fetches again. `bit_offset` counts the bits of `current` already used (8 = used up; the
// next read fetches the following byte).
struct FaxBitReader {
    const uint8_t* data = nullptr;  // not owned
    int32_t size = 0;
    int32_t position = 0;
    int16_t current = kFetchNoData;
    uint8_t fill_order = 1;  // 1: first bit is the most significant bit; else the least
    uint8_t bit_offset = 0;

    // Points the reader at `data` and fetches byte 0 (set `fill_order` first).
    void init(const uint8_t* bytes, int32_t byte_count);
    // Fetches the byte at `position` (after moving on by one when `advance`), converted to
    // fill order 1, or gives a FetchStatus. Does not store the result in `current`.
    int fetch(bool advance);
    // The next n bits (1 to 8), first bit most significant, or a negative fetch status.
    int read_bits(int n);
    // Steps back n bits (1 to 8).
    void unread_bits(int n);

    // One coded run of `colour` (0 white, 1 black) through the code tree: a run length
    // (0 to 63 terminating, a multiple of 64 for make-up codes) or a DecodeStatus.
    int decode_run(int colour);
    // One two-dimensional mode code: the mode number (0 V0, 1-3 VR, 4-6 VL, 7 horizontal,
    // 8 pass, 9 uncompressed-mode entrance) or a DecodeStatus.
    int decode_mode();

    // The same as decode_run and decode_mode, through lookup tables derived from the trees;
    // they fall back to the tree walk for long codes and near the end of the data, so that
    // results and reader state are identical.
    int decode_run_fast(int colour);
    int decode_mode_fast();

    // Moves to just after the 1 that ends the next run of eleven or more zeros, searching
    // from the current byte. Gives 0, or the fetch status when the data ends first.
    int find_end_of_line();

    // Walks one tree from its root read and gives the leaf reached (after pushing back the
    // bit too many of leaves 247 and 251) or a negative fetch status.
    int walk_tree(const uint8_t* tree, int root_bits);
};

namespace detail {

// Looks the next code up in a table of `Bits`-bit windows. Gives false when the tree walk must
// decide instead: an unusable reader, the last two bytes of the data, a code longer than the
// window. Otherwise leaves the reader exactly where the tree walk would (bit_offset 1 to 8 in
// the byte that holds the code's last bit). Inline: it is the decoders' inner loop.
template <int Bits, size_t N>
inline bool lookup_code(FaxBitReader& r, const std::array<FastEntry, N>& table, int& value) {
    if (r.current < 0 || r.data == nullptr || r.size - r.position < 3)
        return false;
    const uint8_t* p = r.data + r.position;
    uint32_t b1 = p[1];
    uint32_t b2 = p[2];
    if (r.fill_order != 1) {
        b1 = kBitReversal[b1];
        b2 = kBitReversal[b2];
    }
    const uint32_t window = (static_cast<uint32_t>(r.current) << 16) | (b1 << 8) | b2;
    const FastEntry e = table[(window >> (24 - r.bit_offset - Bits)) & ((1u << Bits) - 1)];
    if (e.length == 0)
        return false;
    const int end = r.bit_offset + e.length;  // 1 to 21 bits into the window
    const int step = (end - 1) >> 3;
    r.bit_offset = static_cast<uint8_t>(end - (step << 3));
    if (step != 0) {
        r.position += step;
        r.current = static_cast<int16_t>(step == 1 ? b1 : b2);
    }
    value = e.value;
    return true;
}

}  // namespace detail

inline int FaxBitReader::decode_run_fast(int colour) {
    int value = 0;
    if (colour) {
        if (detail::lookup_code<kBlackFastBits>(*this, kBlackFast, value))
            return value;
    } else {
        if (detail::lookup_code<kWhiteFastBits>(*this, kWhiteFast, value))
            return value;
    }
    return decode_run(colour);
}

inline int FaxBitReader::decode_mode_fast() {
    int value = 0;
    if (detail::lookup_code<kModeFastBits>(*this, kModeFast, value))
        return value;
    return decode_mode();
}

}  // namespace trelvane::faxcodec
