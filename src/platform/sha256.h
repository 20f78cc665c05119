// SHA-256 (FIPS 180-4), fed as bytes come: a file's checksum computed while it is read or
// written, without a second pass over it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace trelvane::platform {

class Sha256 {
  public:
    Sha256();
    void add(const uint8_t* data, size_t size);
    void add(std::string_view bytes) {
        add(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    // The digest as 64 lower-case hexadecimal digits; the object is spent afterwards.
    std::string hex_digest();

  private:
    void block(const uint8_t* data);

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> pending_{};
    size_t pending_size_ = 0;
    uint64_t total_bytes_ = 0;
};

}  // namespace trelvane::platform
