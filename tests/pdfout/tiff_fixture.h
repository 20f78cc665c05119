// Builds TIFF files with exactly the tags a test needs, and runs the pdfout entry points on a
// fresh thread (the file identifier's generator belongs to the thread).
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/bitmap.h"

namespace trelvane::pdfout::test {

struct PageSpec {
    uint32_t width = 1728;
    uint32_t height = 2200;
    uint16_t compression = COMPRESSION_CCITTFAX4;
    // Raw strip bytes written as they are; when empty, `bitmap` is encoded by libtiff.
    std::vector<uint8_t> raw;
    std::optional<testsupport::Bitmap> bitmap;
    uint16_t fill_order = FILLORDER_MSB2LSB;
    uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    uint16_t bits_per_sample = 1;
    uint16_t samples_per_pixel = 1;
    std::optional<float> x_resolution = 200.0F;
    std::optional<float> y_resolution = 200.0F;
    std::optional<uint16_t> resolution_unit = RESUNIT_INCH;
    std::optional<uint16_t> orientation;
    std::optional<uint32_t> rows_per_strip;  // default: the whole page in one strip
    bool omit_rows_per_strip = false;
    std::optional<std::string> date_time, software, document_name, artist, image_description;
    std::optional<uint32_t> subfile_type;
    std::function<void(TIFF*)> extra_tags;
};

// Writes one directory per page; false on any library failure.
bool write_tiff(const std::string& path, const std::vector<PageSpec>& pages);

// n bytes of a fixed pseudo-random pattern.
std::vector<uint8_t> pattern_bytes(size_t n, uint32_t seed = 1);

// Runs the function on a new thread and waits for it.
void on_fresh_thread(const std::function<void()>& body);

// The bytes between "stream\r\n" and "\rendstream" of the n-th stream (0-based) of a PDF.
std::string stream_data(const std::string& pdf, int n);

}  // namespace trelvane::pdfout::test
