#include "platform/sha256.h"

#include <cerrno>
#include <vector>

#include "platform/file_io.h"

namespace trelvane::platform {

std::optional<std::string> file_sha256(const std::string& path, uint64_t& bytes, int* error) {
    const int fd = open_for_reading(path, error);
    if (fd < 0)
        return std::nullopt;
    Sha256 hash;
    std::vector<uint8_t> buffer(64 * 1024);
    for (;;) {
        const int64_t n = read_some(fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (error != nullptr)
                *error = errno;
            close_descriptor(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        hash.add(buffer.data(), static_cast<size_t>(n));
    }
    close_descriptor(fd);
    bytes = hash.bytes();
    return hash.hex_digest();
}

}  // namespace trelvane::platform
