// Group 3 page decoding: line counting rules, resynchronisation, the page image fields.
#include <gtest/gtest.h>

#include <string>

#include "codec_test_util.h"
#include "faxcodec/code_trees.h"

namespace trelvane::faxcodec::test {
namespace {

const std::string kEol = "000000000001";

// Code bits of one run (make-up codes, then the terminating code).
std::string run_bits(int colour, int length) {
    const auto codes = colour ? kBlackCodes : kWhiteCodes;
    auto code_of = [&](int value) {
        for (const CodeWord& c : codes) {
            if (c.value == value)
                return std::string(c.bits);
        }
        return std::string("?");
    };
    std::string out;
    while (length > 2560) {
        out += code_of(2560);
        length -= 2560;
    }
    if (length >= 64)
        out += code_of(length / 64 * 64);
    return out + code_of(length % 64);
}

// A line of alternating runs starting white, with its end-of-line code in front.
std::string line(std::initializer_list<int> runs) {
    std::string out = kEol;
    int colour = 0;
    for (int r : runs) {
        out += run_bits(colour, r);
        colour ^= 1;
    }
    return out;
}

TEST(ClassifyWidth, FollowsTheWidthTable) {
    struct Row {
        int32_t width;
        uint16_t x_resolution;
        uint8_t width_class;
    };
    const Row rows[] = {{0, 200, 1},    {1728, 200, 1}, {1729, 200, 2}, {2048, 200, 2},
                        {2432, 200, 3}, {2592, 300, 1}, {3072, 300, 2}, {3456, 400, 1},
                        {3500, 300, 3}, {3648, 300, 3}, {4096, 400, 2}, {4864, 400, 3},
                        {5000, 400, 3}, {65535, 400, 3}};
    for (const Row& row : rows) {
        const WidthClass wc = classify_width(row.width);
        EXPECT_EQ(wc.x_resolution, row.x_resolution) << row.width;
        EXPECT_EQ(wc.width_class, row.width_class) << row.width;
    }
}

TEST(Group3Decoder, FillsThePageFields) {
    const auto data = pack_bits(line({1728}), 2);
    const Decoded d = decode_g3(data, 1728, 10, 2);
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.image.lines, 1);
    EXPECT_EQ(d.image.row_bytes, 216);
    EXPECT_EQ(d.image.planes, 1);
    EXPECT_EQ(d.image.bits_per_pixel, 1);
    EXPECT_EQ(d.image.data_size, data.size());
    EXPECT_EQ(d.image.x_resolution, 200);
    EXPECT_EQ(d.image.y_resolution, 100);
    EXPECT_EQ(d.image.resolution_unit, 2);
    EXPECT_EQ(d.image.fill_order, 2);
    EXPECT_EQ(d.image.coding_kind, kGroup3OneDimensional);
    EXPECT_EQ(d.image.width_class, 1);
    // With invert 0 white is written as 1 bits.
    EXPECT_EQ(d.image.bitmap, std::vector<uint8_t>(216, 0xFF));
    const Decoded inverted = decode_g3(data, 1728, 10, 2, Way::Fast, 1);
    EXPECT_EQ(inverted.image.bitmap, std::vector<uint8_t>(216, 0x00));
}

TEST(Group3Decoder, OtherCodingKindsAreRefusedAndLeaveTheImage) {
    const auto data = pack_bits(line({16}));
    Group3Decoder dec(data.data(), static_cast<int32_t>(data.size()), 1, kGroup4, 0);
    dec.set_dimensions(16, 4);
    FaxPageImage image;
    image.lines = 77;
    EXPECT_EQ(dec.decode_page(image), kDecodeRefused);
    EXPECT_EQ(image.lines, 77);
    dec.set_coding_kind(kGroup3OneDimensional);
    EXPECT_EQ(dec.decode_page(image), 0);
    EXPECT_EQ(image.lines, 1);
}

TEST(Group3Decoder, LineCountingRules) {
    struct Case {
        const char* name;
        std::string bits;
        int height;
        int lines;
        int result;
    };
    const std::string fill = "0000000";
    const Case cases[] = {
        {"leading end-of-line adds no line", line({8, 8}) + line({16}), 10, 2, 0},
        {"return to control adds no line and decoding goes on",
         line({16}) + kEol + kEol + kEol + kEol + kEol + kEol + line({4, 12}), 10, 2, 0},
        {"height caps the count", line({16}) + line({16}) + line({16}) + line({16}), 2, 2, 0},
        {"empty data", "", 10, 0, 0},
        {"fill bits ahead of end-of-line codes", fill + line({16}) + fill + fill + line({3, 13}),
         10, 2, 0},
        {"short line dropped", line({10}) + line({16}), 10, 1, 0},
        {"line passing the width dropped, not invalid", line({16, 2}) + line({16}) + kEol, 10, 1,
         0},
        {"last line without end-of-line code counts", line({16}) + line({1, 15}), 10, 2, 0},
        {"truncated last line does not count", line({16}) + line({1, 15}).substr(0, 16), 10, 1, 0},
        {"zero height", line({16}) + line({16}), 0, 0, 0},
    };
    for (const Case& c : cases) {
        for (Way way : kAllWays) {
            const Decoded d = decode_g3(pack_bits(c.bits), 16, c.height, 1, way);
            EXPECT_EQ(d.image.lines, c.lines) << c.name;
            EXPECT_EQ(d.result, c.result) << c.name;
        }
    }
}

TEST(Group3Decoder, InvalidCodeInBlackRunResumesWithWhiteAfterNextEndOfLine) {
    // White 4, then an invalid pattern read with the black tree.
    const std::string bits = line({4}) + "0000000011" + "0101" + line({3, 13});
    for (Way way : kAllWays) {
        const Decoded d = decode_g3(pack_bits(bits), 16, 10, 1, way);
        EXPECT_EQ(d.result, 1);
        ASSERT_EQ(d.image.lines, 1);
        if (way == Way::Fast) {
            // 3 white, 13 black: with invert 0 white is 1 bits.
            EXPECT_EQ(d.image.bitmap, (std::vector<uint8_t>{0xE0, 0x00}));
        }
    }
}

TEST(Group3Decoder, LinesBeyondTheHeightLeaveTheLastRowAlone) {
    // Two lines fill the page; a third, longer than the width and dropped, must not disturb
    // row 1.
    const std::string bits = line({16}) + line({8, 8}) + line({12, 20}) + line({16});
    const Decoded d = decode_g3(pack_bits(bits), 16, 2);
    ASSERT_EQ(d.image.lines, 2);
    EXPECT_EQ(d.image.bitmap, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x00}));
}

TEST(Group3Decoder, HostileDimensionsStayBounded) {
    const std::string bits = line({65535}) + line({1000, 64535}) + line({5});
    const auto data = pack_bits(bits);
    const Decoded counted = decode_g3(data, 65535, 65535, 1, Way::CountOnly);
    EXPECT_EQ(counted.result, 0);
    EXPECT_EQ(counted.image.lines, 2);
    EXPECT_TRUE(counted.image.bitmap.empty());
    // The full bitmap of such a header is larger than any page buffer we allocate.
    const Decoded full = decode_g3(data, 65535, 65535);
    EXPECT_EQ(full.result, kDecodeRefused);
    EXPECT_EQ(full.image.lines, 65535);
    EXPECT_TRUE(full.image.bitmap.empty());
    const Decoded negative = decode_g3(data, -5, 10);
    EXPECT_EQ(negative.result, kDecodeRefused);
}

}  // namespace
}  // namespace trelvane::faxcodec::test
