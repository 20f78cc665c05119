// The 128-byte header in front of every page of a WinFax file, as named fields. Offsets,
// meanings and fix-ups are described in docs/winfax-format.md; the reader reads pages through
// this record, and the tests' file builder writes them through it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace trelvane::faxread {

struct WinFaxPageHeader {
    static constexpr size_t kSize = 128;
    static constexpr std::array<uint8_t, 2> kSignature = {0x0B, 0x23};
    static constexpr size_t kTextOffset = 9;
    static constexpr size_t kTextMost = kSize - kTextOffset;  // 119 bytes

    bool signature_ok = false;    // bytes 0 and 1 are 0B 23
    uint16_t width = 0;           // offset 3: pixels; 0 stands for 1728
    uint16_t length = 0;          // offset 5: scan lines; 0 stands for 3432
    uint8_t coding = 0;           // offset 7: 0 one-dimensional T.4 with EOLs, else T.6
    std::string text;             // offset 9: to the first zero byte; may run over the fields below
    int32_t term89 = 0;           // offset 89: chain term
    int32_t term105 = 0;          // offset 105: chain term
    uint8_t factor113 = 0;        // offset 113: chain factor
    uint8_t factor114 = 0;        // offset 114: chain factor
    uint8_t resolution_code = 0;  // offset 115: 0 = 100 lines per inch, 1 = 200, else 400
    int32_t data_length = 0;      // offset 116: bytes of coded data after the header

    // The fields of 128 header bytes (a header cut by the end of the file is read as zeros).
    static WinFaxPageHeader read(std::span<const uint8_t, kSize> bytes);
    // The header's bytes: signature (a wrong one when signature_ok is false), fields, text. A
    // text of more than 80 bytes is written before the fields at 89 and beyond, which then
    // replace its bytes there; bytes no field names are zero.
    std::array<uint8_t, kSize> bytes() const;

    // Where the next page header starts: F113 x F114 + L + T89 + T105 as stored, in 32-bit
    // arithmetic that wraps around.
    int32_t next_offset() const;
    // Lines per inch from the resolution code.
    uint16_t vertical_resolution() const;
};

}  // namespace trelvane::faxread
