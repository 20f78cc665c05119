// The T.4/T.6 code tables and the three decoding trees built from them.
//
// Tree node format (byte arrays): the root read takes a fixed number of bits (4 white, 2 black,
// 1 mode) and indexes the array directly. An even entry is an inner node: with bit 1 set read
// 2 more bits and continue at (entry - 2) + bits, else read 1 bit and continue at entry + bit.
// An odd entry is a leaf: 243 invalid, 255 end of line, 247 and 251 end of line with one bit
// read too many; otherwise bit 1 set means make-up (entry >> 2) * 64, clear means terminating
// run (or mode number) entry >> 2.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "faxcodec/decode_status.h"

namespace trelvane::faxcodec {

inline constexpr uint8_t kLeafInvalid = 243;
inline constexpr uint8_t kLeafEndOfLinePushBack11 = 247;
inline constexpr uint8_t kLeafEndOfLinePushBack10 = 251;
inline constexpr uint8_t kLeafEndOfLine = 255;

inline constexpr int kWhiteRootBits = 4;
inline constexpr int kBlackRootBits = 2;
inline constexpr int kModeRootBits = 1;

// Mode numbers of the two-dimensional codes.
enum Mode : int {
    kModeV0 = 0,
    kModeVR1 = 1,
    kModeVR2 = 2,
    kModeVR3 = 3,
    kModeVL1 = 4,
    kModeVL2 = 5,
    kModeVL3 = 6,
    kModeHorizontal = 7,
    kModePass = 8,
    kModeExtension = 9,  // uncompressed-mode entrance, not decoded
};

struct CodeWord {
    std::string_view bits;  // code bits in stream order
    int value;              // run length, or mode number; -1 for an invalid pattern
};

// T.4 tables: terminating codes 0-63, make-up codes 64-1728, extended make-up 1792-2560.
extern const std::span<const CodeWord> kWhiteCodes;
extern const std::span<const CodeWord> kBlackCodes;
// T.4 two-dimensional mode codes and the invalid patterns that start with six zeros.
extern const std::span<const CodeWord> kModeCodes;

// The three trees (padded to 256 entries so that any byte index stays inside).
extern const std::array<uint8_t, 256> kWhiteTree;
extern const std::array<uint8_t, 256> kBlackTree;
extern const std::array<uint8_t, 256> kModeTree;
// Number of entries the trees use.
extern const int kWhiteTreeSize;
extern const int kBlackTreeSize;
extern const int kModeTreeSize;

// Lookup tables derived from the trees: the code that begins the next `bits` stream bits.
// `length` 0 means the code is longer than the window (or ends with a pushed-back bit): walk
// the tree instead.
struct FastEntry {
    int16_t value;   // what decode_run / decode_mode gives
    uint8_t length;  // bits the code takes
};
inline constexpr int kWhiteFastBits = 12;
inline constexpr int kBlackFastBits = 13;
inline constexpr int kModeFastBits = 8;
extern const std::array<FastEntry, 1 << kWhiteFastBits> kWhiteFast;
extern const std::array<FastEntry, 1 << kBlackFastBits> kBlackFast;
extern const std::array<FastEntry, 1 << kModeFastBits> kModeFast;

// What decode_run gives for a leaf of the white or black tree.
constexpr int run_from_leaf(int leaf) {
    if (leaf == kLeafInvalid)
        return kInvalidCode;
    if (leaf == kLeafEndOfLine || leaf == kLeafEndOfLinePushBack10 ||
        leaf == kLeafEndOfLinePushBack11) {
        return kEndOfLine;
    }
    return (leaf & 2) ? (leaf >> 2) * 64 : (leaf >> 2);
}

// What decode_mode gives for a leaf of the mode tree.
constexpr int mode_from_leaf(int leaf) {
    if (leaf == kLeafInvalid)
        return kInvalidCode;
    if (leaf == kLeafEndOfLine || leaf == kLeafEndOfLinePushBack10 ||
        leaf == kLeafEndOfLinePushBack11) {
        return kEndOfLine;
    }
    return leaf >> 2;
}

}  // namespace trelvane::faxcodec
