// Damaged data: the decoders end with the lines they have, never read or write out of bounds,
// and every way of decoding (tables, tree walk, count-only) agrees on the outcome.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <tuple>

#include "codec_test_util.h"

namespace trelvane::faxcodec::test {
namespace {

using testsupport::Bitmap;
using testsupport::CodedPage;
using testsupport::Coding;

// Decodes in every way, checks they agree and gives the table-driven full decode.
Decoded decode_all_ways(const std::vector<uint8_t>& data, Coding coding, int width, int height,
                        int fill_order) {
    const bool g4 = coding == Coding::Group4;
    auto run = [&](Way way) {
        return g4 ? decode_g4(data, width, height, fill_order, way)
                  : decode_g3(data, width, height, fill_order, way);
    };
    const Decoded fast = run(Way::Fast);
    EXPECT_GE(fast.image.lines, 0);
    EXPECT_LE(fast.image.lines, height);
    EXPECT_EQ(fast.image.bitmap.size(),
              static_cast<size_t>(fast.image.lines) * static_cast<size_t>(fast.image.row_bytes));
    for (Way way : {Way::TreeWalk, Way::CountOnly, Way::CountOnlyTreeWalk}) {
        const Decoded other = run(way);
        EXPECT_EQ(other.result, fast.result);
        EXPECT_TRUE(same_size_fields(other.image, fast.image));
        if (way == Way::TreeWalk) {
            EXPECT_EQ(other.image.bitmap, fast.image.bitmap);
        }
    }
    return fast;
}

// Every decoded row must be the source's row of the same index.
void expect_prefix_of(const Decoded& d, const Bitmap& source) {
    const Bitmap got = to_bitmap(d.image);
    for (int y = 0; y < got.height; ++y) {
        ASSERT_EQ(std::memcmp(got.row(y), source.row(y), static_cast<size_t>(got.row_bytes())), 0)
            << "row " << y;
    }
}

class DamageTest : public ::testing::TestWithParam<std::tuple<Coding, int>> {
  protected:
    static constexpr int kWidth = 1728;
    static constexpr int kHeight = 60;
    Bitmap source_ = testsupport::text_like(kWidth, kHeight, 3).normalised();
    Coding coding() const { return std::get<0>(GetParam()); }
    int fill_order() const { return std::get<1>(GetParam()); }
    CodedPage coded() const { return testsupport::encode_page(source_, coding(), fill_order()); }
};

TEST_P(DamageTest, TruncatedDataKeepsTheCompleteLines) {
    const CodedPage page = coded();
    int previous = 0;
    for (size_t cut = 0; cut <= page.data.size(); cut += 1 + cut / 16) {
        SCOPED_TRACE(cut);
        const std::vector<uint8_t> data(page.data.begin(), page.data.begin() + cut);
        const Decoded d = decode_all_ways(data, coding(), kWidth, kHeight, fill_order());
        expect_prefix_of(d, source_);
        EXPECT_GE(d.image.lines, previous);
        previous = d.image.lines;
    }
    EXPECT_EQ(decode_all_ways(page.data, coding(), kWidth, kHeight, fill_order()).image.lines,
              kHeight);
}

TEST_P(DamageTest, FlippedBitsAndGarbage) {
    const CodedPage page = coded();
    std::mt19937 rng(99);
    for (int trial = 0; trial < 150; ++trial) {
        std::vector<uint8_t> data = page.data;
        const int flips = 1 + trial % 5;
        for (int f = 0; f < flips; ++f) {
            data[rng() % data.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        }
        decode_all_ways(data, coding(), kWidth, kHeight, fill_order());
    }
    for (int trial = 0; trial < 60; ++trial) {
        std::vector<uint8_t> garbage(rng() % 3000);
        for (uint8_t& b : garbage)
            b = static_cast<uint8_t>(rng() & rng());
        decode_all_ways(garbage, coding(), 1 + static_cast<int>(rng() % 5000), kHeight,
                        fill_order());
    }
}

TEST_P(DamageTest, HeaderHeightLowerThanTheCodedLines) {
    const CodedPage page = coded();
    const Decoded d = decode_all_ways(page.data, coding(), kWidth, 25, fill_order());
    EXPECT_EQ(d.image.lines, 25);
    expect_prefix_of(d, source_);
}

TEST_P(DamageTest, FillAfterTheEndOfThePageAddsNothing) {
    std::vector<uint8_t> data = coded().data;
    data.insert(data.end(), 64, 0x00);
    const Decoded d = decode_all_ways(data, coding(), kWidth, kHeight + 10, fill_order());
    EXPECT_EQ(d.image.lines, kHeight);
    EXPECT_EQ(d.result, 0);
}

INSTANTIATE_TEST_SUITE_P(CodingsAndFillOrders, DamageTest,
                         ::testing::Combine(::testing::Values(Coding::Group3OneDimensional,
                                                              Coding::Group4),
                                            ::testing::Values(1, 2)));

TEST(Damage, DataAfterAReturnToControlIsDecodedOn) {
    // Two strips with a return-to-control sequence (six end-of-line codes, after the zero
    // bits that end the first strip's last byte) between them give the lines of both.
    const Bitmap a = testsupport::text_like(1728, 20, 5).normalised();
    const Bitmap b = testsupport::checkerboard(1728, 15, 8).normalised();
    std::vector<uint8_t> data = testsupport::encode_page(a, Coding::Group3OneDimensional, 1).data;
    const std::vector<uint8_t> rtc =
        pack_bits("000000000001 000000000001 000000000001 000000000001 000000000001 000000000001");
    data.insert(data.end(), rtc.begin(), rtc.end());
    const auto second = testsupport::encode_page(b, Coding::Group3OneDimensional, 1).data;
    data.insert(data.end(), second.begin(), second.end());
    const Decoded d = decode_all_ways(data, Coding::Group3OneDimensional, 1728, 100, 1);
    EXPECT_EQ(d.result, 0);
    ASSERT_EQ(d.image.lines, 35);
    const Bitmap got = to_bitmap(d.image);
    EXPECT_EQ(std::memcmp(got.row(0), a.row(0), a.bits.size()), 0);
    EXPECT_EQ(std::memcmp(got.row(20), b.row(0), b.bits.size()), 0);
}

}  // namespace
}  // namespace trelvane::faxcodec::test
