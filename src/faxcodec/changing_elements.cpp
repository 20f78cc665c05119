#include "faxcodec/changing_elements.h"

#include <cstring>

namespace trelvane::faxcodec {
namespace {

// Sets the bits [from, to) of the row.
void set_span(uint8_t* row, uint32_t from, uint32_t to) {
    if (from >= to)
        return;
    const uint32_t first = from >> 3;
    const uint32_t last = (to - 1) >> 3;
    const uint8_t head = static_cast<uint8_t>(0xFF >> (from & 7));
    const uint8_t tail = static_cast<uint8_t>(0xFF << (7 - ((to - 1) & 7)));
    if (first == last) {
        row[first] |= head & tail;
        return;
    }
    row[first] |= head;
    if (last > first + 1)
        std::memset(row + first + 1, 0xFF, last - first - 1);
    row[last] |= tail;
}

}  // namespace

void draw_row(std::span<const uint32_t> changes, uint32_t width, uint8_t* row) {
    std::memset(row, 0, (width + 7) / 8);
    for (size_t i = 0; i < changes.size(); i += 2) {
        const uint32_t to = i + 1 < changes.size() ? changes[i + 1] : width;
        set_span(row, changes[i], to < width ? to : width);
    }
}

void read_row(const uint8_t* row, uint32_t width, std::vector<uint32_t>& changes) {
    changes.clear();
    bool black = false;
    for (uint32_t x = 0; x < width; ++x) {
        const bool pixel = ((row[x >> 3] >> (7 - (x & 7))) & 1) != 0;
        if (pixel != black) {
            changes.push_back(x);
            black = pixel;
        }
    }
}

}  // namespace trelvane::faxcodec
