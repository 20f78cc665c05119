// The decoding trees through the run and mode readers, and the lookup tables against the
// tree walk they are derived from.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "codec_test_util.h"
#include "faxcodec/bit_reader.h"
#include "faxcodec/code_trees.h"

namespace trelvane::faxcodec::test {
namespace {

int64_t bits_consumed(const FaxBitReader& r) {
    return int64_t{r.position} * 8 + r.bit_offset;
}

// Decodes `code` placed after `lead` bits of padding, followed by enough ones that the lookup
// tables are usable; gives the result and checks the reader stops right after the code.
enum class Reader { Run0, Run1, Mode };
struct Probe {
    int value;
    int64_t consumed;
};
Probe probe(Reader which, bool fast, const std::string& code, int lead, int fill_order) {
    // Lead bits are "1" so that they read as V0 codes / are skipped by read_bits below.
    const std::string stream = std::string(lead, '1') + code + std::string(40, '1');
    const std::vector<uint8_t> data = pack_bits(stream, fill_order, true);
    FaxBitReader r;
    r.fill_order = static_cast<uint8_t>(fill_order);
    r.init(data.data(), static_cast<int32_t>(data.size()));
    if (lead > 0)
        r.read_bits(lead);
    int v;
    switch (which) {
        case Reader::Run0:
            v = fast ? r.decode_run_fast(0) : r.decode_run(0);
            break;
        case Reader::Run1:
            v = fast ? r.decode_run_fast(1) : r.decode_run(1);
            break;
        default:
            v = fast ? r.decode_mode_fast() : r.decode_mode();
            break;
    }
    return {v, bits_consumed(r) - lead};
}

TEST(CodeTrees, EveryCodeWordOfBothColoursDecodesToItsRunLength) {
    EXPECT_EQ(kWhiteCodes.size(), 104u);
    EXPECT_EQ(kBlackCodes.size(), 104u);
    for (int colour : {0, 1}) {
        for (const CodeWord& c : colour ? kBlackCodes : kWhiteCodes) {
            for (bool fast : {false, true}) {
                for (int lead : {0, 3, 7}) {
                    for (int fill_order : {1, 2}) {
                        const Probe p = probe(colour ? Reader::Run1 : Reader::Run0, fast,
                                              std::string(c.bits), lead, fill_order);
                        EXPECT_EQ(p.value, c.value) << colour << " " << c.bits;
                        EXPECT_EQ(p.consumed, static_cast<int64_t>(c.bits.size())) << c.bits;
                    }
                }
            }
        }
    }
}

TEST(CodeTrees, EveryModeCode) {
    struct Row {
        const char* bits;
        int expected;
    };
    const Row rows[] = {
        {"1", 0},
        {"011", 1},
        {"000011", 2},
        {"0000011", 3},
        {"010", 4},
        {"000010", 5},
        {"0000010", 6},
        {"001", 7},
        {"0001", 8},
        {"0000001111", 9},
        {"00000010", -12},
        {"0000001100", -12},
        {"0000001101", -12},
        {"0000001110", -12},
        {"00000001", -12},
    };
    for (const Row& row : rows) {
        for (bool fast : {false, true}) {
            for (int lead : {0, 5}) {
                const Probe p = probe(Reader::Mode, fast, row.bits, lead, 1);
                EXPECT_EQ(p.value, row.expected) << row.bits;
                EXPECT_EQ(p.consumed, static_cast<int64_t>(std::string(row.bits).size()));
            }
        }
    }
}

TEST(CodeTrees, AnyElevenOrMoreZerosEndedByAOneIsOneEndOfLine) {
    for (int zeros = 11; zeros <= 300; ++zeros) {
        const std::string eol = std::string(zeros, '0') + "1";
        for (Reader which : {Reader::Run0, Reader::Run1, Reader::Mode}) {
            for (bool fast : {false, true}) {
                const Probe p = probe(which, fast, eol, zeros % 8, 2);
                EXPECT_EQ(p.value, kEndOfLine) << zeros;
                // A 1 that arrives as the first bit of a pair leaves the pair's second bit.
                EXPECT_EQ(p.consumed, zeros + 1) << zeros;
            }
        }
    }
}

TEST(CodeTrees, EightToTenZerosThenAOneAreInvalid) {
    for (int zeros = 8; zeros <= 10; ++zeros) {
        for (const char* after : {"0", "1"}) {
            const std::string code = std::string(zeros, '0') + "1" + after;
            for (Reader which : {Reader::Run0, Reader::Run1, Reader::Mode}) {
                for (bool fast : {false, true}) {
                    EXPECT_EQ(probe(which, fast, code, 1, 1).value, kInvalidCode) << code;
                }
            }
        }
    }
}

TEST(CodeTrees, EndOfLineAtTheVeryEndOfTheData) {
    // After one bit, zeros from bit 1 on: pairs start at bit 13. A final 1 that is the second
    // bit of a pair completes the code; one that is the first bit of a pair cannot be read.
    const std::vector<uint8_t> complete = pack_bits("1 0000000000000 1 0", 1);
    const std::vector<uint8_t> cut = pack_bits("1 00000000000000 1", 1);
    for (bool fast : {false, true}) {
        FaxBitReader r;
        r.init(complete.data(), static_cast<int32_t>(complete.size()));
        r.read_bits(1);
        EXPECT_EQ(fast ? r.decode_run_fast(0) : r.decode_run(0), kEndOfLine);
        EXPECT_EQ(bits_consumed(r), 15);
        FaxBitReader c;
        c.init(cut.data(), static_cast<int32_t>(cut.size()));
        c.read_bits(1);
        EXPECT_EQ(fast ? c.decode_run_fast(1) : c.decode_run(1), kEndOfData);
    }
}

TEST(CodeTrees, TreesFitTheirByteIndexes) {
    for (int size : {kWhiteTreeSize, kBlackTreeSize, kModeTreeSize})
        EXPECT_LE(size, 256);
    for (const auto* tree : {&kWhiteTree, &kBlackTree, &kModeTree}) {
        for (uint8_t e : *tree) {
            if ((e & 1) == 0) {
                EXPECT_LE(e + 1, 255);  // a group's last entry is still inside
            }
        }
    }
}

// The lookup tables must leave the reader in exactly the tree walk's state with exactly its
// results, whatever the data: random streams rich in zeros, any mix of readers, to the end.
TEST(CodeTrees, LookupTablesMatchTheTreeWalkOnRandomStreams) {
    std::mt19937 rng(12345);
    for (int trial = 0; trial < 3000; ++trial) {
        std::vector<uint8_t> data(1 + rng() % 40);
        const int zero_bias = static_cast<int>(rng() % 4);
        for (uint8_t& b : data) {
            b = static_cast<uint8_t>(rng());
            for (int k = 0; k < zero_bias; ++k)
                b &= static_cast<uint8_t>(rng());
        }
        const uint8_t fill_order = static_cast<uint8_t>(1 + trial % 2);
        FaxBitReader tree;
        tree.fill_order = fill_order;
        tree.init(data.data(), static_cast<int32_t>(data.size()));
        FaxBitReader fast = tree;
        for (int step = 0; step < 400; ++step) {
            const int which = static_cast<int>(rng() % 3);
            int a, b;
            if (which == 2) {
                a = tree.decode_mode();
                b = fast.decode_mode_fast();
            } else {
                a = tree.decode_run(which);
                b = fast.decode_run_fast(which);
            }
            ASSERT_EQ(a, b) << trial << " " << step;
            ASSERT_EQ(tree.position, fast.position);
            ASSERT_EQ(tree.bit_offset, fast.bit_offset);
            ASSERT_EQ(tree.current, fast.current);
            if (a == kEndOfData)
                break;
        }
    }
}

}  // namespace
}  // namespace trelvane::faxcodec::test
