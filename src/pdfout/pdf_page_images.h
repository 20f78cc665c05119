// The PDF parsing half of reading a PDF back: each page's media box and its one image's
// dictionary and raw (still coded) data, through qpdf. Kept in a file of its own, free of the
// rest of the layer's headers, because qpdf's headers build only as C++17 under clang.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace trelvane::pdfout {

struct RawPageImage {
    double width_points = 0;
    double height_points = 0;
    size_t image_count = 0;
    bool ccitt = false;  // the image's one filter is CCITTFaxDecode
    long long width = 0;
    long long height = 0;
    long long bits_per_component = 0;
    long long k = 0;  // the decode parameters, with the PDF's defaults
    long long columns = 1728;
    long long rows = 0;
    bool black_is_1 = false;
    bool encoded_byte_align = false;
    bool end_of_line = false;
    bool decode_inverted = false;  // /Decode [1 0]
    std::vector<uint8_t> data;
};

// False in a build without a PDF parser (qpdf): every open then says so.
bool pdf_parser_available();

class PdfPageImages {
  public:
    PdfPageImages();
    ~PdfPageImages();
    PdfPageImages(const PdfPageImages&) = delete;
    PdfPageImages& operator=(const PdfPageImages&) = delete;

    // Empty on success, otherwise why the file cannot be read (no repair is attempted).
    std::string open(const std::string& path);
    size_t page_count() const;
    // Page `index`'s media box and, when it has exactly one image, that image (its data only
    // when `max_image_bytes` allows the decoded image). Empty on success, else what is wrong.
    std::string read(size_t index, RawPageImage& page, uint64_t max_image_bytes);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace trelvane::pdfout
