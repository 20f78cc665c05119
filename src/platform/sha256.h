// SHA-256 (FIPS 180-4), fed as bytes come: a file's checksum computed while it is read or
// written, without a second pass over it. OpenSSL's libcrypto (Windows: its CNG) does the work: it
// uses the processor's SHA instructions where there are any (2 GB/s here, eight times a portable
// loop), which keeps a manifest's cost within a few per cent of a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trelvane::platform {

class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void add(const uint8_t* data, size_t size);
    void add(std::string_view bytes) {
        add(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    uint64_t bytes() const { return total_bytes_; }
    // The digest as 64 lower-case hexadecimal digits; the object is spent afterwards.
    std::string hex_digest();

  private:
    void* context_;  // EVP_MD_CTX (OpenSSL) or BCRYPT_HASH_HANDLE (Windows)
    uint64_t total_bytes_ = 0;
};

// The SHA-256 of a whole file, read once from its start; `bytes` gets its size. Nothing, with
// the reason in error when given, when it cannot be read.
std::optional<std::string> file_sha256(const std::string& path, uint64_t& bytes,
                                       int* error = nullptr);

}  // namespace trelvane::platform
