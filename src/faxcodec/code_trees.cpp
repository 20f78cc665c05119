#include "faxcodec/code_trees.h"

#include "faxcodec/decode_status.h"

namespace trelvane::faxcodec {
namespace {

// Tables 2 and 3 of T.4 (white and black) in stream order.
constexpr std::array<CodeWord, 104> kWhite = {{
    {"00110101", 0},
    {"000111", 1},
    {"0111", 2},
    {"1000", 3},
    {"1011", 4},
    {"1100", 5},
    {"1110", 6},
    {"1111", 7},
    {"10011", 8},
    {"10100", 9},
    {"00111", 10},
    {"01000", 11},
    {"001000", 12},
    {"000011", 13},
    {"110100", 14},
    {"110101", 15},
    {"101010", 16},
    {"101011", 17},
    {"0100111", 18},
    {"0001100", 19},
    {"0001000", 20},
    {"0010111", 21},
    {"0000011", 22},
    {"0000100", 23},
    {"0101000", 24},
    {"0101011", 25},
    {"0010011", 26},
    {"0100100", 27},
    {"0011000", 28},
    {"00000010", 29},
    {"00000011", 30},
    {"00011010", 31},
    {"00011011", 32},
    {"00010010", 33},
    {"00010011", 34},
    {"00010100", 35},
    {"00010101", 36},
    {"00010110", 37},
    {"00010111", 38},
    {"00101000", 39},
    {"00101001", 40},
    {"00101010", 41},
    {"00101011", 42},
    {"00101100", 43},
    {"00101101", 44},
    {"00000100", 45},
    {"00000101", 46},
    {"00001010", 47},
    {"00001011", 48},
    {"01010010", 49},
    {"01010011", 50},
    {"01010100", 51},
    {"01010101", 52},
    {"00100100", 53},
    {"00100101", 54},
    {"01011000", 55},
    {"01011001", 56},
    {"01011010", 57},
    {"01011011", 58},
    {"01001010", 59},
    {"01001011", 60},
    {"00110010", 61},
    {"00110011", 62},
    {"00110100", 63},
    {"11011", 64},
    {"10010", 128},
    {"010111", 192},
    {"0110111", 256},
    {"00110110", 320},
    {"00110111", 384},
    {"01100100", 448},
    {"01100101", 512},
    {"01101000", 576},
    {"01100111", 640},
    {"011001100", 704},
    {"011001101", 768},
    {"011010010", 832},
    {"011010011", 896},
    {"011010100", 960},
    {"011010101", 1024},
    {"011010110", 1088},
    {"011010111", 1152},
    {"011011000", 1216},
    {"011011001", 1280},
    {"011011010", 1344},
    {"011011011", 1408},
    {"010011000", 1472},
    {"010011001", 1536},
    {"010011010", 1600},
    {"011000", 1664},
    {"010011011", 1728},
    {"00000001000", 1792},
    {"00000001100", 1856},
    {"00000001101", 1920},
    {"000000010010", 1984},
    {"000000010011", 2048},
    {"000000010100", 2112},
    {"000000010101", 2176},
    {"000000010110", 2240},
    {"000000010111", 2304},
    {"000000011100", 2368},
    {"000000011101", 2432},
    {"000000011110", 2496},
    {"000000011111", 2560},
}};

constexpr std::array<CodeWord, 104> kBlack = {{
    {"0000110111", 0},
    {"010", 1},
    {"11", 2},
    {"10", 3},
    {"011", 4},
    {"0011", 5},
    {"0010", 6},
    {"00011", 7},
    {"000101", 8},
    {"000100", 9},
    {"0000100", 10},
    {"0000101", 11},
    {"0000111", 12},
    {"00000100", 13},
    {"00000111", 14},
    {"000011000", 15},
    {"0000010111", 16},
    {"0000011000", 17},
    {"0000001000", 18},
    {"00001100111", 19},
    {"00001101000", 20},
    {"00001101100", 21},
    {"00000110111", 22},
    {"00000101000", 23},
    {"00000010111", 24},
    {"00000011000", 25},
    {"000011001010", 26},
    {"000011001011", 27},
    {"000011001100", 28},
    {"000011001101", 29},
    {"000001101000", 30},
    {"000001101001", 31},
    {"000001101010", 32},
    {"000001101011", 33},
    {"000011010010", 34},
    {"000011010011", 35},
    {"000011010100", 36},
    {"000011010101", 37},
    {"000011010110", 38},
    {"000011010111", 39},
    {"000001101100", 40},
    {"000001101101", 41},
    {"000011011010", 42},
    {"000011011011", 43},
    {"000001010100", 44},
    {"000001010101", 45},
    {"000001010110", 46},
    {"000001010111", 47},
    {"000001100100", 48},
    {"000001100101", 49},
    {"000001010010", 50},
    {"000001010011", 51},
    {"000000100100", 52},
    {"000000110111", 53},
    {"000000111000", 54},
    {"000000100111", 55},
    {"000000101000", 56},
    {"000001011000", 57},
    {"000001011001", 58},
    {"000000101011", 59},
    {"000000101100", 60},
    {"000001011010", 61},
    {"000001100110", 62},
    {"000001100111", 63},
    {"0000001111", 64},
    {"000011001000", 128},
    {"000011001001", 192},
    {"000001011011", 256},
    {"000000110011", 320},
    {"000000110100", 384},
    {"000000110101", 448},
    {"0000001101100", 512},
    {"0000001101101", 576},
    {"0000001001010", 640},
    {"0000001001011", 704},
    {"0000001001100", 768},
    {"0000001001101", 832},
    {"0000001110010", 896},
    {"0000001110011", 960},
    {"0000001110100", 1024},
    {"0000001110101", 1088},
    {"0000001110110", 1152},
    {"0000001110111", 1216},
    {"0000001010010", 1280},
    {"0000001010011", 1344},
    {"0000001010100", 1408},
    {"0000001010101", 1472},
    {"0000001011010", 1536},
    {"0000001011011", 1600},
    {"0000001100100", 1664},
    {"0000001100101", 1728},
    {"00000001000", 1792},
    {"00000001100", 1856},
    {"00000001101", 1920},
    {"000000010010", 1984},
    {"000000010011", 2048},
    {"000000010100", 2112},
    {"000000010101", 2176},
    {"000000010110", 2240},
    {"000000010111", 2304},
    {"000000011100", 2368},
    {"000000011101", 2432},
    {"000000011110", 2496},
    {"000000011111", 2560},
}};

constexpr std::array<CodeWord, 15> kModes = {{
    {"1", kModeV0},
    {"011", kModeVR1},
    {"000011", kModeVR2},
    {"0000011", kModeVR3},
    {"010", kModeVL1},
    {"000010", kModeVL2},
    {"0000010", kModeVL3},
    {"001", kModeHorizontal},
    {"0001", kModePass},
    {"0000001111", kModeExtension},
    {"00000010", -1},
    {"0000001100", -1},
    {"0000001101", -1},
    {"0000001110", -1},
    {"00000001", -1},
}};

// Leaf byte of a code word of one of the tables above.
constexpr uint8_t leaf_of(const CodeWord& c, bool is_mode) {
    if (c.value < 0)
        return kLeafInvalid;
    if (is_mode || c.value < 64)
        return static_cast<uint8_t>((c.value << 2) | 1);
    return static_cast<uint8_t>(((c.value / 64) << 2) | 3);
}

constexpr bool has_prefix(std::string_view bits, uint32_t prefix, int length) {
    if (static_cast<int>(bits.size()) < length)
        return false;
    for (int i = 0; i < length; ++i) {
        const uint32_t bit = (prefix >> (length - 1 - i)) & 1;
        if ((bits[i] == '1') != (bit == 1))
            return false;
    }
    return true;
}

struct BuiltTree {
    std::array<uint8_t, 256> nodes{};
    int size = 0;
    bool ok = true;
};

// Lays the tree out breadth first: the root group at 0, every inner node's group at the next
// multiple of four. A node reads 2 bits unless a code ends one bit below it. Patterns of eight
// or more zeros get the rows shared by all three trees, ending in a node that loops on itself
// while pairs of zeros arrive.
template <size_t N>
constexpr BuiltTree build_tree(const std::array<CodeWord, N>& codes, int root_bits, bool is_mode) {
    BuiltTree t;
    struct Pending {
        uint32_t prefix;
        int length;
        int slot;
    };
    std::array<Pending, 512> queue{};
    int head = 0;
    int tail = 0;
    int next_group = ((1 << root_bits) + 3) / 4 * 4;
    for (int i = 0; i < (1 << root_bits); ++i)
        queue[tail++] = {static_cast<uint32_t>(i), root_bits, i};
    auto allocate = [&]() {
        const int g = next_group;
        next_group += 4;
        if (next_group > 256)
            t.ok = false;
        return g < 252 ? g : 252;
    };
    while (head < tail && t.ok) {
        const Pending p = queue[head++];
        bool leaf = false;
        bool deeper = false;
        bool one_below = false;
        for (const CodeWord& c : codes) {
            if (!has_prefix(c.bits, p.prefix, p.length))
                continue;
            const int len = static_cast<int>(c.bits.size());
            if (len == p.length) {
                t.nodes[p.slot] = leaf_of(c, is_mode);
                leaf = true;
            } else {
                deeper = true;
                if (len == p.length + 1)
                    one_below = true;
            }
        }
        if (leaf) {
            if (deeper)
                t.ok = false;  // not prefix free
            continue;
        }
        if (p.prefix == 0 && (p.length == 8 || p.length == 10)) {
            const int g = allocate();
            t.nodes[p.slot] = static_cast<uint8_t>(g + 2);
            t.nodes[g + 1] = p.length == 8 ? kLeafInvalid : kLeafEndOfLine;
            t.nodes[g + 2] = kLeafInvalid;
            t.nodes[g + 3] = kLeafInvalid;
            if (tail + 1 > static_cast<int>(queue.size()))
                t.ok = false;
            queue[tail++] = {0, p.length + 2, g};
            continue;
        }
        if (p.prefix == 0 && p.length == 12) {
            const int g = allocate();
            t.nodes[p.slot] = static_cast<uint8_t>(g + 2);
            t.nodes[g] = static_cast<uint8_t>(g + 2);
            t.nodes[g + 1] = kLeafEndOfLine;
            t.nodes[g + 2] = kLeafEndOfLinePushBack10;
            t.nodes[g + 3] = kLeafEndOfLinePushBack11;
            continue;
        }
        if (!deeper) {
            t.ok = false;  // a pattern with at most seven leading zeros that no code covers
            continue;
        }
        const int g = allocate();
        const int width = one_below ? 1 : 2;
        t.nodes[p.slot] = static_cast<uint8_t>(width == 1 ? g : g + 2);
        if (tail + (1 << width) > static_cast<int>(queue.size())) {
            t.ok = false;
            continue;
        }
        for (int b = 0; b < (1 << width); ++b) {
            queue[tail++] = {(p.prefix << width) | static_cast<uint32_t>(b), p.length + width,
                             g + b};
        }
    }
    t.size = next_group;
    return t;
}

constexpr BuiltTree kWhiteBuilt = build_tree(kWhite, kWhiteRootBits, false);
constexpr BuiltTree kBlackBuilt = build_tree(kBlack, kBlackRootBits, false);
constexpr BuiltTree kModeBuilt = build_tree(kModes, kModeRootBits, true);

static_assert(kWhiteBuilt.ok && kBlackBuilt.ok && kModeBuilt.ok);

template <size_t N>
constexpr bool starts_with(const std::array<uint8_t, 256>& nodes, const std::array<int, N>& row,
                           int from = 0) {
    for (size_t i = 0; i < N; ++i) {
        if (nodes[from + i] != row[i])
            return false;
    }
    return true;
}

// The root rows every implementation of this node format shares.
static_assert(starts_with(kWhiteBuilt.nodes, std::array<int, 16>{18, 22, 26, 28, 32, 38, 42, 9, 13,
                                                                 44, 48, 17, 21, 52, 25, 29}));
static_assert(starts_with(kBlackBuilt.nodes, std::array<int, 4>{6, 8, 13, 9}));
static_assert(starts_with(kModeBuilt.nodes, std::array<int, 2>{6, 1}));
static_assert(starts_with(kModeBuilt.nodes, std::array<int, 4>{8, 29, 17, 5}, 4));

// Walks a tree over a window of `bits` bits, the way FaxBitReader::walk_tree does over a
// stream, and records the code that begins the window. Codes longer than the window and codes
// that end with a pushed-back bit stay length 0 (walk the tree instead).
template <size_t B>
constexpr std::array<FastEntry, (1u << B)> build_fast(const BuiltTree& tree, int root_bits,
                                                      bool is_mode) {
    std::array<FastEntry, (1u << B)> table{};
    for (uint32_t window = 0; window < (1u << B); ++window) {
        int used = 0;
        bool fits = true;
        auto take = [&](int n) -> int {
            if (used + n > static_cast<int>(B)) {
                fits = false;
                return 0;
            }
            const int v = static_cast<int>((window >> (B - used - n)) & ((1u << n) - 1));
            used += n;
            return v;
        };
        int entry = tree.nodes[take(root_bits)];
        while (fits && (entry & 1) == 0) {
            entry = (entry & 2) ? tree.nodes[entry - 2 + take(2)] : tree.nodes[entry + take(1)];
        }
        if (!fits || entry == kLeafEndOfLinePushBack10 || entry == kLeafEndOfLinePushBack11) {
            table[window] = {0, 0};
            continue;
        }
        const int value = is_mode ? mode_from_leaf(entry) : run_from_leaf(entry);
        table[window] = {static_cast<int16_t>(value), static_cast<uint8_t>(used)};
    }
    return table;
}

}  // namespace

const std::span<const CodeWord> kWhiteCodes{kWhite};
const std::span<const CodeWord> kBlackCodes{kBlack};
const std::span<const CodeWord> kModeCodes{kModes};

const std::array<uint8_t, 256> kWhiteTree = kWhiteBuilt.nodes;
const std::array<uint8_t, 256> kBlackTree = kBlackBuilt.nodes;
const std::array<uint8_t, 256> kModeTree = kModeBuilt.nodes;
const int kWhiteTreeSize = kWhiteBuilt.size;
const int kBlackTreeSize = kBlackBuilt.size;
const int kModeTreeSize = kModeBuilt.size;

constinit const std::array<FastEntry, 1 << kWhiteFastBits> kWhiteFast =
    build_fast<kWhiteFastBits>(kWhiteBuilt, kWhiteRootBits, false);
constinit const std::array<FastEntry, 1 << kBlackFastBits> kBlackFast =
    build_fast<kBlackFastBits>(kBlackBuilt, kBlackRootBits, false);
constinit const std::array<FastEntry, 1 << kModeFastBits> kModeFast =
    build_fast<kModeFastBits>(kModeBuilt, kModeRootBits, true);

}  // namespace trelvane::faxcodec
