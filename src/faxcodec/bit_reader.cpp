#include "faxcodec/bit_reader.h"

#include "faxcodec/code_trees.h"
#include "faxcodec/fax_tables.h"

namespace trelvane::faxcodec {

void FaxBitReader::init(const uint8_t* bytes, int32_t byte_count) {
    data = bytes;
    size = byte_count;
    position = 0;
    bit_offset = 0;
    current = static_cast<int16_t>(fetch(false));
}

int FaxBitReader::fetch(bool advance) {
    if (data == nullptr)
        return kFetchNoData;
    if (advance)
        ++position;
    if (position < 0)
        return kFetchBeforeStart;
    if (position >= size)
        return kFetchEndOfData;
    const uint8_t byte = data[position];
    return fill_order == 1 ? byte : kBitReversal[byte];
}

int FaxBitReader::read_bits(int n) {
    if (current < 0)
        return current;
    if (bit_offset + n <= 8) {
        bit_offset = static_cast<uint8_t>(bit_offset + n);
        return (current >> (8 - bit_offset)) & kLowMasks[n];
    }
    const int high = (current & kLowMasks[8 - bit_offset]) << (bit_offset + n - 8);
    bit_offset = static_cast<uint8_t>(bit_offset + n - 8);
    current = static_cast<int16_t>(fetch(true));
    if (current < 0)
        return current;
    return (high | (current >> (8 - bit_offset))) & kLowMasks[n];
}

void FaxBitReader::unread_bits(int n) {
    if (bit_offset >= n) {
        bit_offset = static_cast<uint8_t>(bit_offset - n);
        return;
    }
    --position;
    current = static_cast<int16_t>(fetch(false));
    bit_offset = static_cast<uint8_t>(bit_offset - n + 8);
}

int FaxBitReader::walk_tree(const uint8_t* tree, int root_bits) {
    const int root = read_bits(root_bits);
    if (root < 0)
        return root;
    int entry = tree[root];
    while ((entry & 1) == 0) {
        int next;
        if (entry & 2) {
            const int bits = read_bits(2);
            if (bits < 0)
                return bits;
            next = entry - 2 + bits;
        } else {
            const int bit = read_bits(1);
            if (bit < 0)
                return bit;
            next = entry + bit;
        }
        entry = tree[next];
    }
    if (entry == kLeafEndOfLinePushBack10 || entry == kLeafEndOfLinePushBack11)
        unread_bits(1);
    return entry;
}

int FaxBitReader::decode_run(int colour) {
    const int leaf = colour ? walk_tree(kBlackTree.data(), kBlackRootBits)
                            : walk_tree(kWhiteTree.data(), kWhiteRootBits);
    if (leaf < 0)
        return kEndOfData;
    return run_from_leaf(leaf);
}

int FaxBitReader::decode_mode() {
    const int leaf = walk_tree(kModeTree.data(), kModeRootBits);
    if (leaf < 0)
        return kEndOfData;
    return mode_from_leaf(leaf);
}

int FaxBitReader::find_end_of_line() {
    if (current < 0)
        return current;
    for (;;) {
        int64_t zeros = kTrailingZeros[current];  // no upper limit on fill zeros
        int byte;
        do {
            byte = fetch(true);
            if (byte < 0) {
                current = static_cast<int16_t>(byte);
                return byte;
            }
            current = static_cast<int16_t>(byte);
            zeros += kLeadingZeros[byte];
        } while (byte == 0);
        bit_offset = static_cast<uint8_t>(kLeadingZeros[byte] + 1);
        if (zeros >= 11)
            return 0;
    }
}

}  // namespace trelvane::faxcodec
