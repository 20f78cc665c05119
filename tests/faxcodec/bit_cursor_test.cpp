// The decoders' fast paths (BitCursor, RowCursor, the Group 4 line loop on locals) against the
// reference ways they replace: the same codes, the same reader state afterwards (also where a
// pushed-back bit leaves the reader at the start of a byte), the same rows.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "codec_test_util.h"
#include "faxcodec/bit_cursor.h"
#include "faxcodec/bit_reader.h"
#include "faxcodec/line_writer.h"

namespace trelvane::faxcodec::test {
namespace {

using testsupport::Coding;

struct ReaderState {
    int32_t position;
    int16_t current;
    uint8_t bit_offset;
    bool operator==(const ReaderState&) const = default;
};

ReaderState state_of(const FaxBitReader& r) {
    return {r.position, r.current, r.bit_offset};
}

std::ostream& operator<<(std::ostream& os, const ReaderState& s) {
    return os << "{position " << s.position << ", current " << s.current << ", bit_offset "
              << int{s.bit_offset} << "}";
}

// Byte streams that reach every path: random bytes, bytes with long zero stretches (long
// codes, ends of line after fill, pushed-back bits), and real pages coded by libtiff.
std::vector<std::vector<uint8_t>> streams() {
    std::vector<std::vector<uint8_t>> out;
    std::mt19937 rng(2024);
    for (int i = 0; i < 40; ++i) {
        std::vector<uint8_t> s(1 + rng() % 200);
        for (uint8_t& b : s) {
            // Sparse ones: runs of zeros of every length, byte-aligned ones often.
            const int kind = static_cast<int>(rng() % 4);
            b = kind == 0 ? static_cast<uint8_t>(rng())
                          : (kind == 1 ? 0 : static_cast<uint8_t>(rng() & rng() & rng()));
        }
        out.push_back(std::move(s));
    }
    const auto page = testsupport::text_like(1728, 40, 9).normalised();
    for (Coding coding : {Coding::Group3OneDimensional, Coding::Group4}) {
        for (bool fill : {true, false}) {
            if (coding == Coding::Group4 && !fill)
                continue;
            out.push_back(testsupport::encode_page(page, coding, 1, fill).data);
        }
    }
    return out;
}

// Decodes a random sequence of runs and mode codes from `data` twice: through the reader's
// tree walk, and through a cursor the way the decoders use it (the reader takes over where the
// cursor refuses). With `store_every_step` the cursor hands its state back after every code,
// otherwise only at the end. Gives the number of steps that left the reader at bit_offset 0.
int compare_on(const std::vector<uint8_t>& data, int fill_order, uint32_t seed,
               bool store_every_step) {
    FaxBitReader walk;
    walk.fill_order = static_cast<uint8_t>(fill_order);
    walk.init(data.data(), static_cast<int32_t>(data.size()));
    FaxBitReader fast = walk;
    BitCursor cursor;
    cursor.load(fast);
    std::mt19937 rng(seed);
    int zero_offsets = 0;
    for (int step = 0; step < 4000; ++step) {
        const int kind = static_cast<int>(rng() % 3);  // 0 white, 1 black, 2 mode
        const int expected = kind == 2 ? walk.decode_mode() : walk.decode_run(kind);
        int got = kind == 2 ? cursor.decode_mode() : cursor.decode_run(kind);
        if (got == kCursorNeedsReader) {
            cursor.store(fast);
            got = kind == 2 ? fast.decode_mode() : fast.decode_run(kind);
            cursor.load(fast);
        }
        EXPECT_EQ(got, expected) << "step " << step;
        if (store_every_step) {
            cursor.store(fast);
            EXPECT_EQ(state_of(fast), state_of(walk)) << "step " << step;
            cursor.load(fast);
        }
        if (walk.bit_offset == 0 && walk.current >= 0)
            ++zero_offsets;
        if (expected == kEndOfData)
            break;
        // The Group 3 decoder's resynchronisation runs on the reader between cursor spans.
        if (expected == kInvalidCode && rng() % 2 == 0) {
            cursor.store(fast);
            EXPECT_EQ(fast.find_end_of_line(), walk.find_end_of_line());
            cursor.load(fast);
        }
    }
    cursor.store(fast);
    EXPECT_EQ(state_of(fast), state_of(walk));
    return zero_offsets;
}

TEST(BitCursor, DecodesAndLeavesTheReaderExactlyAsTheTreeWalk) {
    int zero_offsets = 0;
    uint32_t seed = 1;
    for (const auto& data : streams()) {
        for (int fill_order : {1, 2}) {
            for (bool every_step : {true, false}) {
                SCOPED_TRACE(testing::Message() << "seed " << seed << " size " << data.size()
                                                << " fill order " << fill_order);
                zero_offsets += compare_on(data, fill_order, seed++, every_step);
            }
        }
    }
    // The pushed-back bit at a byte start must have been met, or the test proves nothing there.
    EXPECT_GT(zero_offsets, 0);
}

TEST(BitCursor, PushedBackBitAtAByteStartIsHandedBack) {
    // White run 8 (five bits), then an end of line padded with zeros so that its 1 ends a
    // byte and is the first bit of a pair the tree reads: the walk takes one bit of the next
    // byte too many and steps back to that byte's start.
    const std::vector<uint8_t> data = pack_bits("10011000 00000000 00000001 10000000 00000000");
    FaxBitReader walk;
    walk.init(data.data(), static_cast<int32_t>(data.size()));
    ASSERT_EQ(walk.decode_run(0), 8);
    ASSERT_EQ(walk.decode_run(0), kEndOfLine);
    ASSERT_EQ(walk.bit_offset, 0);
    ASSERT_EQ(walk.position, 3);

    FaxBitReader fast;
    fast.init(data.data(), static_cast<int32_t>(data.size()));
    BitCursor cursor;
    cursor.load(fast);
    EXPECT_EQ(cursor.decode_run(0), 8);
    EXPECT_EQ(cursor.decode_run(0), kEndOfLine);
    cursor.store(fast);
    EXPECT_EQ(state_of(fast), state_of(walk));
    // Next: white 3 ("1000"), then the data runs out inside a code: the reader decides.
    EXPECT_EQ(cursor.decode_run(0), 3);
    EXPECT_EQ(walk.decode_run(0), 3);
    EXPECT_EQ(cursor.decode_run(0), kCursorNeedsReader);
    cursor.store(fast);
    EXPECT_EQ(state_of(fast), state_of(walk));
}

TEST(BitCursor, UnreadableReaderIsLeftAlone) {
    FaxBitReader r;  // no data: current holds kFetchNoData
    BitCursor cursor;
    cursor.load(r);
    EXPECT_EQ(cursor.decode_run(0), kCursorNeedsReader);
    EXPECT_EQ(cursor.decode_mode(), kCursorNeedsReader);
    const ReaderState before = state_of(r);
    cursor.store(r);
    EXPECT_EQ(state_of(r), before);
}

TEST(RowCursor, WritesWhatWriteRunWrites) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 3000; ++trial) {
        const uint32_t bytes = rng() % 12;
        std::vector<uint8_t> a(bytes);
        for (uint8_t& b : a)
            b = trial % 2 ? static_cast<uint8_t>(rng()) : 0;  // dirty rows too
        std::vector<uint8_t> b = a;
        LineWriter wa;
        wa.reset(a.data(), bytes);
        LineWriter wb;
        wb.reset(b.data(), bytes);
        RowCursor cursor(wb);
        const int runs = static_cast<int>(rng() % 12);
        for (int i = 0; i < runs; ++i) {
            const int64_t length = rng() % 5 == 0 ? rng() % 200 : rng() % 20;
            const bool skip = rng() % 2 == 0;
            write_run(wa, length, skip);
            cursor.write(length, skip);
        }
        cursor.store(wb);
        ASSERT_EQ(a, b) << "trial " << trial;
        ASSERT_EQ(wa.byte_index, wb.byte_index) << "trial " << trial;
        ASSERT_EQ(wa.bit_offset, wb.bit_offset) << "trial " << trial;
    }
}

// After a whole page, damaged or not, the table-driven decoders leave their reader where the
// tree walk leaves it (the WinFax reader goes on from there).
TEST(FastDecoders, LeaveTheReaderWhereTheTreeWalkDoes) {
    const auto page = testsupport::text_like(1728, 30, 4).normalised();
    std::mt19937 rng(31);
    for (Coding coding : {Coding::Group3OneDimensional, Coding::Group4}) {
        for (int fill_order : {1, 2}) {
            const auto coded = testsupport::encode_page(page, coding, fill_order);
            for (int trial = 0; trial < 60; ++trial) {
                std::vector<uint8_t> data = coded.data;
                if (trial % 3 == 1) {
                    data.resize(rng() % data.size());
                } else if (trial % 3 == 2) {
                    for (int f = 0; f < 3; ++f)
                        data[rng() % data.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
                }
                SCOPED_TRACE(testing::Message()
                             << (coding == Coding::Group4 ? "G4" : "G3") << " fill order "
                             << fill_order << " trial " << trial);
                ReaderState states[2];
                int results[2];
                for (bool tree : {false, true}) {
                    FaxPageImage image;
                    const auto fo = static_cast<uint8_t>(fill_order);
                    if (coding == Coding::Group4) {
                        Group4Decoder dec(data.data(), static_cast<int32_t>(data.size()), fo, 0, 0,
                                          3);
                        dec.set_dimensions(1728, 30);
                        dec.set_tree_walk(tree);
                        results[tree] = dec.decode_g4_page(image);
                        states[tree] = state_of(dec.reader());
                    } else {
                        Group3Decoder dec(data.data(), static_cast<int32_t>(data.size()), fo,
                                          kGroup3OneDimensional, 0);
                        dec.set_dimensions(1728, 30);
                        dec.set_tree_walk(tree);
                        results[tree] = dec.decode_page(image);
                        states[tree] = state_of(dec.reader());
                    }
                }
                EXPECT_EQ(results[0], results[1]);
                EXPECT_EQ(states[0], states[1]);
            }
        }
    }
}

}  // namespace
}  // namespace trelvane::faxcodec::test
