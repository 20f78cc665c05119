// Little-endian field access. Every file format this program reads or writes byte by byte
// (WinFax headers, the intermediate TIFF file) is little-endian, whatever the host is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace trelvane::faxread::le {

inline uint16_t get_u16(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

inline uint32_t get_u32(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | (static_cast<uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<uint32_t>(bytes[at + 2]) << 16) |
           (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

// Two's complement, as the files store signed fields.
inline int32_t get_i32(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<int32_t>(get_u32(bytes, at));
}

inline void put_u16(std::span<uint8_t> bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

inline void put_u32(std::span<uint8_t> bytes, size_t at, uint32_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
    bytes[at + 2] = static_cast<uint8_t>(value >> 16);
    bytes[at + 3] = static_cast<uint8_t>(value >> 24);
}

inline void put_i32(std::span<uint8_t> bytes, size_t at, int32_t value) {
    put_u32(bytes, at, static_cast<uint32_t>(value));
}

}  // namespace trelvane::faxread::le
