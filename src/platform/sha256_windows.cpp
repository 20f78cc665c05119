// bcrypt.h needs windows.h's types first.
#include <windows.h>

#include <bcrypt.h>

#include <new>

#include "platform/sha256.h"
#include "platform/windows_calls.h"

namespace trelvane::platform {

namespace {

constexpr ULONG kDigestBytes = 32;

// The algorithm's provider, opened once for the process (BCrypt's own advice: opening it is the
// expensive part).
BCRYPT_ALG_HANDLE sha256_provider() {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        if (!BCRYPT_SUCCESS(
                BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            handle = nullptr;
        return handle;
    }();
    return provider;
}

}  // namespace

Sha256::Sha256() : context_(nullptr) {
    BCRYPT_HASH_HANDLE hash = nullptr;
    const BCRYPT_ALG_HANDLE provider = sha256_provider();
    // Only allocation can fail here; a digest that cannot be made is no checksum at all.
    if (provider == nullptr ||
        !BCRYPT_SUCCESS(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0)))
        throw std::bad_alloc();
    context_ = hash;
}

Sha256::~Sha256() {
    if (context_ != nullptr)
        BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(context_));
}

void Sha256::add(const uint8_t* data, size_t size) {
    total_bytes_ += size;
    constexpr size_t kLargest = 1u << 30;
    while (size > 0) {
        const ULONG part = static_cast<ULONG>(size > kLargest ? kLargest : size);
        BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(context_), const_cast<PUCHAR>(data), part,
                       0);
        data += part;
        size -= part;
    }
}

std::string Sha256::hex_digest() {
    UCHAR digest[kDigestBytes] = {};
    BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(context_), digest, kDigestBytes, 0);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (UCHAR byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return hex;
}

}  // namespace trelvane::platform
