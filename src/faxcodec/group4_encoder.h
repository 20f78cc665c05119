// Group 4 (ITU-T T.6) encoder working from each row's changing elements, so that a page the
// strip decoder has decoded is coded again without ever being drawn. Its choices are the ones
// T.6 prescribes (pass mode when b2 lies left of a1, vertical mode when a1 is within three
// pixels of b1, horizontal mode otherwise; runs past 2560 as 2560 make-up codes and the
// rest), the page ends with an end-of-facsimile block and zero bits up to the byte: the same
// bytes the TIFF library's encoder writes for the same bitmap.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace trelvane::faxcodec {

class Group4Encoder {
  public:
    // Rows of `width` pixels (1 to 65535); the line above the first is white.
    explicit Group4Encoder(uint32_t width);

    // Codes one row given as its changing elements: strictly ascending positions below the
    // width where the colour changes, the first from white to black (at most `width` of
    // them, so a row of width + 1 runs fits).
    void encode_row(std::span<const uint32_t> changes);

    // Ends the page and gives its code, first bit in the most significant bit of each byte.
    // The encoder is spent afterwards.
    std::vector<uint8_t> finish();

    uint32_t width() const { return width_; }

    struct RunCodes;

  private:
    // Room for the code of one more row, however many changes it has.
    void make_room();
    void put(uint32_t code, int length);
    void flush_word();

    uint32_t width_;
    const RunCodes* codes_;
    std::vector<uint32_t> reference_;  // the row above, then sentinels at the width
    std::vector<uint32_t> coding_;
    std::vector<uint8_t> out_;  // out_.size() bytes of room, the first used_ of them written
    size_t used_ = 0;
    size_t row_room_;    // the most bytes one row's code can take
    uint64_t bits_ = 0;  // pending bits, the last put in the least significant end
    int pending_ = 0;
};

}  // namespace trelvane::faxcodec
