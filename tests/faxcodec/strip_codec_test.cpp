// The copy stage's codec against libtiff's, which is the oracle: the strip decoder must give the
// picture libtiff's decoder gives, on clean and damaged data alike (except where libtiff runs
// out of room for a line's runs, where ours must give the line exactly), its line count must
// cut no row libtiff delivers, and the Group 4 encoder must write libtiff's bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "faxcodec/changing_elements.h"
#include "faxcodec/group4_encoder.h"
#include "faxcodec/strip_decoder.h"
#include "support/bitmap.h"
#include "support/ccitt.h"
#include "support/libtiff_codec.h"
#include "support/own_codec.h"

namespace trelvane::faxcodec {
namespace {

using testsupport::Bitmap;
using testsupport::Coding;
using testsupport::libtiff_encode;

StripCoding strip_coding(Coding coding) {
    return coding == Coding::Group4 ? StripCoding::kGroup4 : StripCoding::kGroup3OneDimensional;
}

const char* name_of(Coding coding) {
    return coding == Coding::Group4 ? "G4" : "G3";
}

struct OurDecode {
    Bitmap page;
    StripDecodeStatus status;
    std::vector<uint8_t> code;  // the page coded again by our encoder
};

OurDecode decode_ours(const std::vector<uint8_t>& data, int width, int height, Coding coding,
                      int fill_order) {
    OurDecode out;
    out.page = Bitmap(width, height);
    const CodedStrip strip(data, static_cast<uint8_t>(fill_order));
    StripDecoder decoder(strip, strip_coding(coding), static_cast<uint32_t>(width));
    Group4Encoder encoder(static_cast<uint32_t>(width));
    for (int y = 0; y < height; ++y) {
        const std::span<const uint32_t> row = decoder.next_row();
        draw_row(row, static_cast<uint32_t>(width),
                 out.page.bits.data() + static_cast<size_t>(y) * out.page.row_bytes());
        encoder.encode_row(row);
    }
    out.status = decoder.status();
    out.code = encoder.finish();
    return out;
}

std::vector<uint8_t> encode_ours(const Bitmap& page) {
    return testsupport::encode_group4_ours(page);
}

// Our decode of the data against libtiff's, picture and re-encoding. Where libtiff overflows
// there is nothing to compare.
::testing::AssertionResult codes_like_libtiff(const std::vector<uint8_t>& data, int width,
                                              int height, Coding coding, int fill_order) {
    const testsupport::LibtiffDecode theirs =
        testsupport::libtiff_decode(data, width, height, coding, fill_order);
    if (theirs.overflowed())
        return ::testing::AssertionSuccess();
    const OurDecode ours = decode_ours(data, width, height, coding, fill_order);
    const int row = testsupport::first_difference(ours.page.normalised(), theirs.page.normalised());
    if (row >= 0) {
        return ::testing::AssertionFailure()
               << "row " << row << " differs (" << width << " x " << height << ", "
               << name_of(coding) << ", fill order " << fill_order << ", " << data.size()
               << " bytes); libtiff said:\n"
               << theirs.messages;
    }
    if (ours.code != testsupport::libtiff_encode_group4(theirs.page)) {
        return ::testing::AssertionFailure() << "the Group 4 code differs (" << width << " x "
                                             << height << ", " << name_of(coding) << ")";
    }
    return ::testing::AssertionSuccess();
}

// True when libtiff decodes the Group 3 data (fill order 1) without a message.
bool libtiff_decode_says_nothing(const std::vector<uint8_t>& data, int width, int height) {
    return testsupport::libtiff_decode(data, width, height, Coding::Group3OneDimensional, 1)
        .messages.empty();
}

TEST(StripCodec, EveryWidthDecodesAndCodesAgainLikeLibtiff) {
    // Random rows and, in row 1, a line with the most runs a line can hold.
    for (int w = 1; w <= 2600; ++w) {
        const Bitmap page = testsupport::with_most_runs(
            testsupport::random_page(w, 5, static_cast<uint32_t>(w)), {1});
        for (const Coding coding : {Coding::Group3OneDimensional, Coding::Group4}) {
            for (const int fill : {1, 2}) {
                const std::vector<uint8_t> coded = libtiff_encode(page, coding, fill);
                ASSERT_FALSE(coded.empty());
                const OurDecode ours = decode_ours(coded, w, 5, coding, fill);
                ASSERT_EQ(testsupport::first_difference(ours.page.normalised(), page), -1)
                    << w << " " << name_of(coding) << " fill " << fill;
                EXPECT_TRUE(ours.status.clean()) << w << " " << name_of(coding);
                EXPECT_EQ(ours.status.content_rows, 5u);
                ASSERT_EQ(ours.code, testsupport::libtiff_encode_group4(page)) << w;
                ASSERT_TRUE(codes_like_libtiff(coded, w, 5, coding, fill));
            }
        }
    }
}

TEST(StripCodec, EncoderWritesLibtiffsBytesForEveryKindOfPage) {
    const int widths[] = {1, 2, 7, 8, 9, 31, 32, 33, 1728, 2048, 2432, 2592, 3456, 4864, 5150};
    for (const int w : widths) {
        SCOPED_TRACE(w);
        const Bitmap pages[] = {
            testsupport::random_page(w, 40, static_cast<uint32_t>(w) * 3),
            testsupport::text_like(w, 30, 7),
            testsupport::long_runs(w, 6),  // runs past 2560: make-up codes of 2560 and the rest
            testsupport::first_line_black(w, 5),
            testsupport::checkerboard(w, 9, 1),
            testsupport::vertical_stripes(w, 4, 2),
            testsupport::all_black(w, 3),
            testsupport::all_white(w, 3),
        };
        for (const Bitmap& page : pages) {
            const std::vector<uint8_t> theirs = testsupport::libtiff_encode_group4(page);
            ASSERT_FALSE(theirs.empty());
            EXPECT_EQ(encode_ours(page), theirs);
        }
    }
}

TEST(StripCodec, DamagedDataDecodesLikeLibtiff) {
    std::mt19937 random(5);
    for (int trial = 0; trial < 4000; ++trial) {
        const int w = trial % 3 == 0 ? 1728 : 1 + static_cast<int>(random() % 300);
        const int h = 1 + static_cast<int>(random() % 40);
        const Coding coding = trial % 2 ? Coding::Group4 : Coding::Group3OneDimensional;
        const int fill = 1 + static_cast<int>(random() % 2);
        std::vector<uint8_t> data =
            libtiff_encode(testsupport::random_page(w, h, random()), coding, fill);
        switch (random() % 4) {
            case 0:  // bits flipped
                for (int f = 1 + static_cast<int>(random() % 6); f > 0 && !data.empty(); --f)
                    data[random() % data.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
                break;
            case 1:  // cut short
                data.resize(random() % (data.size() + 1));
                break;
            case 2:  // a burst of noise
                if (!data.empty()) {
                    const size_t at = random() % data.size();
                    for (size_t i = at; i < data.size() && i < at + 8; ++i)
                        data[i] = static_cast<uint8_t>(random());
                }
                break;
            default:  // nothing but noise, mostly zero bits
                for (auto& b : data)
                    b = static_cast<uint8_t>(random() & random());
        }
        ASSERT_TRUE(codes_like_libtiff(data, w, h, coding, fill)) << "trial " << trial;
    }
}

// A line of width + 1 runs: libtiff keeps only the width rounded up to 32 runs in a Group 3
// line, so where the width is a multiple of 32 it stops there and leaves the page white from
// that line on. Ours decodes the line and the lines after it exactly, in both codings.
TEST(StripCodec, LinesWithTheMostRunsDecodeExactly) {
    for (const int w : {64, 1728, 1760, 2048, 2432, 1700, 65}) {
        for (const Coding coding : {Coding::Group3OneDimensional, Coding::Group4}) {
            SCOPED_TRACE(std::to_string(w) + " " + name_of(coding));
            const Bitmap page = testsupport::with_most_runs(testsupport::text_like(w, 40, 2), {19});
            const std::vector<uint8_t> coded = libtiff_encode(page, coding, 2);
            const testsupport::LibtiffDecode theirs =
                testsupport::libtiff_decode(coded, w, 40, coding, 2);
            EXPECT_EQ(theirs.overflowed(), coding != Coding::Group4 && w % 32 == 0);
            const OurDecode ours = decode_ours(coded, w, 40, coding, 2);
            EXPECT_EQ(testsupport::first_difference(ours.page.normalised(), page), -1);
            EXPECT_TRUE(ours.status.clean());
            EXPECT_EQ(StripDecoder::count_rows(CodedStrip(coded, 2), strip_coding(coding),
                                               static_cast<uint32_t>(w), 100)
                          .content_rows,
                      40u);
        }
    }
}

// The rows a recount keeps are all the rows libtiff delivers: asked for more rows, libtiff's
// picture is white from the count on, and a line that has content is never after it.
TEST(StripCodec, RecountKeepsEveryRowLibtiffDelivers) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 1500; ++trial) {
        const int w = 1 + static_cast<int>(random() % 1800);
        const int lines = 1 + static_cast<int>(random() % 50);
        const int asked = lines + static_cast<int>(random() % 20);
        const Coding coding = trial % 2 ? Coding::Group4 : Coding::Group3OneDimensional;
        const Bitmap page = testsupport::random_page(w, lines, random());
        std::vector<uint8_t> data = libtiff_encode(page, coding, 2);
        const bool damage = trial % 3 != 0;
        if (damage && !data.empty()) {
            if (random() % 2) {
                data.resize(random() % (data.size() + 1));
            } else {
                data[random() % data.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
            }
        }
        const testsupport::LibtiffDecode theirs =
            testsupport::libtiff_decode(data, w, asked, coding, 2);
        if (theirs.overflowed())
            continue;
        const StripDecodeStatus status =
            StripDecoder::count_rows(CodedStrip(data, 2), strip_coding(coding),
                                     static_cast<uint32_t>(w), static_cast<uint32_t>(asked));
        SCOPED_TRACE(std::to_string(trial) + ": " + std::to_string(status.content_rows) +
                     " rows kept of " + std::to_string(asked) + "\n" + theirs.messages);
        ASSERT_LE(status.content_rows, static_cast<uint32_t>(asked));
        const Bitmap white(w, 1);
        for (int y = static_cast<int>(status.content_rows); y < asked; ++y) {
            ASSERT_EQ(
                std::vector<uint8_t>(theirs.page.row(y), theirs.page.row(y) + white.row_bytes()),
                white.bits)
                << "row " << y << " has content past the count";
        }
        if (!damage) {
            ASSERT_EQ(status.content_rows, static_cast<uint32_t>(lines));
        }
    }
}

TEST(StripCodec, RecountKeepsDamagedLinesOfAReceivedPage) {
    // A 60-line page with one bad byte in the middle of its data: libtiff decodes the damaged
    // line in place and every line after it, so all 60 count.
    const Bitmap page = testsupport::text_like(1728, 60, 4);
    std::vector<uint8_t> data = libtiff_encode(page, Coding::Group3OneDimensional, 2);
    data[data.size() / 2] = 0x00;
    const StripDecodeStatus status = StripDecoder::count_rows(
        CodedStrip(data, 2), StripCoding::kGroup3OneDimensional, 1728, 3432);
    EXPECT_EQ(status.content_rows, 60u);
    EXPECT_EQ(status.damaged_rows, 1u);
    EXPECT_FALSE(status.cut_short);  // its end-of-page code is still there
    const testsupport::LibtiffDecode theirs =
        testsupport::libtiff_decode(data, 1728, 60, Coding::Group3OneDimensional, 2);
    EXPECT_EQ(std::vector<uint8_t>(theirs.page.row(59), theirs.page.row(59) + 216),
              std::vector<uint8_t>(page.row(59), page.row(59) + 216));
}

// A Group 3 end-of-line code destroyed makes libtiff skip the next line without a word (the rows
// after it move up): that is a damaged line. Bytes of ones after the last line are no line.
TEST(StripCodec, ALineSkippedWithItsEndOfLineCodeIsNamed) {
    const Bitmap page = testsupport::random_page(300, 20, 4);
    const std::vector<uint8_t> clean = libtiff_encode(page, Coding::Group3OneDimensional, 1);
    // The end-of-line code of line 10: the 11 zeros and the 1 that end at a byte boundary
    // (the fill bits make every one end there), counted from the data's start.
    std::vector<size_t> eol_ends;
    for (size_t i = 1; i < clean.size(); ++i) {
        if (clean[i] == 0x01 && clean[i - 1] == 0x00)
            eol_ends.push_back(i);
    }
    ASSERT_GT(eol_ends.size(), 10u);
    std::vector<uint8_t> data = clean;
    data[eol_ends[10] - 1] = 0x20;  // a 1 among its zeros
    const StripDecodeStatus s =
        StripDecoder::count_rows(CodedStrip(data, 1), StripCoding::kGroup3OneDimensional, 300, 20);
    EXPECT_EQ(s.damaged_rows, 1u);
    EXPECT_TRUE(libtiff_decode_says_nothing(data, 300, 20));

    std::vector<uint8_t> padded = clean;
    padded.insert(padded.end(), 8, 0xFF);
    EXPECT_TRUE(
        StripDecoder::count_rows(CodedStrip(padded, 1), StripCoding::kGroup3OneDimensional, 300, 40)
            .clean());
}

// True when libtiff's decoder reports the data ending inside a line ("Premature EOF ... (x N)"
// with N above 0).
bool libtiff_ends_inside_a_line(const std::vector<uint8_t>& data, Coding coding, int rows) {
    const std::string said = testsupport::libtiff_decode(data, 1728, rows, coding, 2).messages;
    const size_t at = said.find("Premature EOF");
    if (at == std::string::npos)
        return false;
    const size_t x = said.find("(x ", at);
    return x != std::string::npos && std::strtol(said.c_str() + x + 3, nullptr, 10) > 0;
}

struct StatusCase {
    const char* name;
    Coding coding;
    // Data kept, 100 = all; a cut goes back to where libtiff says the data ends inside a line.
    int cut_at_percent;
    int zero_byte_at = -1;  // percent of the data where one byte is zeroed
    int asked_rows;
    bool damaged;
    bool cut_short;
};

class StripStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StripStatus, SaysWhatTheDataHolds) {
    const StatusCase& c = GetParam();
    const Bitmap page = testsupport::random_page(1728, 80, 9);
    std::vector<uint8_t> data = libtiff_encode(page, c.coding, 2);
    if (c.zero_byte_at >= 0)
        data[data.size() * static_cast<size_t>(c.zero_byte_at) / 100] = 0x00;
    if (c.cut_at_percent < 100) {
        size_t keep = data.size() * static_cast<size_t>(c.cut_at_percent) / 100;
        auto kept = [&] {
            return std::vector<uint8_t>(data.begin(), data.begin() + static_cast<long>(keep));
        };
        while (keep > 1 && !libtiff_ends_inside_a_line(kept(), c.coding, c.asked_rows))
            --keep;
        data.resize(keep);
    }
    const StripDecodeStatus s = StripDecoder::count_rows(
        CodedStrip(data, 2), strip_coding(c.coding), 1728, static_cast<uint32_t>(c.asked_rows));
    EXPECT_EQ(s.damaged_rows > 0, c.damaged);
    EXPECT_EQ(s.first_damaged_row >= 0, c.damaged);
    EXPECT_EQ(s.cut_short, c.cut_short);
    EXPECT_EQ(s.clean(), !c.damaged && !c.cut_short);
    EXPECT_EQ(s.coding, strip_coding(c.coding));
}

INSTANTIATE_TEST_SUITE_P(
    Pages, StripStatus,
    ::testing::Values(
        // Whole pages, with or without rows to spare: their end-of-page codes end them.
        StatusCase{"G3Whole", Coding::Group3OneDimensional, 100, -1, 80, false, false},
        StatusCase{"G3WholeRowsToSpare", Coding::Group3OneDimensional, 100, -1, 200, false, false},
        StatusCase{"G4Whole", Coding::Group4, 100, -1, 80, false, false},
        StatusCase{"G4WholeRowsToSpare", Coding::Group4, 100, -1, 200, false, false},
        // Data that ends inside a line in the middle of the page.
        StatusCase{"G3Cut", Coding::Group3OneDimensional, 50, -1, 80, false, true},
        StatusCase{"G4Cut", Coding::Group4, 50, -1, 80, false, true},
        // A bad byte: one Group 3 line, a Group 4 page from that line on.
        StatusCase{"G3Damaged", Coding::Group3OneDimensional, 100, 40, 80, true, false},
        StatusCase{"G4Damaged", Coding::Group4, 100, 40, 80, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trelvane::faxcodec
