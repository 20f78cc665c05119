#include "faxcodec/coded_strip.h"

#include <utility>

#include "faxcodec/fax_tables.h"

namespace trelvane::faxcodec {

CodedStrip::CodedStrip(std::vector<uint8_t> bytes, uint8_t fill_order)
    : bytes_(std::move(bytes)), size_(bytes_.size()) {
    if (fill_order != 1) {
        for (uint8_t& b : bytes_)
            b = kBitReversal[b];
    }
    bytes_.resize(size_ + kPadding, 0);
}

}  // namespace trelvane::faxcodec
