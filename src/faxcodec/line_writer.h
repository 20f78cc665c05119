// Writes decoded runs into one row of a 1-bit-per-pixel bitmap.
#pragma once

#include <cstdint>
#include <cstring>

#include "faxcodec/decode_status.h"
#include "faxcodec/fax_tables.h"

namespace trelvane::faxcodec {

struct LineWriter {
    uint32_t byte_index = 0;  // byte being filled
    uint32_t capacity = 0;    // bytes in the row
    uint8_t bit_offset = 0;   // next bit in that byte, 0 = most significant
    uint8_t* row = nullptr;   // not owned; `capacity` bytes

    // Points the writer at the start of `bytes` (`count` bytes long) without clearing it.
    void reset(uint8_t* bytes, uint32_t count) {
        row = bytes;
        capacity = count;
        byte_index = 0;
        bit_offset = 0;
    }
};

// Appends a run of `length` pixels: set to 1 unless `skip`, in which case only the position
// moves. Gives 0, or kRunRefused when the run was refused or cut at the end of the row (a refused
// run may have filled the row to its end). Never writes outside the row.
inline int write_run(LineWriter& writer, int64_t length, bool skip) {
    if (writer.byte_index >= writer.capacity)
        return kRunRefused;
    // Runs are never negative in a well-formed line; refuse one rather than move backwards.
    if (length < 0)
        return kRunRefused;
    if (skip) {
        const uint64_t room = writer.capacity - writer.byte_index;
        const uint64_t t = writer.bit_offset + static_cast<uint64_t>(length);
        if (t / 8 >= room) {
            // Past the end of the row: park at the end so that later runs are refused.
            const bool exact = t / 8 == room && t % 8 == 0;
            writer.byte_index = writer.capacity;
            writer.bit_offset = 0;
            return exact ? 0 : kRunRefused;
        }
        writer.byte_index += static_cast<uint32_t>(t / 8);
        writer.bit_offset = static_cast<uint8_t>(t % 8);
        return 0;
    }
    uint8_t* row = writer.row;
    if (writer.bit_offset + length < 8) {
        row[writer.byte_index] |= static_cast<uint8_t>(kHighMasks[length] >> writer.bit_offset);
        writer.bit_offset = static_cast<uint8_t>(writer.bit_offset + length);
        return 0;
    }
    row[writer.byte_index] |=
        static_cast<uint8_t>(kHighMasks[8 - writer.bit_offset] >> writer.bit_offset);
    ++writer.byte_index;
    const uint64_t r = writer.bit_offset + static_cast<uint64_t>(length) - 8;
    writer.bit_offset = 0;
    if (writer.byte_index >= writer.capacity)
        return r == 0 ? 0 : kRunRefused;
    const uint64_t whole = r / 8;
    const uint64_t left = writer.capacity - writer.byte_index;
    if (whole >= left) {
        // The run reaches the row's end: fill the row and refuse what does not fit.
        std::memset(row + writer.byte_index, 0xFF, left);
        writer.byte_index = writer.capacity;
        return whole == left && r % 8 == 0 ? 0 : kRunRefused;
    }
    std::memset(row + writer.byte_index, 0xFF, whole);
    writer.byte_index += static_cast<uint32_t>(whole);
    row[writer.byte_index] = kHighMasks[r % 8];
    writer.bit_offset = static_cast<uint8_t>(r % 8);
    return 0;
}

// write_run for a decoder's line loop: the position held as one bit count in locals. Gives the
// row exactly what write_run gives it for the same runs, which are never negative here.
class RowCursor {
  public:
    explicit RowCursor(const LineWriter& w)
        : row_(w.row), limit_(static_cast<int64_t>(w.capacity) * 8) {
        x_ = w.byte_index >= w.capacity ? limit_
                                        : static_cast<int64_t>(w.byte_index) * 8 + w.bit_offset;
    }

    // Hands the position back (at the row's end: byte_index = capacity, bit_offset 0).
    void store(LineWriter& w) const {
        w.byte_index = static_cast<uint32_t>(x_ >> 3);
        w.bit_offset = static_cast<uint8_t>(x_ & 7);
    }

    void write(int64_t length, bool skip) {
        if (x_ >= limit_)
            return;
        if (skip) {
            x_ = limit_ - x_ <= length ? limit_ : x_ + length;
            return;
        }
        const int offset = static_cast<int>(x_ & 7);
        int64_t index = x_ >> 3;
        if (offset + length < 8) {
            row_[index] |= static_cast<uint8_t>(kHighMasks[length] >> offset);
            x_ += length;
            return;
        }
        row_[index] |= static_cast<uint8_t>(0xFF >> offset);
        ++index;
        const int64_t r = offset + length - 8;  // bits after the first byte
        const int64_t left = (limit_ >> 3) - index;
        if (left <= 0 || r / 8 >= left) {
            if (left > 0)
                std::memset(row_ + index, 0xFF, static_cast<size_t>(left));
            x_ = limit_;
            return;
        }
        std::memset(row_ + index, 0xFF, static_cast<size_t>(r / 8));
        index += r / 8;
        // Like write_run, the byte the run ends in is assigned, not merged.
        row_[index] = kHighMasks[r % 8];
        x_ = index * 8 + r % 8;
    }

  private:
    uint8_t* row_;
    int64_t limit_;  // bits in the row
    int64_t x_;      // next bit to write
};

}  // namespace trelvane::faxcodec
