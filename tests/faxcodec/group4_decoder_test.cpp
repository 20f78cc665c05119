// Group 4 page decoding: the mode codes against the reference line, resynchronisation and the
// end of a page.
#include <gtest/gtest.h>

#include <string>

#include "codec_test_util.h"
#include "faxcodec/code_trees.h"
#include "support/libtiff_codec.h"

namespace trelvane::faxcodec::test {
namespace {
using testsupport::Bitmap;

const std::string kEol = "000000000001";
const std::string kV0 = "1", kVL1 = "010", kH = "001", kPass = "0001";
const std::string kInvalid = "0000001110";
const std::string kExtension = "0000001111";

std::string code_of(int colour, int value) {
    for (const CodeWord& c : colour ? kBlackCodes : kWhiteCodes) {
        if (c.value == value)
            return std::string(c.bits);
    }
    return "?";
}
std::string run_bits(int colour, int length) {
    std::string out;
    while (length > 2560) {
        out += code_of(colour, 2560);
        length -= 2560;
    }
    if (length >= 64)
        out += code_of(colour, length / 64 * 64);
    return out + code_of(colour, length % 64);
}
std::string horizontal(int white, int black) {
    return kH + run_bits(0, white) + run_bits(1, black);
}
std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

struct Case {
    const char* name;
    std::string bits;
    int width;
    int height;
    int lines;
    int result;
    std::vector<uint8_t> bitmap;  // with invert 0 (white = 1); empty: not checked
    bool resume_in_place = false;
};

TEST(Group4Decoder, PagesOfModeCodes) {
    const std::string ff = "11111111";
    const Case cases[] = {
        {"all white lines", repeat(kV0, 5), 16, 10, 5, 0, std::vector<uint8_t>(10, 0xFF)},
        {"height caps the count", repeat(kV0, 5), 16, 3, 3, 0, std::vector<uint8_t>(6, 0xFF)},
        {"first line starts black", horizontal(0, 16) + kV0 + kV0, 16, 10, 2, 0, {0, 0, 0, 0}},
        {"pass with no reference run left", kPass + kV0, 16, 10, 1, 0, {0xFF, 0xFF}},
        {"vertical left after a pass includes the pass distance",
         horizontal(4, 4) + kV0 + kPass + kVL1 + kV0,
         16,
         10,
         2,
         0,
         {0xF0, 0xFF, 0xFF, 0xFE}},
        {"one horizontal run of 5150", horizontal(5150, 50), 5200, 1, 1, 0, {}},
        {"end of facsimile block then zero fill", kV0 + kV0 + kEol + kEol + repeat("0", 40), 16, 10,
         2, 0, std::vector<uint8_t>(4, 0xFF)},
        {"data ends before the first line", kH + run_bits(0, 5), 16, 10, 0, -11, {}},
        {"empty data", "", 16, 10, 0, -11, {}},
        {"resync at a marker", kV0 + kInvalid + "00000" + ff + ff + "1" + horizontal(16, 0) + kV0,
         16, 10, 3, 0, std::vector<uint8_t>(6, 0xFF)},
        {"no marker after an invalid code",
         kV0 + kV0 + kInvalid + repeat("0", 30),
         16,
         10,
         2,
         -12,
         {}},
        {"uncompressed-mode entrance is invalid", kV0 + kExtension + "0101", 16, 10, 1, -12, {}},
        {"vertical code left of the line start is invalid",
         horizontal(0, 16) + kVL1,
         16,
         10,
         1,
         -12,
         {}},
        {"resume in place", kV0 + kInvalid + kV0, 16, 10, 2, 0, {}, true},
        {"end of line drops the partial line",
         horizontal(4, 4) + kEol + kV0,
         16,
         10,
         1,
         0,
         {0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        for (Way way : kAllWays) {
            SCOPED_TRACE(c.name);
            const Decoded d =
                decode_g4(pack_bits(c.bits), c.width, c.height, 1, way, 0, c.resume_in_place);
            EXPECT_EQ(d.image.lines, c.lines);
            EXPECT_EQ(d.result, c.result);
            EXPECT_EQ(d.image.coding_kind, kGroup4);
            if (way == Way::Fast && !c.bitmap.empty()) {
                EXPECT_EQ(d.image.bitmap, c.bitmap);
            }
        }
    }
}

TEST(Group4Decoder, LongHorizontalRunIsWrittenWhole) {
    const Decoded d = decode_g4(pack_bits(horizontal(5150, 50)), 5200, 1);
    ASSERT_EQ(d.image.lines, 1);
    const Bitmap page = to_bitmap(d.image);
    for (int x = 0; x < 5200; ++x)
        ASSERT_EQ(page.get(x, 0), x >= 5150) << x;
}

TEST(Group4Decoder, OddModesAreRefusedAndLeaveTheImage) {
    const auto data = pack_bits(kV0);
    for (uint8_t mode : {1, 3, 5}) {
        Group4Decoder dec(data.data(), static_cast<int32_t>(data.size()), 1, mode, 0, 3);
        dec.set_dimensions(16, 4);
        FaxPageImage image;
        image.lines = 9;
        EXPECT_EQ(dec.decode_g4_page(image), kDecodeRefused);
        EXPECT_EQ(image.lines, 9);
    }
    Group4Decoder even(data.data(), static_cast<int32_t>(data.size()), 1, 2, 0, 3);
    even.set_dimensions(16, 4);
    FaxPageImage image;
    EXPECT_EQ(even.decode_g4_page(image), 0);
    EXPECT_EQ(image.lines, 1);
}

TEST(Group4Decoder, ReaderCanBeRepointedAsTheWinFaxReaderDoes) {
    const auto data = pack_bits(repeat(kV0, 3), 2);
    Group4Decoder dec(data.data(), static_cast<int32_t>(data.size()), 1, 0, 0, 3);
    dec.set_fill_order(2);
    dec.init(data.data(), static_cast<int32_t>(data.size()));
    dec.set_dimensions(1728, 3432);
    FaxPageImage image;
    EXPECT_EQ(dec.decode_g4_page(image), 0);
    EXPECT_EQ(image.lines, 3);
    EXPECT_EQ(image.fill_order, 2);
}

TEST(Group4Decoder, ReferenceCursorMoves) {
    // Reference line: white 4, black 4, white 8 (width 16).
    RunList ref;
    ref.runs = {4, 4, 8};
    ref.count = 3;
    ref.index = 1;
    const auto none = std::vector<uint8_t>{};
    Group4Decoder dec(none.data(), 0, 1, 0, 0, 3);
    dec.set_dimensions(16, 1);
    // From a0 = 4 in black, the next change to white is at 8.
    EXPECT_EQ(dec.advance_b1(ref, 4, 4, 1), 8);
    EXPECT_EQ(ref.index, 2u);
    // In white from a0 = 5 the next change to black is past the line: 16 is its end.
    ref.index = 2;
    EXPECT_EQ(dec.advance_b1(ref, 8, 8, 0), 16);
    EXPECT_EQ(Group4Decoder::retreat_b1(ref, 6, 16), 4);
    EXPECT_EQ(ref.index, 1u);
    EXPECT_EQ(Group4Decoder::retreat_b1(ref, -1, 4), 0);
    EXPECT_EQ(ref.index, 0u);
}

TEST(Group4Decoder, HostileDimensionsStayBounded) {
    const auto data = pack_bits(repeat(kV0, 800));
    const Decoded counted = decode_g4(data, 65535, 65535, 1, Way::CountOnly);
    EXPECT_EQ(counted.result, 0);
    EXPECT_EQ(counted.image.lines, 800);
    EXPECT_TRUE(counted.image.bitmap.empty());
    const Decoded full = decode_g4(data, 65535, 65535);
    EXPECT_EQ(full.result, kDecodeRefused);
    EXPECT_EQ(full.image.lines, 65535);
    // Width zero: lines of nothing are still lines, and nothing is written anywhere.
    const Decoded zero = decode_g4(data, 0, 10);
    EXPECT_EQ(zero.image.lines, 10);
    EXPECT_TRUE(zero.image.bitmap.empty());
}

TEST(Group4Decoder, LinesWithTheMostRunsAreKeptWhole) {
    // A line that starts black and changes colour at every pixel holds width + 1 runs; the
    // line after it is coded against all of them.
    const Bitmap page = testsupport::with_most_runs(testsupport::text_like(1728, 40, 6), {10, 11});
    const testsupport::CodedPage coded =
        testsupport::encode_page(page, testsupport::Coding::Group4, 2);
    for (Way way : kAllWays) {
        const Decoded d = decode_g4(coded.data, 1728, 40, 2, way);
        EXPECT_EQ(d.result, 0);
        EXPECT_EQ(d.image.lines, 40);
        if (way == Way::Fast || way == Way::TreeWalk) {
            EXPECT_EQ(testsupport::first_difference(to_bitmap(d.image), page.normalised()), -1);
        }
    }
}

}  // namespace
}  // namespace trelvane::faxcodec::test
