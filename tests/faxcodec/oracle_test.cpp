// Pages coded by libtiff's own CCITT encoders must decode to exactly the bitmap libtiff decodes
// (and the source bitmap), with the right line count, in every way our decoders can run.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "codec_test_util.h"

namespace trelvane::faxcodec::test {
namespace {

using testsupport::Bitmap;
using testsupport::CodedPage;
using testsupport::Coding;

constexpr int kHeight = 48;

class OracleTest : public ::testing::TestWithParam<std::tuple<int, std::string>> {};

TEST_P(OracleTest, DecodesLikeLibtiffInEveryCodingAndFillOrder) {
    const auto& [width, pattern] = GetParam();
    const Bitmap source = testsupport::make_pattern(pattern, width, kHeight).normalised();
    for (Coding coding : {Coding::Group3OneDimensional, Coding::Group4}) {
        for (int fill_order : {1, 2}) {
            SCOPED_TRACE(testing::Message() << (coding == Coding::Group4 ? "G4" : "G3")
                                            << " fill order " << fill_order);
            const CodedPage coded = testsupport::encode_page(source, coding, fill_order);
            ASSERT_FALSE(coded.data.empty());
            Bitmap by_libtiff;
            ASSERT_TRUE(testsupport::decode_page_libtiff(coded, by_libtiff));
            ASSERT_EQ(testsupport::first_difference(by_libtiff.normalised(), source), -1);

            const Decoded full = decode_coded(coded, kHeight, Way::Fast);
            EXPECT_EQ(full.result, 0);
            EXPECT_EQ(full.image.lines, kHeight);
            EXPECT_EQ(full.image.width, width);
            EXPECT_EQ(testsupport::first_difference(to_bitmap(full.image), by_libtiff), -1);

            for (Way way : {Way::TreeWalk, Way::CountOnly, Way::CountOnlyTreeWalk}) {
                const Decoded other = decode_coded(coded, kHeight, way);
                EXPECT_EQ(other.result, full.result);
                EXPECT_TRUE(same_size_fields(other.image, full.image));
                if (way == Way::TreeWalk) {
                    EXPECT_EQ(other.image.bitmap, full.image.bitmap);
                } else {
                    EXPECT_TRUE(other.image.bitmap.empty());
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    WidthsAndPatterns, OracleTest,
    ::testing::Combine(::testing::Values(1728, 2048, 2432, 2592, 3456, 4864, 1001),
                       ::testing::Values("text1", "text42", "white", "black", "checker", "stripes",
                                         "startblack", "longruns")),
    [](const auto& info) {
        return std::to_string(std::get<0>(info.param)) + "_" + std::get<1>(info.param);
    });

// A page whose lines hold every run length of both colours once: line y is a white run of y
// pixels, a black run of y pixels, then white to the end. Every terminating and make-up code
// word of both colours, and the extended make-up codes, appear in libtiff's coding of it.
Bitmap every_run_length_page(int width, int height) {
    Bitmap page(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = y; x < 2 * y && x < width; ++x)
            page.set(x, y);
    }
    return page;
}

TEST(OracleTest, EveryRunLengthOfBothColours) {
    const int width = 4864;
    const int height = 2433;  // black runs up to 2432 fit the line after a white run as long
    const Bitmap source = every_run_length_page(width, height);
    for (Coding coding : {Coding::Group3OneDimensional, Coding::Group4}) {
        const CodedPage coded = testsupport::encode_page(source, coding, 2);
        for (Way way : {Way::Fast, Way::TreeWalk}) {
            const Decoded d = decode_coded(coded, height, way);
            EXPECT_EQ(d.result, 0);
            ASSERT_EQ(d.image.lines, height);
            EXPECT_EQ(testsupport::first_difference(to_bitmap(d.image), source), -1);
        }
    }
}

TEST(OracleTest, TallTextPageWithoutEndOfLineFill) {
    const Bitmap source = testsupport::text_like(1728, 600, 7);
    const CodedPage coded =
        testsupport::encode_page(source, Coding::Group3OneDimensional, 1, /*eol_fill=*/false);
    Bitmap by_libtiff;
    ASSERT_TRUE(testsupport::decode_page_libtiff(coded, by_libtiff));
    const Decoded d = decode_coded(coded, 600, Way::Fast);
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.image.lines, 600);
    EXPECT_EQ(testsupport::first_difference(to_bitmap(d.image), by_libtiff), -1);
}

}  // namespace
}  // namespace trelvane::faxcodec::test
