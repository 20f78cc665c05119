#include "app/page_ink.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace trelvane::app {
namespace {

// Black pixels of one row; its bytes are ORed into `columns`, which gathers the columns that
// hold ink. Eight bytes at a time: a declared page can hold tens of megabytes of blank rows.
uint64_t row_ink(const uint8_t* row, size_t bytes, uint8_t last_mask, uint8_t* columns) {
    if (bytes == 0)
        return 0;
    uint64_t count = 0;
    size_t i = 0;
    for (; i + 8 < bytes; i += 8) {
        uint64_t word;
        std::memcpy(&word, row + i, sizeof word);
        if (word == 0)
            continue;
        count += static_cast<uint64_t>(std::popcount(word));
        uint64_t seen;
        std::memcpy(&seen, columns + i, sizeof seen);
        seen |= word;
        std::memcpy(columns + i, &seen, sizeof seen);
    }
    for (; i < bytes; ++i) {
        const uint8_t b = i + 1 == bytes ? row[i] & last_mask : row[i];
        count += static_cast<uint64_t>(std::popcount(b));
        columns[i] |= b;
    }
    return count;
}

}  // namespace

InkBox find_ink(std::span<const uint8_t> rows, size_t row_bytes, uint32_t width, uint32_t height,
                uint32_t margin) {
    InkBox box;
    const size_t used = (static_cast<size_t>(width) + 7) / 8;
    if (width == 0 || row_bytes < used || rows.size() / row_bytes < height)
        return box;
    const auto last_mask = static_cast<uint8_t>(width % 8 == 0 ? 0xFF : 0xFF << (8 - width % 8));
    std::vector<uint8_t> columns(used, 0);
    int64_t first = -1, last = -1;
    for (uint32_t y = 0; y < height; ++y) {
        const uint64_t n = row_ink(rows.data() + y * row_bytes, used, last_mask, columns.data());
        if (n == 0)
            continue;
        box.black += n;
        if (first < 0)
            first = y;
        last = y;
    }
    if (box.empty())
        return box;
    const auto inked = [](uint8_t b) { return b != 0; };
    const auto left_byte = static_cast<uint64_t>(
        std::find_if(columns.begin(), columns.end(), inked) - columns.begin());
    const auto right_byte = static_cast<uint64_t>(
        columns.rend() - std::find_if(columns.rbegin(), columns.rend(), inked));
    // 64 bits throughout: the page's sides and the margin are each below 2^32.
    const uint64_t left = left_byte * 8 > margin ? (left_byte * 8 - margin) / 8 * 8 : 0;
    const uint64_t right = std::min<uint64_t>(right_byte * 8 + margin, width);
    const auto first_row = static_cast<uint64_t>(first);
    const uint64_t top = first_row > margin ? first_row - margin : 0;
    const uint64_t bottom = std::min<uint64_t>(static_cast<uint64_t>(last) + 1 + margin, height);
    box.left = static_cast<uint32_t>(left);
    box.top = static_cast<uint32_t>(top);
    box.width = static_cast<uint32_t>(right - left);
    box.height = static_cast<uint32_t>(bottom - top);
    return box;
}

}  // namespace trelvane::app
