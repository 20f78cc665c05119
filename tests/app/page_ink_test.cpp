// The part of a decoded page that recognition reads: checked pixel by pixel against the page
// itself, on pages whose ink lies at the edges, in a corner, nowhere, or in the pad bits.
#include "app/page_ink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "support/bitmap.h"

namespace trelvane::app {
namespace {

using testsupport::Bitmap;

struct Ink {
    int left = 0, top = 0, right = 0, bottom = 0;  // exclusive right and bottom
    uint64_t black = 0;
};

// Every pixel looked at on its own.
Ink ink_of(const Bitmap& page) {
    Ink ink{page.width, page.height, 0, 0, 0};
    for (int y = 0; y < page.height; ++y) {
        for (int x = 0; x < page.width; ++x) {
            if (!page.get(x, y))
                continue;
            ++ink.black;
            ink.left = std::min(ink.left, x);
            ink.top = std::min(ink.top, y);
            ink.right = std::max(ink.right, x + 1);
            ink.bottom = std::max(ink.bottom, y + 1);
        }
    }
    return ink;
}

TEST(FindInk, TheBoxHoldsEveryBlackPixelWithItsMarginAndNoMore) {
    constexpr int64_t kMargin = 32;
    const struct {
        const char* what;
        int width, height;
        std::vector<std::pair<int, int>> black;
        bool pad_bits_set;
    } cases[] = {
        {"blank", 1728, 300, {}, false},
        {"blank, pad bits set", 1731, 40, {}, true},
        {"one pixel in the middle", 1728, 300, {{900, 150}}, false},
        {"top left corner", 1728, 300, {{0, 0}}, false},
        {"bottom right corner, odd width", 1731, 300, {{1730, 299}}, false},
        {"both ends of one row", 8000, 5, {{0, 2}, {7999, 2}}, false},
        {"a column far down a tall page", 100, 30000, {{57, 20000}, {57, 20400}}, false},
        {"ink off a byte boundary", 1728, 100, {{803, 40}, {811, 41}}, false},
        {"ink beside set pad bits", 1731, 100, {{1000, 50}}, true},
        {"narrower than the margin", 9, 3, {{4, 1}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bitmap page(c.width, c.height);
        for (const auto& [x, y] : c.black)
            page.set(x, y);
        const Ink want = ink_of(page);
        if (c.pad_bits_set) {
            for (int y = 0; y < page.height; ++y)
                page.bits[static_cast<size_t>(y + 1) * page.row_bytes() - 1] |= 0x07;
        }
        const InkBox box = find_ink(page.bits, static_cast<size_t>(page.row_bytes()),
                                    static_cast<uint32_t>(c.width), static_cast<uint32_t>(c.height),
                                    uint32_t{kMargin});
        EXPECT_EQ(box.black, want.black);
        if (want.black == 0) {
            EXPECT_TRUE(box.empty());
            continue;
        }
        const int64_t left = box.left, top = box.top;
        const int64_t right = left + box.width, bottom = top + box.height;
        EXPECT_EQ(left % 8, 0);
        EXPECT_LE(right, c.width);
        EXPECT_LE(bottom, c.height);
        // The margin is kept where the page has room for it; the left edge may go back to a
        // whole byte, the right one on to one.
        EXPECT_EQ(top, std::max<int64_t>(0, want.top - kMargin));
        EXPECT_EQ(bottom, std::min<int64_t>(c.height, want.bottom + kMargin));
        EXPECT_LE(left, std::max<int64_t>(0, want.left - kMargin));
        EXPECT_GT(left, want.left - kMargin - 8);
        EXPECT_GE(right, std::min<int64_t>(c.width, want.right + kMargin));
        EXPECT_LT(right, want.right + kMargin + 8);
    }
}

TEST(FindInk, RowsThatDoNotDescribeThePageGiveNothing) {
    const Bitmap page = testsupport::all_black(64, 4);
    EXPECT_TRUE(find_ink(page.bits, 8, 64, 5, 0).empty());  // more rows than bytes
    EXPECT_TRUE(find_ink(page.bits, 4, 64, 4, 0).empty());  // rows narrower than the width
    EXPECT_TRUE(find_ink(page.bits, 8, 0, 4, 0).empty());   // no width
    EXPECT_EQ(find_ink(page.bits, 8, 64, 4, 0).black, 256u);
}

}  // namespace
}  // namespace trelvane::app
