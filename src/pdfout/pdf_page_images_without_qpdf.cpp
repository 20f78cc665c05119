#include "pdfout/pdf_page_images.h"

// The build without qpdf (the Windows build: Debian has no MinGW build of it). The program
// refuses /verify before a run starts; should anything else ask, it gets the reason.

namespace trelvane::pdfout {

bool pdf_parser_available() {
    return false;
}

struct PdfPageImages::Impl {};

PdfPageImages::PdfPageImages() : impl_(std::make_unique<Impl>()) {}
PdfPageImages::~PdfPageImages() = default;

std::string PdfPageImages::open(const std::string&) {
    return "the PDF cannot be read back (this build has no PDF parser)";
}

size_t PdfPageImages::page_count() const {
    return 0;
}

std::string PdfPageImages::read(size_t, RawPageImage& page, uint64_t) {
    page = RawPageImage{};
    return "the PDF cannot be read back (this build has no PDF parser)";
}

}  // namespace trelvane::pdfout
