#include "platform/sha256.h"

#include <openssl/evp.h>

#include <new>

namespace trelvane::platform {

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
    // Only allocation can fail here; a digest that cannot be made is no checksum at all.
    if (context_ == nullptr ||
        EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(context_), EVP_sha256(), nullptr) != 1)
        throw std::bad_alloc();
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context_));
}

void Sha256::add(const uint8_t* data, size_t size) {
    total_bytes_ += size;
    EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(context_), data, size);
}

std::string Sha256::hex_digest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(context_), digest, &length);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 0xF];
    }
    return hex;
}

}  // namespace trelvane::platform
