#include "faxcodec/group4_decoder.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "faxcodec/bit_cursor.h"
#include "faxcodec/code_trees.h"
#include "faxcodec/fax_tables.h"
#include "faxcodec/page_buffers.h"

namespace trelvane::faxcodec {

Group4Decoder::Group4Decoder(const uint8_t* data, int32_t size, uint8_t fill_order, uint8_t mode,
                             uint8_t invert, uint8_t marker_count)
    : invert_(invert), mode_(mode), marker_count_(marker_count) {
    reader_.fill_order = fill_order;
    reader_.init(data, size);
}

void Group4Decoder::set_dimensions(int32_t width, int32_t height) {
    width_ = width;
    height_ = height;
}

int Group4Decoder::decode_g4_page(FaxPageImage& image) {
    if (mode_ % 4 == 1 || mode_ % 4 == 3)
        return kDecodeRefused;
    fill_page_fields(image, width_, height_, static_cast<uint32_t>(reader_.size),
                     reader_.fill_order, kGroup4, invert_);
    image.bitmap.clear();
    const int64_t row_bytes = row_bytes_for(width_);
    if (row_bytes < 0 || height_ < 0)
        return kDecodeRefused;
    if (!count_only_ && !allocate_zeroed(image.bitmap, row_bytes * height_))
        return kDecodeRefused;
    std::vector<uint8_t> scratch;
    RunList coding;
    RunList reference;
    // A line holds at most width + 1 runs: a white run of 0 and one run a pixel.
    const int64_t run_capacity = int64_t{std::max<int32_t>(width_, 0)} + 1;
    if (!allocate_zeroed(scratch, row_bytes) || !allocate_zeroed(coding.runs, run_capacity) ||
        !allocate_zeroed(reference.runs, run_capacity)) {
        image.bitmap.clear();
        return kDecodeRefused;
    }

    reference.set_all_white(width_);
    int32_t lines = 0;
    int result = 0;
    LineWriter writer;
    for (;;) {
        if (lines < height_ && !count_only_) {
            uint8_t* row = image.bitmap.data() + static_cast<size_t>(lines) * row_bytes;
            std::fill_n(row, row_bytes, uint8_t{0});
            writer.reset(row, static_cast<uint32_t>(row_bytes));
        } else {
            // Counting, or the page is full: the lines are decoded only to follow the data,
            // and a writer without room draws nothing (what it draws never steers decoding).
            lines = std::min(lines, height_);
            writer.reset(scratch.data(), 0);
        }
        coding.count = 0;
        coding.index = 0;
        const int64_t total = decode_g4_line(writer, coding, reference);
        if (total == kEndOfData) {
            result = lines > 0 ? 0 : kEndOfData;
            break;
        }
        if (total == kEndOfDataAtLineEnd) {
            ++lines;
            result = 0;
            break;
        }
        if (total == kEndOfLine) {
            reference.set_all_white(width_);
            continue;
        }
        if (total == kInvalidCode) {
            if (find_sync_marker() != 0) {
                result = kInvalidCode;
                break;
            }
            reference.set_all_white(width_);
            continue;
        }
        ++lines;
        if (first_line_only_ && lines <= height_)
            break;
        std::swap(coding, reference);
        reference.index = 0;
        // Only a zero width leaves a line without runs; keep the reference usable.
        if (reference.count == 0)
            reference.set_all_white(width_);
    }
    if (lines > height_)
        lines = height_;
    image.lines = lines;
    if (!count_only_)
        image.bitmap.resize(static_cast<size_t>(lines) * row_bytes);
    return result;
}

namespace {

// A line's runs as the line loop works on them: pointer, count and cursor in locals, so that
// writes into the bitmap row cannot make the compiler reload them after every run.
struct RunCursor {
    int32_t* runs;
    uint32_t count;
    uint32_t index;
};

RunCursor cursor_of(RunList& list) {
    // A count beyond the storage would read past it: only the stored runs are taken.
    const uint32_t stored = static_cast<uint32_t>(std::min<size_t>(list.runs.size(), UINT32_MAX));
    return {list.runs.data(), std::min(list.count, stored), list.index};
}

// First changing element right of a0 of the colour opposite to `colour` (see advance_b1).
inline int64_t advance(RunCursor& ref, int64_t width, int64_t a0, int64_t b1, int colour) {
    while (b1 < width && b1 <= a0 && ref.index < ref.count) {
        b1 += ref.runs[ref.index];
        ++ref.index;
    }
    if (static_cast<int>(ref.index % 2) == colour && ref.index < ref.count) {
        b1 += ref.runs[ref.index];
        ++ref.index;
    }
    return b1;
}

// Moves the cursor back until b1 is not right of a1 (see retreat_b1).
inline int64_t retreat(RunCursor& ref, int64_t a1, int64_t b1) {
    if (a1 < 0) {
        ref.index = 0;
        return 0;
    }
    while (a1 < b1) {
        if (ref.index > 0) {
            --ref.index;
            b1 -= ref.runs[ref.index];
        } else {
            b1 = 0;
        }
    }
    return b1;
}

// The reader's own tree walk: the reference way.
struct TreeWalkCodes {
    FaxBitReader& reader;
    int mode() { return reader.decode_mode(); }
    int run(int colour) { return reader.decode_run(colour); }
};

// The tables through a cursor over the reader, which takes over where the data ends.
struct CursorCodes {
    FaxBitReader& reader;
    BitCursor cursor;

    explicit CursorCodes(FaxBitReader& r) : reader(r) { cursor.load(r); }
    int mode() {
        const int code = cursor.decode_mode();
        return code != kCursorNeedsReader ? code : by_reader(-1);
    }
    int run(int colour) {
        const int code = cursor.decode_run(colour);
        return code != kCursorNeedsReader ? code : by_reader(colour);
    }
    // A run (colour 0 or 1) or a mode code (-1) decided by the reader.
    [[gnu::noinline]] int by_reader(int colour) {
        cursor.store(reader);
        const int code = colour < 0 ? reader.decode_mode() : reader.decode_run(colour);
        cursor.load(reader);
        return code;
    }
};

}  // namespace

int64_t Group4Decoder::decode_g4_line(LineWriter& writer, RunList& coding, RunList& reference) {
    if (tree_walk_) {
        TreeWalkCodes codes{reader_};
        return decode_line(codes, writer, coding, reference);
    }
    CursorCodes codes(reader_);
    const int64_t total = decode_line(codes, writer, coding, reference);
    codes.cursor.store(reader_);
    return total;
}

template <class Codes>
int64_t Group4Decoder::decode_line(Codes& codes, LineWriter& writer, RunList& coding,
                                   RunList& reference) {
    const int64_t width = width_;
    const bool invert = invert_ != 0;
    RowCursor row(writer);
    RunCursor ref = cursor_of(reference);
    RunCursor out{coding.runs.data(), coding.count, coding.index};
    // Runs beyond the most a line can hold (or the storage) are not kept.
    const uint32_t out_limit = static_cast<uint32_t>(std::clamp<int64_t>(
        std::min<int64_t>(static_cast<int64_t>(std::min<size_t>(coding.runs.size(), UINT32_MAX)),
                          width + 1),
        0, UINT32_MAX));

    // Pixels written so far are a0 - pending: every run ends where a0 then stands.
    int64_t a0 = 0;
    int64_t pending = 0;  // pass-mode distance not yet written
    int colour = 0;
    // b1 starts at the end of the reference line's first (white) run.
    int64_t b1 = width;
    ref.index = 0;
    if (ref.count > 0) {
        b1 = ref.runs[0];
        ref.index = 1;
    }

    // Writes one run of the current colour that ends at a0 + run and flips the colour.
    auto emit = [&](int64_t run) {
        row.write(run, (colour != 0) != invert);
        if (out.count < out_limit) {
            // Runs beyond any real width are kept as the largest run, which still passes it.
            out.runs[out.count++] =
                static_cast<int32_t>(std::min<int64_t>(run, std::numeric_limits<int32_t>::max()));
        }
        colour ^= 1;
        pending = 0;
    };

    auto line = [&]() -> int64_t {
        for (;;) {
            const int mode = codes.mode();
            if (mode <= kModeVL3 && mode >= 0) {
                // Vertical: a1 is b1 moved by the code's offset.
                static constexpr int8_t kOffset[] = {0, 1, 2, 3, -1, -2, -3};
                const int64_t a1 = b1 + kOffset[mode];
                // A changing element left of a0 cannot be coded: the data is damaged.
                if (a1 < a0)
                    return kInvalidCode;
                if (mode > kModeVR3)
                    b1 = retreat(ref, a1, b1);
                emit(pending + (a1 - a0));
                a0 = a1;
                if (a1 >= width)
                    return a0;
                b1 = advance(ref, width, a0, b1, colour);
            } else if (mode == kModeHorizontal) {
                for (int part = 0; part < 2; ++part) {
                    int64_t run = 0;
                    int code;
                    do {
                        code = codes.run(colour);
                        if (code < 0)
                            return code;
                        run += code;
                    } while (code > 63);
                    a0 += run;
                    emit(pending + run);
                }
                if (a0 >= width)
                    return a0;
                b1 = advance(ref, width, a0, b1, colour);
            } else if (mode == kModePass) {
                int64_t b2;
                if (ref.index < ref.count) {
                    b2 = b1 + ref.runs[ref.index];
                    ++ref.index;
                } else {
                    b2 = width;
                    b1 = width;
                }
                if (b2 < a0)
                    return kInvalidCode;  // would move backwards: damaged data
                pending += b2 - a0;
                a0 = b2;
                b1 = advance(ref, width, b2, b2, colour);
            } else if (mode == kEndOfData) {
                return a0 - pending == width ? kEndOfDataAtLineEnd : kEndOfData;
            } else if (mode < 0) {
                return mode;  // invalid code or end of line
            } else {
                return kInvalidCode;  // uncompressed mode is not decoded
            }
        }
    };
    const int64_t result = line();
    row.store(writer);
    reference.index = ref.index;
    coding.count = out.count;
    return result;
}

int64_t Group4Decoder::advance_b1(RunList& reference, int64_t a0, int64_t b1, int colour) const {
    RunCursor ref = cursor_of(reference);
    b1 = advance(ref, width_, a0, b1, colour);
    reference.index = ref.index;
    return b1;
}

int64_t Group4Decoder::retreat_b1(RunList& reference, int64_t a1, int64_t b1) {
    RunCursor ref = cursor_of(reference);
    b1 = retreat(ref, a1, b1);
    reference.index = ref.index;
    return b1;
}

int Group4Decoder::find_sync_marker() {
    FaxBitReader& r = reader_;
    if (resume_in_place_) {
        r.current = static_cast<int16_t>(r.fetch(false));
        return 0;
    }
    // Never search again before the byte after the last marker found.
    resume_position_ = std::max(resume_position_, r.position);
    r.position = resume_position_;
    r.bit_offset = 0;
    r.current = static_cast<int16_t>(r.fetch(false));
    for (;;) {
        r.bit_offset = 0;
        int n = 0;
        if (marker_count_ > 0) {
            if (r.current < 0)
                return r.current;
            while (r.current != 0xFF) {
                r.current = static_cast<int16_t>(r.fetch(true));
                if (r.current < 0)
                    return r.current;
            }
            n = 1;
        }
        while (r.current == 0xFF) {
            ++n;
            r.current = static_cast<int16_t>(r.fetch(true));
        }
        if (r.current < 0)
            return r.current;
        if (n < marker_count_)
            continue;
        // Resume at the first 0 bit after the byte's leading ones, if two 0 bits follow it.
        r.bit_offset = kLeadingZeros[static_cast<uint8_t>(~r.current)];
        const int bits = r.read_bits(3);
        if (bits < 0)
            return bits;
        if (bits <= 1) {
            resume_position_ = r.position + 1;
            r.unread_bits(3);
            r.current = static_cast<int16_t>(r.fetch(false));
            return 0;
        }
        r.current = static_cast<int16_t>(r.fetch(true));
        if (r.current < 0)
            return r.current;
    }
}

}  // namespace trelvane::faxcodec
