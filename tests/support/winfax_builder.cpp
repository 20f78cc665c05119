#include "support/winfax_builder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

#include "faxread/winfax_page_header.h"

namespace trelvane::testsupport {
namespace {

std::vector<uint8_t> make_header(const WinFaxPage& page, uint32_t offset) {
    faxread::WinFaxPageHeader h;
    h.signature_ok = !page.bad_signature;
    h.width = page.width;
    h.length = page.length;
    h.coding = page.coding;
    h.resolution_code = page.resolution;
    h.data_length = page.declared_length.value_or(static_cast<int32_t>(page.data.size()));
    // The reader takes F113 * F114 + L + T89 + T105 as the absolute offset of the next
    // header; by default 128 comes from the factors, the page offset and gap from the terms.
    // The sums wrap as the reader's 32-bit arithmetic does.
    h.factor113 = page.f113.value_or(16);
    h.factor114 = page.f114.value_or(8);
    h.term89 = page.t89.value_or(static_cast<int32_t>(offset));
    h.term105 = page.t105.value_or(static_cast<int32_t>(
        page.gap + static_cast<uint32_t>(page.data.size()) - static_cast<uint32_t>(h.data_length)));
    if (!page.title_over_fields)
        h.text = page.title;
    const std::array<uint8_t, kWinFaxHeaderSize> fields = h.bytes();
    std::vector<uint8_t> bytes(fields.begin(), fields.end());
    // A long text written after the fields overwrites them, as in a real header.
    if (page.title_over_fields) {
        const size_t n = std::min(page.title.size(), faxread::WinFaxPageHeader::kTextMost);
        std::copy_n(page.title.begin(), n, bytes.begin() + faxread::WinFaxPageHeader::kTextOffset);
    }
    return bytes;
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
