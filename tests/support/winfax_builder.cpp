#include "support/winfax_builder.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace trelvane::testsupport {
namespace {

void put_u16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put_i32(std::vector<uint8_t>& b, size_t at, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(u >> (8 * i));
}

void put_title(std::vector<uint8_t>& header, const std::string& title) {
    const size_t n = std::min(title.size(), kWinFaxHeaderSize - 9);
    std::copy_n(title.begin(), n, header.begin() + 9);
}

std::vector<uint8_t> make_header(const WinFaxPage& page, uint32_t offset) {
    std::vector<uint8_t> h(kWinFaxHeaderSize, 0);
    h[0] = page.bad_signature ? 0x0C : 0x0B;
    h[1] = 0x23;
    if (!page.title_over_fields)
        put_title(h, page.title);
    put_u16(h, 3, page.width);
    put_u16(h, 5, page.length);
    h[7] = page.coding;
    h[115] = page.resolution;
    const int32_t length = page.declared_length.value_or(static_cast<int32_t>(page.data.size()));
    put_i32(h, 116, length);
    // The reader takes F113 * F114 + L + T89 + T105 as the absolute offset of the next
    // header; by default 128 comes from the factors, the page offset and gap from the terms.
    // The sums wrap as the reader's 32-bit arithmetic does.
    const uint8_t f113 = page.f113.value_or(16);
    const uint8_t f114 = page.f114.value_or(8);
    const int32_t t89 = page.t89.value_or(static_cast<int32_t>(offset));
    const int32_t t105 = page.t105.value_or(static_cast<int32_t>(
        page.gap + static_cast<uint32_t>(page.data.size()) - static_cast<uint32_t>(length)));
    h[113] = f113;
    h[114] = f114;
    put_i32(h, 89, t89);
    put_i32(h, 105, t105);
    if (page.title_over_fields)
        put_title(h, page.title);
    return h;
}

}  // namespace

std::vector<uint32_t> winfax_page_offsets(const std::vector<WinFaxPage>& pages) {
    std::vector<uint32_t> offsets;
    uint32_t at = 0;
    for (const WinFaxPage& p : pages) {
        offsets.push_back(at);
        at += static_cast<uint32_t>(kWinFaxHeaderSize + p.data.size() + p.gap);
    }
    return offsets;
}

std::vector<uint8_t> build_winfax(const std::vector<WinFaxPage>& pages) {
    std::vector<uint8_t> file;
    const std::vector<uint32_t> offsets = winfax_page_offsets(pages);
    for (size_t i = 0; i < pages.size(); ++i) {
        const WinFaxPage& p = pages[i];
        const std::vector<uint8_t> header = make_header(p, offsets[i]);
        file.insert(file.end(), header.begin(), header.end());
        file.insert(file.end(), p.data.begin(), p.data.end());
        // Filler that looks nothing like a header, so a chain that lands in it ends there.
        file.insert(file.end(), p.gap, static_cast<uint8_t>(0xA5));
    }
    return file;
}

bool write_winfax(const std::string& path, const std::vector<WinFaxPage>& pages) {
    const std::vector<uint8_t> bytes = build_winfax(pages);
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> f(std::fopen(path.c_str(), "wb"));
    if (!f)
        return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) {
        return false;
    }
    return std::fclose(f.release()) == 0;
}

}  // namespace trelvane::testsupport
