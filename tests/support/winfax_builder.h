// Builds WinFax fax files in memory: a chain of 128-byte page headers, each followed by the
// page's coded data. By default the chain terms are chosen so that every header points at the
// next one and the last one at the end of the file; the knobs below make damaged files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trelvane::testsupport {

struct WinFaxPage {
    std::vector<uint8_t> data;  // coded data, first coded bit in the least significant bit
    uint16_t width = 1728;      // 0 in the file means 1728
    uint16_t length = 0;        // scan lines; 0 in the file means 3432
    uint8_t coding = 0;         // header byte 7: 0 Group 3 one-dimensional, else Group 4
    uint8_t resolution = 0;     // header byte 115: 0 = 100 lines/inch, 1 = 200, else 400
    std::string title;          // header text at offset 9 (at most 119 bytes are kept)
    uint32_t gap = 0;  // unreferenced filler bytes between this page's data and the next header

    // Damage knobs. Unset chain terms are chosen so that the chain continues normally.
    std::optional<int32_t> t89;
    std::optional<int32_t> t105;
    std::optional<uint8_t> f113;
    std::optional<uint8_t> f114;
    std::optional<int32_t> declared_length;  // L as stored, instead of data.size()
    bool bad_signature = false;
    // Writes the title after the other fields, so a long title overwrites them (and they
    // become part of the text), as a 119-byte text does in a real header.
    bool title_over_fields = false;
};

constexpr size_t kWinFaxHeaderSize = 128;  // faxread::WinFaxPageHeader::kSize

// The whole file.
std::vector<uint8_t> build_winfax(const std::vector<WinFaxPage>& pages);
// The offset of each page header in the file build_winfax makes.
std::vector<uint32_t> winfax_page_offsets(const std::vector<WinFaxPage>& pages);
bool write_winfax(const std::string& path, const std::vector<WinFaxPage>& pages);

}  // namespace trelvane::testsupport
