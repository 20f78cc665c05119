// Reading a PDF back, page by page, to check it against the fax it was made from: each page's
// size in points and its one bilevel image, decoded by libtiff from the page's CCITT stream and
// its decode parameters (not by the codec that wrote it). Any PDF is parsed, through qpdf, not
// only this program's; what this program never writes (a page without exactly one image, an
// image that is not CCITT bilevel) is reported rather than guessed at. A damaged file is not
// repaired: what would need repair is no longer the PDF that was written.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace trelvane::pdfout {

struct ReadBackPage {
    uint32_t width = 0;  // pixels
    uint32_t height = 0;
    double width_points = 0;  // the page's media box
    double height_points = 0;
    // height rows of (width + 7) / 8 bytes, first pixel in the most significant bit, 1 black
    // (as the page shows, whatever the stream's BlackIs1 and Decode say).
    std::vector<uint8_t> rows;
};

// False in a build that cannot read PDFs back (no PDF parser).
bool pdf_readback_available();

class PdfReadBack {
  public:
    PdfReadBack();
    ~PdfReadBack();
    PdfReadBack(const PdfReadBack&) = delete;
    PdfReadBack& operator=(const PdfReadBack&) = delete;

    // Opens the PDF at `path`, or the one open for writing on `fd` (read from its start through
    // the process's own view of the descriptor; the descriptor stays the caller's). Empty on
    // success, otherwise what is wrong ("not a PDF that can be read: ...").
    std::string open(const std::string& path);
    std::string open_descriptor(int fd);

    size_t page_count() const;
    // Page `index` (from 0). Empty on success, otherwise what is wrong with the page.
    std::string read_page(size_t index, ReadBackPage& page);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace trelvane::pdfout
