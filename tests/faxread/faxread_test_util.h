// Helpers for the fax reading tests: WinFax pages from libtiff-coded pages, and a plain parser
// of the intermediate TIFF file's directory chain for byte-level checks.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "support/ccitt.h"
#include "support/winfax_builder.h"

namespace trelvane::faxread::test {

// A WinFax page carrying the coded page (which must be coded least significant bit first).
inline testsupport::WinFaxPage winfax_page(const testsupport::CodedPage& coded,
                                           uint8_t resolution = 0) {
    testsupport::WinFaxPage page;
    page.data = coded.data;
    page.width = static_cast<uint16_t>(coded.width);
    page.length = static_cast<uint16_t>(coded.height);
    page.coding = coded.coding == testsupport::Coding::Group4 ? 1 : 0;
    page.resolution = resolution;
    return page;
}

inline uint16_t u16_at(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b.at(at)) |
                                 (static_cast<uint8_t>(b.at(at + 1)) << 8));
}

inline uint32_t u32_at(const std::string& b, size_t at) {
    return static_cast<uint32_t>(u16_at(b, at)) | (static_cast<uint32_t>(u16_at(b, at + 2)) << 16);
}

struct TiffEntry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    uint32_t value = 0;
};

struct TiffDirectory {
    uint32_t offset = 0;
    std::vector<TiffEntry> entries;
    uint32_t next = 0;

    const TiffEntry* find(uint16_t tag) const {
        for (const TiffEntry& e : entries) {
            if (e.tag == tag)
                return &e;
        }
        return nullptr;
    }
};

// Follows the chain from the header; stops at offset 0, at a bad offset or after 5000 steps.
inline std::vector<TiffDirectory> parse_tiff_chain(const std::string& b) {
    std::vector<TiffDirectory> chain;
    if (b.size() < 8)
        return chain;
    uint32_t at = u32_at(b, 4);
    while (at != 0 && chain.size() < 5000 && at + 2u <= b.size()) {
        TiffDirectory d;
        d.offset = at;
        const uint16_t n = u16_at(b, at);
        if (at + 2u + 12u * n + 4u > b.size())
            break;
        for (uint16_t i = 0; i < n; ++i) {
            const size_t e = at + 2u + 12u * i;
            d.entries.push_back(
                {u16_at(b, e), u16_at(b, e + 2), u32_at(b, e + 4), u32_at(b, e + 8)});
        }
        d.next = u32_at(b, at + 2u + 12u * n);
        chain.push_back(d);
        at = d.next;
    }
    return chain;
}

// 2 March 2009, 09:05:03.
inline std::tm fixed_time() {
    std::tm t{};
    t.tm_year = 2009 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 2;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 3;
    return t;
}

}  // namespace trelvane::faxread::test
