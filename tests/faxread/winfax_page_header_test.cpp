// The page header record against headers spelled out byte by byte from the format's table
// (docs/winfax-format.md), not through the record itself.
#include "faxread/winfax_page_header.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace trelvane::faxread {
namespace {

using Bytes = std::array<uint8_t, 128>;

// Two little-endian bytes at `at`, four for the 32-bit fields.
void put(Bytes& b, size_t at, uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

TEST(WinFaxPageHeader, FieldsAreReadFromTheirOffsets) {
    Bytes b{};
    b[0] = 0x0B;
    b[1] = 0x23;
    put(b, 3, 2048, 2);
    put(b, 5, 2200, 2);
    b[7] = 1;
    const std::string text = "Invoice 0412";
    std::copy(text.begin(), text.end(), b.begin() + 9);
    put(b, 89, 0x01020304, 4);
    put(b, 105, 0xFFFFFFF0u, 4);  // -16
    b[113] = 16;
    b[114] = 8;
    b[115] = 7;
    put(b, 116, 5000, 4);

    const WinFaxPageHeader h = WinFaxPageHeader::read(b);
    EXPECT_TRUE(h.signature_ok);
    EXPECT_EQ(h.width, 2048);
    EXPECT_EQ(h.length, 2200);
    EXPECT_EQ(h.coding, 1);
    EXPECT_EQ(h.text, text);
    EXPECT_EQ(h.term89, 0x01020304);
    EXPECT_EQ(h.term105, -16);
    EXPECT_EQ(h.factor113, 16);
    EXPECT_EQ(h.factor114, 8);
    EXPECT_EQ(h.resolution_code, 7);
    EXPECT_EQ(h.vertical_resolution(), 400);
    EXPECT_EQ(h.data_length, 5000);
    EXPECT_EQ(h.next_offset(), 16 * 8 + 5000 + 0x01020304 - 16);
    // Written back, the same bytes.
    EXPECT_EQ(h.bytes(), b);
}

TEST(WinFaxPageHeader, EdgesOfTheFormat) {
    struct Case {
        const char* what;
        Bytes bytes;
        bool signature_ok;
        size_t text_size;
        int32_t next_offset;
        uint16_t lines_per_inch;
    };
    Bytes wrong{};
    wrong[0] = 0x0B;
    wrong[1] = 0x24;
    Bytes long_text{};
    long_text[0] = 0x0B;
    long_text[1] = 0x23;
    std::fill(long_text.begin() + 9, long_text.end(), uint8_t{'x'});  // 119 bytes, over the fields
    Bytes wraps{};
    wraps[0] = 0x0B;
    wraps[1] = 0x23;
    wraps[113] = 255;
    wraps[114] = 255;
    put(wraps, 116, 0x7FFFFFFF, 4);
    put(wraps, 89, 0x7FFFFFFF, 4);
    Bytes fine{};
    fine[0] = 0x0B;
    fine[1] = 0x23;
    fine[115] = 1;
    const Case cases[] = {
        {"signature off by one bit", wrong, false, 0, 0, 100},
        {"text to the end of the header", long_text, true, 119,
         static_cast<int32_t>(uint32_t{'x'} * 'x' + 3 * 0x78787878u), 400},
        {"offset sum wraps at 32 bits", wraps, true, 0,
         static_cast<int32_t>(255u * 255u + 0x7FFFFFFFu + 0x7FFFFFFFu), 100},
        {"fine resolution", fine, true, 0, 0, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const WinFaxPageHeader h = WinFaxPageHeader::read(c.bytes);
        EXPECT_EQ(h.signature_ok, c.signature_ok);
        EXPECT_EQ(h.text.size(), c.text_size);
        EXPECT_EQ(h.next_offset(), c.next_offset);
        EXPECT_EQ(h.vertical_resolution(), c.lines_per_inch);
    }
}

}  // namespace
}  // namespace trelvane::faxread
