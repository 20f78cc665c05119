#include "pdfout/pdf_page_images.h"

// qpdf's headers ask which of its pointer types we use: none of the old ones.
#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <cmath>
#include <exception>
#include <map>

namespace trelvane::pdfout {

namespace {

// The value of a dictionary entry that may be given directly or as a one-element array (as
// /Filter and /DecodeParms may).
QPDFObjectHandle single(QPDFObjectHandle value) {
    if (value.isArray())
        return value.getArrayNItems() == 1 ? value.getArrayItem(0) : QPDFObjectHandle::newNull();
    return value;
}

std::string read_error(const std::exception& e) {
    return std::string("the PDF cannot be read back (") + e.what() + ")";
}

}  // namespace

bool pdf_parser_available() {
    return true;
}

struct PdfPageImages::Impl {
    QPDF pdf;
    std::vector<QPDFPageObjectHelper> pages;
};

PdfPageImages::PdfPageImages() : impl_(std::make_unique<Impl>()) {}
PdfPageImages::~PdfPageImages() = default;

std::string PdfPageImages::open(const std::string& path) {
    try {
        impl_->pdf.setSuppressWarnings(true);
        impl_->pdf.setAttemptRecovery(false);
        impl_->pdf.processFile(path.c_str());
        impl_->pages = QPDFPageDocumentHelper(impl_->pdf).getAllPages();
    } catch (const std::exception& e) {
        impl_->pages.clear();
        return read_error(e);
    }
    return {};
}

size_t PdfPageImages::page_count() const {
    return impl_->pages.size();
}

std::string PdfPageImages::read(size_t index, RawPageImage& page, uint64_t max_image_bytes) {
    page = RawPageImage{};
    try {
        QPDFPageObjectHelper& helper = impl_->pages.at(index);
        const QPDFObjectHandle::Rectangle box = helper.getMediaBox().getArrayAsRectangle();
        page.width_points = std::fabs(box.urx - box.llx);
        page.height_points = std::fabs(box.ury - box.lly);
        std::map<std::string, QPDFObjectHandle> images = helper.getImages();
        page.image_count = images.size();
        if (images.size() != 1)
            return {};
        QPDFObjectHandle image = images.begin()->second;
        QPDFObjectHandle dict = image.getDict();
        const auto integer = [](QPDFObjectHandle v, long long fallback) {
            return v.isInteger() ? v.getIntValue() : fallback;
        };
        page.width = integer(dict.getKey("/Width"), 0);
        page.height = integer(dict.getKey("/Height"), 0);
        page.bits_per_component = integer(dict.getKey("/BitsPerComponent"), 0);
        QPDFObjectHandle filter = single(dict.getKey("/Filter"));
        page.ccitt = filter.isName() && filter.getName() == "/CCITTFaxDecode";
        QPDFObjectHandle parms = single(dict.getKey("/DecodeParms"));
        if (!parms.isDictionary())
            parms = QPDFObjectHandle::newDictionary();
        const auto flag = [&](const char* key) {
            QPDFObjectHandle v = parms.getKey(key);
            return v.isBool() && v.getBoolValue();
        };
        page.k = integer(parms.getKey("/K"), 0);
        page.columns = integer(parms.getKey("/Columns"), 1728);
        page.rows = integer(parms.getKey("/Rows"), page.height);
        page.black_is_1 = flag("/BlackIs1");
        page.encoded_byte_align = flag("/EncodedByteAlign");
        page.end_of_line = flag("/EndOfLine");
        QPDFObjectHandle decode = dict.getKey("/Decode");
        page.decode_inverted = decode.isArray() && decode.getArrayNItems() == 2 &&
                               decode.getArrayItem(0).getNumericValue() > 0.5;
        const uint64_t row_bytes = (static_cast<uint64_t>(std::max(page.width, 0LL)) + 7) / 8;
        if (page.width <= 0 || page.height <= 0 ||
            row_bytes * static_cast<uint64_t>(page.height) > max_image_bytes)
            return {};
        std::shared_ptr<Buffer> raw = image.getRawStreamData();
        page.data.assign(raw->getBuffer(), raw->getBuffer() + raw->getSize());
    } catch (const std::exception& e) {
        return read_error(e);
    }
    return {};
}

}  // namespace trelvane::pdfout
