// MD5 (RFC 1321), for the checksum a PDF keeps of an embedded file. Not for security: the
// PDF format names this digest.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace trelvane::pdfout {

class Md5 {
  public:
    Md5();
    void update(std::span<const uint8_t> data);
    // The digest of everything given; the object is spent afterwards.
    std::array<uint8_t, 16> finish();

  private:
    void block(const uint8_t* data);
    std::array<uint32_t, 4> state_;
    uint64_t length_ = 0;  // bytes given so far
    std::array<uint8_t, 64> pending_{};
    size_t pending_size_ = 0;
};

}  // namespace trelvane::pdfout
