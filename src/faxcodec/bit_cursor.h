// The page decoders' inner-loop view of a FaxBitReader: the bits ahead held in a 64-bit word in
// locals, so that a code costs a table lookup and a shift instead of byte fetches through the
// reader. It decodes exactly what the reader's tree walk decodes, and `store` hands back the
// very reader state the walk would have left (including the bit pushed back after a padded end
// of line). Where the data ends inside a code it refuses with kCursorNeedsReader: the caller
// stores, lets the reader decide (and fail) in its own way, and loads again.
#pragma once

#include <cstdint>

#include "faxcodec/bit_reader.h"
#include "faxcodec/code_trees.h"
#include "faxcodec/fax_tables.h"

namespace trelvane::faxcodec {

class BitCursor {
  public:
    // Takes over the reader's position. A reader that cannot be read from (no data, a fetch
    // status in `current`) gives a cursor that refuses every code and whose store changes nothing.
    void load(const FaxBitReader& r) {
        usable_ = r.data != nullptr && r.current >= 0 && r.position >= 0 && r.position < r.size &&
                  r.bit_offset <= 8;
        if (!usable_) {
            data_ = nullptr;
            size_ = pos_ = 0;
            acc_ = 0;
            nbits_ = 0;
            return;
        }
        data_ = r.data;
        size_ = r.size;
        reverse_ = r.fill_order != 1;
        first_position_ = r.position;
        first_current_ = r.current;
        // The rest of the current byte comes from `current`, as the reader takes it.
        acc_ = (static_cast<uint64_t>(static_cast<uint8_t>(r.current)) << 56) << r.bit_offset;
        nbits_ = 8 - r.bit_offset;
        pos_ = r.position + 1;
        zero_at_ = r.bit_offset == 0 ? consumed() : -1;
    }

    // Gives the reader the state its own decoding of the same codes would have left.
    void store(FaxBitReader& r) const {
        if (!usable_)
            return;
        const int64_t consumed = this->consumed();
        int64_t position;
        int bit_offset;
        if (consumed == zero_at_) {
            // A pushed-back bit that was the first of its byte: the reader stands before it.
            position = consumed >> 3;
            bit_offset = 0;
        } else {
            // After a read the reader stands in the byte of the last bit taken (offset 1 to 8).
            position = (consumed - 1) >> 3;
            bit_offset = static_cast<int>(consumed - position * 8);
        }
        r.position = static_cast<int32_t>(position);
        r.bit_offset = static_cast<uint8_t>(bit_offset);
        if (r.position == first_position_) {
            r.current = first_current_;
        } else {
            r.current = static_cast<int16_t>(r.fetch(false));
        }
    }

    // The same results as FaxBitReader::decode_run / decode_mode, or kCursorNeedsReader.
    int decode_run(int colour) {
        return colour
                   ? decode<kBlackFastBits>(kBlackFast, kBlackTree.data(), kBlackRootBits, false)
                   : decode<kWhiteFastBits>(kWhiteFast, kWhiteTree.data(), kWhiteRootBits, false);
    }
    int decode_mode() {
        return decode<kModeFastBits>(kModeFast, kModeTree.data(), kModeRootBits, true);
    }

  private:
    // Bits taken from the data so far.
    int64_t consumed() const { return static_cast<int64_t>(pos_) * 8 - nbits_; }

    // Tops the word up to at least 32 bits while the data lasts; bits past the data's end stay
    // 0 and are not counted in nbits_, so a code is only taken when all its bits are real.
    void refill() {
        if (nbits_ >= 32)
            return;
        if (size_ - pos_ >= 4) {
            const uint8_t* p = data_ + pos_;
            uint32_t w = (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                         (static_cast<uint32_t>(p[2]) << 8) | p[3];
            if (reverse_) {
                w = ((w >> 1) & 0x55555555u) | ((w & 0x55555555u) << 1);
                w = ((w >> 2) & 0x33333333u) | ((w & 0x33333333u) << 2);
                w = ((w >> 4) & 0x0F0F0F0Fu) | ((w & 0x0F0F0F0Fu) << 4);
            }
            acc_ |= static_cast<uint64_t>(w) << (32 - nbits_);
            nbits_ += 32;
            pos_ += 4;
            return;
        }
        // At most 56 bits, so that a pushed-back bit always fits.
        while (nbits_ <= 48 && pos_ < size_) {
            const uint8_t byte = reverse_ ? kBitReversal[data_[pos_]] : data_[pos_];
            acc_ |= static_cast<uint64_t>(byte) << (56 - nbits_);
            nbits_ += 8;
            ++pos_;
        }
    }

    void consume(int n) {
        acc_ <<= n;
        nbits_ -= n;
    }

    template <int Bits, size_t N>
    int decode(const std::array<FastEntry, N>& table, const uint8_t* tree, int root_bits,
               bool is_mode) {
        refill();
        const FastEntry e = table[acc_ >> (64 - Bits)];
        if (e.length != 0 && e.length <= nbits_) {
            consume(e.length);
            return e.value;
        }
        const int leaf = walk(tree, root_bits);
        if (leaf == kCursorNeedsReader)
            return leaf;
        return is_mode ? mode_from_leaf(leaf) : run_from_leaf(leaf);
    }

    // FaxBitReader::walk_tree over the word: long codes, and ends of line after fill zeros.
    // Gives the leaf, or kCursorNeedsReader (state untouched) when the data ends first.
    // Kept out of line: the inner loops stay small.
    [[gnu::noinline]] int walk(const uint8_t* tree, int root_bits) {
        const uint64_t saved_acc = acc_;
        const int saved_nbits = nbits_;
        const int32_t saved_pos = pos_;
        bool short_of_data = false;
        auto take = [&](int n) {
            refill();
            if (nbits_ < n) {
                short_of_data = true;
                return 0;
            }
            const int v = static_cast<int>(acc_ >> (64 - n));
            consume(n);
            return v;
        };
        int entry = tree[take(root_bits)];
        while (!short_of_data && (entry & 1) == 0)
            entry = (entry & 2) ? tree[entry - 2 + take(2)] : tree[entry + take(1)];
        if (short_of_data) {
            acc_ = saved_acc;
            nbits_ = saved_nbits;
            pos_ = saved_pos;
            return kCursorNeedsReader;
        }
        if (entry == kLeafEndOfLinePushBack10 || entry == kLeafEndOfLinePushBack11) {
            // One bit read too many (the second of the pair): put it back.
            const uint64_t bit = entry == kLeafEndOfLinePushBack11 ? 1 : 0;
            acc_ = (acc_ >> 1) | (bit << 63);
            nbits_ += 1;
            if ((consumed() & 7) == 0)
                zero_at_ = consumed();
        }
        return entry;
    }

    const uint8_t* data_ = nullptr;  // not owned
    int32_t size_ = 0;
    int32_t pos_ = 0;   // next byte to load into the word
    uint64_t acc_ = 0;  // the next bits, first bit most significant
    int nbits_ = 0;     // bits of acc_ that are data
    bool reverse_ = false;
    bool usable_ = false;
    // Where the reader stands at the start of a byte (bit_offset 0) instead of at the end of
    // the one before: at its start position, and after a pushed-back bit that was the first of
    // its byte. Every code moves on past it. -1: nowhere.
    int64_t zero_at_ = -1;
    int32_t first_position_ = 0;
    int16_t first_current_ = 0;
};

}  // namespace trelvane::faxcodec
