#include "faxread/winfax_page_header.h"

#include <algorithm>

#include "faxread/little_endian.h"

namespace trelvane::faxread {

namespace {

constexpr size_t kWidthAt = 3;
constexpr size_t kLengthAt = 5;
constexpr size_t kCodingAt = 7;
constexpr size_t kTerm89At = 89;
constexpr size_t kTerm105At = 105;
constexpr size_t kFactor113At = 113;
constexpr size_t kFactor114At = 114;
constexpr size_t kResolutionAt = 115;
constexpr size_t kDataLengthAt = 116;

}  // namespace

WinFaxPageHeader WinFaxPageHeader::read(std::span<const uint8_t, kSize> bytes) {
    WinFaxPageHeader h;
    h.signature_ok = bytes[0] == kSignature[0] && bytes[1] == kSignature[1];
    h.width = le::get_u16(bytes, kWidthAt);
    h.length = le::get_u16(bytes, kLengthAt);
    h.coding = bytes[kCodingAt];
    const auto text_begin = bytes.begin() + kTextOffset;
    h.text.assign(text_begin, std::find(text_begin, bytes.end(), uint8_t{0}));
    h.term89 = le::get_i32(bytes, kTerm89At);
    h.term105 = le::get_i32(bytes, kTerm105At);
    h.factor113 = bytes[kFactor113At];
    h.factor114 = bytes[kFactor114At];
    h.resolution_code = bytes[kResolutionAt];
    h.data_length = le::get_i32(bytes, kDataLengthAt);
    return h;
}

std::array<uint8_t, WinFaxPageHeader::kSize> WinFaxPageHeader::bytes() const {
    std::array<uint8_t, kSize> b{};
    b[0] = signature_ok ? kSignature[0] : static_cast<uint8_t>(kSignature[0] + 1);
    b[1] = kSignature[1];
    std::copy_n(text.begin(), std::min(text.size(), kTextMost), b.begin() + kTextOffset);
    le::put_u16(b, kWidthAt, width);
    le::put_u16(b, kLengthAt, length);
    b[kCodingAt] = coding;
    le::put_i32(b, kTerm89At, term89);
    le::put_i32(b, kTerm105At, term105);
    b[kFactor113At] = factor113;
    b[kFactor114At] = factor114;
    b[kResolutionAt] = resolution_code;
    le::put_i32(b, kDataLengthAt, data_length);
    return b;
}

int32_t WinFaxPageHeader::next_offset() const {
    const uint32_t sum = uint32_t{factor113} * factor114 + static_cast<uint32_t>(data_length) +
                         static_cast<uint32_t>(term89) + static_cast<uint32_t>(term105);
    return static_cast<int32_t>(sum);
}

uint16_t WinFaxPageHeader::vertical_resolution() const {
    switch (resolution_code) {
        case 0:
            return 100;
        case 1:
            return 200;
        default:
            return 400;
    }
}

}  // namespace trelvane::faxread
