// The bit reader, the end-of-line search, the derived tables and the line writer.
#include <gtest/gtest.h>

#include <vector>

#include "codec_test_util.h"
#include "faxcodec/bit_reader.h"
#include "faxcodec/fax_tables.h"
#include "faxcodec/line_writer.h"

namespace trelvane::faxcodec::test {
namespace {

// A reader over bytes it keeps alive.
struct TestReader {
    std::vector<uint8_t> bytes;
    FaxBitReader r;
    TestReader(std::vector<uint8_t> data, int fill_order) : bytes(std::move(data)) {
        r.fill_order = static_cast<uint8_t>(fill_order);
        r.init(bytes.data(), static_cast<int32_t>(bytes.size()));
    }
    TestReader(const TestReader&) = delete;
};

TEST(DerivedTables, FollowTheirRules) {
    EXPECT_EQ(kBitReversal[0x01], 0x80);
    EXPECT_EQ(kBitReversal[0xB4], 0x2D);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(kBitReversal[kBitReversal[i]], i);
    EXPECT_EQ(kLeadingZeros[0], 8);
    EXPECT_EQ(kLeadingZeros[1], 7);
    EXPECT_EQ(kLeadingZeros[0x80], 0);
    EXPECT_EQ(kTrailingZeros[0], 8);
    EXPECT_EQ(kTrailingZeros[0x80], 7);
    EXPECT_EQ(kTrailingZeros[0x01], 0);
    for (int n = 0; n <= 8; ++n)
        EXPECT_EQ(kLowMasks[n] ^ kHighMasks[8 - n], 255);
}

TEST(FaxBitReader, FillOrdersGiveTheSameBitSequence) {
    TestReader lsb_owner({0x01}, 2);
    FaxBitReader& lsb = lsb_owner.r;
    TestReader msb_owner({0x80}, 1);
    FaxBitReader& msb = msb_owner.r;
    for (int expected : {1, 0, 0, 0, 0, 0, 0, 0}) {
        EXPECT_EQ(lsb.read_bits(1), expected);
        EXPECT_EQ(msb.read_bits(1), expected);
    }
}

TEST(FaxBitReader, ReadEndingAtByteEndDoesNotFetch) {
    const std::vector<uint8_t> data = {0xF0, 0x0F};
    TestReader r_owner(data, 1);
    FaxBitReader& r = r_owner.r;
    EXPECT_EQ(r.read_bits(3), 7);
    EXPECT_EQ(r.read_bits(5), 0x10);
    EXPECT_EQ(r.bit_offset, 8);
    EXPECT_EQ(r.position, 0);
    EXPECT_EQ(r.read_bits(4), 0);
    EXPECT_EQ(r.position, 1);
    EXPECT_EQ(r.bit_offset, 4);
}

TEST(FaxBitReader, ReadsAcrossBytesFirstBitMostSignificant) {
    TestReader r_owner({0xF0, 0x0F, 0xA5}, 1);
    FaxBitReader& r = r_owner.r;
    EXPECT_EQ(r.read_bits(4), 15);
    EXPECT_EQ(r.read_bits(8), 0);
    EXPECT_EQ(r.read_bits(6), 0x3E);  // 1111 10
    EXPECT_EQ(r.read_bits(6), 0x25);  // 10 0101
}

TEST(FaxBitReader, EndOfDataIsSticky) {
    TestReader r_owner({0xAB}, 1);
    FaxBitReader& r = r_owner.r;
    EXPECT_EQ(r.read_bits(8), 0xAB);
    EXPECT_EQ(r.read_bits(1), kFetchEndOfData);
    EXPECT_EQ(r.read_bits(1), kFetchEndOfData);
    EXPECT_EQ(r.read_bits(8), kFetchEndOfData);
    EXPECT_EQ(r.decode_run(0), kEndOfData);
    EXPECT_EQ(r.decode_run_fast(1), kEndOfData);
    EXPECT_EQ(r.find_end_of_line(), kFetchEndOfData);
}

TEST(FaxBitReader, FetchStatusesForNullAndEmptyData) {
    FaxBitReader null_reader;
    null_reader.init(nullptr, 10);
    EXPECT_EQ(null_reader.current, kFetchNoData);
    EXPECT_EQ(null_reader.read_bits(1), kFetchNoData);
    const uint8_t byte = 0xFF;
    FaxBitReader empty_reader;
    empty_reader.init(&byte, 0);
    EXPECT_EQ(empty_reader.read_bits(2), kFetchEndOfData);
}

TEST(FaxBitReader, UnreadStepsBackAcrossByteBoundary) {
    TestReader r_owner({0x0F, 0xC0}, 1);
    FaxBitReader& r = r_owner.r;
    EXPECT_EQ(r.read_bits(8), 0x0F);
    EXPECT_EQ(r.read_bits(2), 3);
    r.unread_bits(4);
    EXPECT_EQ(r.position, 0);
    EXPECT_EQ(r.bit_offset, 6);
    EXPECT_EQ(r.read_bits(4), 0xF);
}

TEST(FindEndOfLine, CountsZerosAcrossBytes) {
    TestReader r_owner({0x80, 0x00, 0x20, 0xFF}, 1);
    FaxBitReader& r = r_owner.r;
    EXPECT_EQ(r.find_end_of_line(), 0);  // 7 + 8 + 2 zeros
    EXPECT_EQ(r.position, 2);
    EXPECT_EQ(r.bit_offset, 3);
}

TEST(FindEndOfLine, HasNoUpperLimitOnZeros) {
    std::vector<uint8_t> data(34, 0);
    data[0] = 0x80;
    data[33] = 0x20;
    TestReader r_owner(data, 1);
    FaxBitReader& r = r_owner.r;
    EXPECT_EQ(r.find_end_of_line(), 0);  // 265 zeros
    EXPECT_EQ(r.position, 33);
    EXPECT_EQ(r.bit_offset, 3);
}

TEST(FindEndOfLine, SkipsShortZeroRunsAndReportsEndOfData) {
    // 7 + 3 zeros is no end-of-line code; the next one (4 + 7) is.
    TestReader r_owner({0x80, 0x10, 0x01, 0xFF}, 1);
    FaxBitReader& r = r_owner.r;
    EXPECT_EQ(r.find_end_of_line(), 0);
    EXPECT_EQ(r.position, 2);
    EXPECT_EQ(r.bit_offset, 8);
    TestReader none_owner({0x80, 0x10}, 1);
    FaxBitReader& none = none_owner.r;
    EXPECT_EQ(none.find_end_of_line(), kFetchEndOfData);
    EXPECT_EQ(none.read_bits(1), kFetchEndOfData);
}

TEST(FindEndOfLine, WorksInFillOrderTwo) {
    TestReader r_owner({0x01, 0x00, 0x04}, 2);
    FaxBitReader& r = r_owner.r;  // 0x80 0x00 0x20 reversed
    EXPECT_EQ(r.find_end_of_line(), 0);
    EXPECT_EQ(r.position, 2);
    EXPECT_EQ(r.bit_offset, 3);
}

// A row inside guard bytes that must never change.
struct GuardedRow {
    std::vector<uint8_t> buffer;
    LineWriter writer;
    explicit GuardedRow(uint32_t bytes) : buffer(bytes + 8, 0xA5) {
        std::fill(buffer.begin() + 4, buffer.end() - 4, 0);
        writer.reset(buffer.data() + 4, bytes);
    }
    std::vector<uint8_t> row() const { return {buffer.begin() + 4, buffer.end() - 4}; }
    bool guards_intact() const {
        for (int i = 0; i < 4; ++i) {
            if (buffer[i] != 0xA5 || buffer[buffer.size() - 1 - i] != 0xA5)
                return false;
        }
        return true;
    }
};

TEST(WriteRun, ZeroLengthChangesNothing) {
    GuardedRow g(4);
    g.writer.bit_offset = 3;
    EXPECT_EQ(write_run(g.writer, 0, false), 0);
    EXPECT_EQ(g.row(), std::vector<uint8_t>(4, 0));
    EXPECT_EQ(g.writer.bit_offset, 3);
    EXPECT_EQ(g.writer.byte_index, 0u);
}

TEST(WriteRun, RunAcrossByteBoundary) {
    GuardedRow g(4);
    ASSERT_EQ(write_run(g.writer, 3, true), 0);
    EXPECT_EQ(write_run(g.writer, 10, false), 0);
    EXPECT_EQ(g.row(), (std::vector<uint8_t>{0x1F, 0xF8, 0, 0}));
    EXPECT_EQ(g.writer.byte_index, 1u);
    EXPECT_EQ(g.writer.bit_offset, 5);
}

TEST(WriteRun, LongRunsFillWholeBytesAndStopAtTheRowEnd) {
    GuardedRow g(4);
    ASSERT_EQ(write_run(g.writer, 2, true), 0);
    EXPECT_EQ(write_run(g.writer, 20, false), 0);
    EXPECT_EQ(g.row(), (std::vector<uint8_t>{0x3F, 0xFF, 0xFC, 0}));
    EXPECT_EQ(write_run(g.writer, 1000, false), kRunRefused);
    EXPECT_EQ(g.row(), (std::vector<uint8_t>{0x3F, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(write_run(g.writer, 5, false), kRunRefused);
    EXPECT_EQ(write_run(g.writer, 5, true), kRunRefused);
    EXPECT_TRUE(g.guards_intact());
}

TEST(WriteRun, NeverWritesOutsideTheRow) {
    for (uint32_t bytes : {0u, 1u, 3u}) {
        for (int64_t first :
             std::vector<int64_t>{0, 1, 7, 8, 9, 23, 24, 25, 70000, int64_t{1} << 40}) {
            for (int64_t second : std::vector<int64_t>{-5, 0, 1, 8, 17, 70000, int64_t{1} << 40}) {
                for (bool skip_first : {false, true}) {
                    GuardedRow g(bytes);
                    write_run(g.writer, first, skip_first);
                    write_run(g.writer, second, false);
                    write_run(g.writer, second, true);
                    write_run(g.writer, first, false);
                    EXPECT_TRUE(g.guards_intact()) << bytes << " " << first << " " << second;
                }
            }
        }
    }
}

}  // namespace
}  // namespace trelvane::faxcodec::test
