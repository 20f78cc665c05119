#include "faxcodec/group4_encoder.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "faxcodec/code_trees.h"

namespace trelvane::faxcodec {
namespace {

struct Code {
    uint16_t bits = 0;
    uint8_t length = 0;
};

Code code_of(std::string_view bits) {
    Code c;
    for (const char b : bits)
        c.bits = static_cast<uint16_t>(c.bits * 2 + (b == '1' ? 1 : 0));
    c.length = static_cast<uint8_t>(bits.size());
    return c;
}

constexpr Code kPassCode{0b0001, 4};
constexpr Code kHorizontalCode{0b001, 3};
constexpr Code kEndOfLineCode{0b000000000001, 12};
// By a1 - b1, from -3 to 3: VL3, VL2, VL1, V0, VR1, VR2, VR3.
constexpr Code kVerticalCodes[7] = {{0b0000010, 7}, {0b000010, 6}, {0b010, 3},    {0b1, 1},
                                    {0b011, 3},     {0b000011, 6}, {0b0000011, 7}};

constexpr uint32_t kSentinels = 4;

}  // namespace

// T.4 run codes by length: terminating codes 0 to 63, make-up codes by length / 64 (1 to 40).
struct Group4Encoder::RunCodes {
    std::array<std::array<Code, 64>, 2> terminating{};
    std::array<std::array<Code, 41>, 2> make_up{};
};

namespace {

Group4Encoder::RunCodes build_run_codes() {
    Group4Encoder::RunCodes t;
    const std::span<const CodeWord> tables[2] = {kWhiteCodes, kBlackCodes};
    for (int colour = 0; colour < 2; ++colour) {
        for (const CodeWord& w : tables[colour]) {
            if (w.value < 64) {
                t.terminating[colour][w.value] = code_of(w.bits);
            } else {
                t.make_up[colour][w.value / 64] = code_of(w.bits);
            }
        }
    }
    return t;
}

const Group4Encoder::RunCodes& run_codes() {
    static const Group4Encoder::RunCodes t = build_run_codes();
    return t;
}

}  // namespace

Group4Encoder::Group4Encoder(uint32_t width)
    : width_(width),
      codes_(&run_codes()),
      reference_(width + kSentinels, width),
      coding_(width + kSentinels, width),
      // A row's code takes at most about 15 bits a pixel: a vertical code (7 bits) or half a
      // horizontal code (3 bits and two runs of short terminating codes, at most 23 bits) per
      // change, a pass code (4 bits) per two changes of the row above, a make-up code or two
      // per run past 63 pixels. Three bytes a pixel, and room for the end of the page.
      row_room_(uint64_t{width} * 3 + 64) {}

void Group4Encoder::make_room() {
    if (out_.size() - used_ < row_room_)
        out_.resize(std::max(out_.size() * 2, used_ + row_room_ + 4096));
}

inline void Group4Encoder::put(uint32_t code, int length) {
    bits_ = (bits_ << length) | code;
    pending_ += length;
    if (pending_ >= 32)
        flush_word();
}

inline void Group4Encoder::flush_word() {
    pending_ -= 32;
    const uint32_t word = static_cast<uint32_t>(bits_ >> pending_);
    uint8_t* at = out_.data() + used_;
    at[0] = static_cast<uint8_t>(word >> 24);
    at[1] = static_cast<uint8_t>(word >> 16);
    at[2] = static_cast<uint8_t>(word >> 8);
    at[3] = static_cast<uint8_t>(word);
    used_ += 4;
}

void Group4Encoder::encode_row(std::span<const uint32_t> changes) {
    // Anything but strictly ascending positions inside the row is no change at all.
    const uint32_t width = width_;
    uint32_t* const a_out = coding_.data();
    uint32_t count = 0;
    int64_t previous = -1;
    for (const uint32_t c : changes) {
        if (c > previous && c < width) {
            a_out[count++] = c;
            previous = c;
        }
    }
    std::fill_n(a_out + count, kSentinels, width);
    make_room();

    // The bit buffer in locals: the byte stores may alias anything, but not these.
    uint64_t bits = bits_;
    int pending = pending_;
    uint8_t* at = out_.data() + used_;
    const RunCodes& codes = *codes_;
    auto put = [&](uint32_t code, int length) {
        bits = (bits << length) | code;
        pending += length;
        if (pending >= 32) {
            pending -= 32;
            const uint32_t word = static_cast<uint32_t>(bits >> pending);
            at[0] = static_cast<uint8_t>(word >> 24);
            at[1] = static_cast<uint8_t>(word >> 16);
            at[2] = static_cast<uint8_t>(word >> 8);
            at[3] = static_cast<uint8_t>(word);
            at += 4;
        }
    };
    // A run as T.4 codes it: 2560 make-up codes while 2624 or more are left, a make-up code,
    // a terminating code.
    auto put_run = [&](int colour, uint32_t span) {
        while (span >= 2624) {
            const Code c = codes.make_up[colour][40];
            put(c.bits, c.length);
            span -= 2560;
        }
        if (span >= 64) {
            const Code c = codes.make_up[colour][span >> 6];
            put(c.bits, c.length);
            span &= 63;
        }
        const Code c = codes.terminating[colour][span];
        put(c.bits, c.length);
    };

    const uint32_t* a = a_out;
    const uint32_t* b = reference_.data();
    // a0 starts on an imaginary white element before the row.
    int64_t a0 = -1;
    uint32_t colour = 0;  // of the pixels from a0 on
    uint32_t ia = 0;      // a[ia] is a1, the first change right of a0
    uint32_t ib = 0;      // b[ib] is the first change of the row above right of a0
    while (a0 < width) {
        const uint32_t a1 = a[ia];
        // b1: the first change right of a0 to the colour opposite a0's. Changes to black
        // stand at even indexes, changes to white at odd ones.
        while (b[ib] <= a0)
            ++ib;
        // Arithmetic, not a choice: which of the two it is changes with every code, and a
        // branch on it would be mispredicted half the time.
        const uint32_t j = ib + ((ib & 1) ^ colour);
        const uint32_t b1 = b[j];
        const uint32_t b2 = b[j + 1];
        if (b2 < a1) {
            put(kPassCode.bits, kPassCode.length);
            a0 = b2;
            continue;
        }
        const int64_t d = int64_t{a1} - b1;
        if (d >= -3 && d <= 3) {
            const Code c = kVerticalCodes[d + 3];
            put(c.bits, c.length);
            a0 = a1;
            colour ^= 1;
            ++ia;
            continue;
        }
        const uint32_t a2 = a[ia + 1];
        put(kHorizontalCode.bits, kHorizontalCode.length);
        put_run(static_cast<int>(colour), a1 - static_cast<uint32_t>(std::max<int64_t>(a0, 0)));
        put_run(static_cast<int>(colour ^ 1), a2 - a1);
        a0 = a2;
        ia += 2;
    }
    bits_ = bits;
    pending_ = pending;
    used_ = static_cast<size_t>(at - out_.data());
    std::swap(coding_, reference_);
}

std::vector<uint8_t> Group4Encoder::finish() {
    make_room();
    // End-of-facsimile block: two end-of-line codes.
    put(kEndOfLineCode.bits, kEndOfLineCode.length);
    put(kEndOfLineCode.bits, kEndOfLineCode.length);
    while (pending_ >= 8) {
        pending_ -= 8;
        out_[used_++] = static_cast<uint8_t>(bits_ >> pending_);
    }
    if (pending_ > 0)
        out_[used_++] = static_cast<uint8_t>(bits_ << (8 - pending_));
    pending_ = 0;
    bits_ = 0;
    out_.resize(used_);
    used_ = 0;
    return std::move(out_);
}

}  // namespace trelvane::faxcodec
