// Checked allocation of the page decoders' buffers. Sizes come from page headers, which are
// untrusted: they are computed in 64 bits and refused above a fixed limit rather than thrown.
#pragma once

#include <cstdint>
#include <new>
#include <vector>

namespace trelvane::faxcodec {

// Largest single buffer a page decoder allocates. A fax page at 400 pixels per inch and the
// widest T.4 width is about 600 bytes a row, so this leaves room for pages a metre long.
inline constexpr uint64_t kMaxBufferBytes = uint64_t{256} << 20;

// Replaces `buffer` by `count` zeroed elements. Gives false, leaving it empty, when the count
// is negative, too large or cannot be allocated.
template <class T>
bool allocate_zeroed(std::vector<T>& buffer, int64_t count) {
    buffer.clear();
    buffer.shrink_to_fit();
    if (count < 0 || static_cast<uint64_t>(count) > kMaxBufferBytes / sizeof(T))
        return false;
    try {
        buffer.assign(static_cast<size_t>(count), T{});
    } catch (const std::bad_alloc&) {
        buffer.clear();
        return false;
    }
    return true;
}

// Bytes of one row of `width` pixels, or -1 for a negative width.
inline int64_t row_bytes_for(int32_t width) {
    return width < 0 ? -1 : (static_cast<int64_t>(width) + 7) / 8;
}

}  // namespace trelvane::faxcodec
