// One page's coded data as the strip decoder reads it: in stream order (first coded bit in the
// most significant bit of each byte), followed by zero bytes, so that a read may look a few
// bytes past the end and find the zero bits the data is padded with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace trelvane::faxcodec {

class CodedStrip {
  public:
    // Zero bytes kept after the data.
    static constexpr size_t kPadding = 16;

    CodedStrip() : bytes_(kPadding, 0) {}
    // fill_order as in TIFF: 1 = first bit in the most significant bit, else least significant.
    // Takes over `bytes` (reordered in place).
    CodedStrip(std::vector<uint8_t> bytes, uint8_t fill_order);
    CodedStrip(std::span<const uint8_t> bytes, uint8_t fill_order)
        : CodedStrip(std::vector<uint8_t>(bytes.begin(), bytes.end()), fill_order) {}

    size_t size() const { return size_; }
    // size() bytes of data, then kPadding zero bytes.
    const uint8_t* data() const { return bytes_.data(); }

  private:
    std::vector<uint8_t> bytes_;
    size_t size_ = 0;
};

}  // namespace trelvane::faxcodec
