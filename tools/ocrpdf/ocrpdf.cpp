// ocrpdf: recognises the pages of a TIFF file of bilevel fax pages and writes the PDF of
// those pages with its invisible text layer.
//
//   ocrpdf [options] INPUT.tif OUTPUT.pdf
//
// Pages are decoded by libtiff and recognised one at a time as the PDF writer asks for
// them. One line per page goes to standard error: its words and its recognition seconds.
#include <tiffio.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ocr/ocr_engine.h"
#include "ocr/ocr_languages.h"
#include "pdfout/pdf_writer.h"
#include "pdfout/text_layer.h"
#include "pdfout/tiff_handle.h"

namespace {

using namespace trelvane;

void usage() {
    std::fputs(
        "usage: ocrpdf [options] INPUT.tif OUTPUT.pdf\n"
        "  -l LANGS         Tesseract languages (default eng)\n"
        "  --psm N          page segmentation mode (default 3)\n"
        "  --scaling MODE   interpolate (default) or replicate, for non-square pixels\n"
        "  --dpi N          square resolution to scale pages to (default: the larger one)\n"
        "  --tolerance X    leave resolutions within this fraction unscaled (default 0.01)\n"
        "  --no-dpi         do not tell Tesseract the resolution\n"
        "  --invert         let Tesseract also try lines as inverted text\n"
        "  --words FILE     also write every word: page, box, confidence, line, text\n",
        stderr);
}

struct PageRead {
    std::vector<uint8_t> bits;
    ocr::PageBitmap bitmap;
};

// The current directory decoded to 1 = black rows.
bool read_page(TIFF* t, PageRead& page) {
    uint32_t width = 0, length = 0;
    uint16_t bits = 1, samples = 1, photometric = PHOTOMETRIC_MINISWHITE, unit = RESUNIT_INCH;
    float xres = 0, yres = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &length);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetField(t, TIFFTAG_XRESOLUTION, &xres);
    TIFFGetField(t, TIFFTAG_YRESOLUTION, &yres);
    TIFFGetFieldDefaulted(t, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (bits != 1 || samples != 1 || width == 0 || length == 0)
        return false;
    const tmsize_t row = TIFFScanlineSize(t);
    const uint64_t size = static_cast<uint64_t>(row) * length;
    if (row <= 0 || size > pdfout::kMaxPageBufferBytes)
        return false;
    page.bits.assign(static_cast<size_t>(size), 0);
    uint64_t offset = 0;
    const tmsize_t strip_size = TIFFStripSize(t);
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(t) && offset < size; ++s) {
        const tmsize_t got = TIFFReadEncodedStrip(
            t, s, page.bits.data() + offset,
            std::min<tmsize_t>(strip_size, static_cast<tmsize_t>(size - offset)));
        if (got < 0)
            return false;
        offset += static_cast<uint64_t>(got);
    }
    if (photometric == PHOTOMETRIC_MINISBLACK) {
        for (uint8_t& b : page.bits)
            b = static_cast<uint8_t>(~b);
    }
    const double k = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
    page.bitmap = ocr::PageBitmap{page.bits.data(),
                                  page.bits.size(),
                                  static_cast<int32_t>(width),
                                  static_cast<int32_t>(length),
                                  static_cast<int32_t>(row),
                                  xres * k,
                                  yres * k};
    return true;
}

class RecognisingProvider : public pdfout::PageTextProvider {
  public:
    RecognisingProvider(TIFF* tiff, ocr::OcrEngine& engine, FILE* words)
        : tiff_(tiff), engine_(engine), words_(words) {}

    std::optional<pdfout::PageText> page_text(uint32_t index) override {
        PageRead page;
        if (!pdfout::go_to_directory(tiff_, static_cast<tdir_t>(index)) ||
            !read_page(tiff_, page)) {
            std::fprintf(stderr, "ocrpdf: page %u: cannot decode\n", index + 1);
            ++failed_;
            return std::nullopt;
        }
        const auto start = std::chrono::steady_clock::now();
        const ocr::OcrResult result = engine_.recognise(page.bitmap);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        seconds_ += seconds;
        ++pages_;
        if (!result.ok()) {
            std::fprintf(stderr, "ocrpdf: page %u: no text layer (%s)\n", index + 1,
                         result.message.c_str());
            ++failed_;
            return std::nullopt;
        }
        std::fprintf(stderr, "ocrpdf: page %u: %zu words, %.3f s\n", index + 1, result.words.size(),
                     seconds);
        pdfout::PageText text;
        for (const ocr::OcrWord& w : result.words) {
            text.words.push_back(pdfout::TextWord{w.text, double(w.left), double(w.top),
                                                  double(w.right), double(w.bottom), w.block,
                                                  w.paragraph, w.line});
            if (words_) {
                std::fprintf(words_, "%u\t%d\t%d\t%d\t%d\t%.1f\t%d\t%d\t%d\t%s\n", index + 1,
                             w.left, w.top, w.right, w.bottom, double(w.confidence), w.block,
                             w.paragraph, w.line, w.text.c_str());
            }
        }
        return text;
    }
    double seconds() const { return seconds_; }
    unsigned pages() const { return pages_; }
    unsigned failed() const { return failed_; }

  private:
    TIFF* tiff_;
    ocr::OcrEngine& engine_;
    FILE* words_;
    double seconds_ = 0;
    unsigned pages_ = 0, failed_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    ocr::OcrOptions options;
    std::vector<std::string> files;
    std::string words_path;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "-l" && more) {
            options.languages = argv[++i];
        } else if (a == "--psm" && more) {
            options.page_segmentation = std::atoi(argv[++i]);
        } else if (a == "--scaling" && more) {
            const std::string m = argv[++i];
            if (m != "interpolate" && m != "replicate")
                return usage(), 2;
            options.scaling =
                m == "replicate" ? ocr::Scaling::kReplicate : ocr::Scaling::kInterpolate;
        } else if (a == "--dpi" && more) {
            options.target_resolution = std::atof(argv[++i]);
        } else if (a == "--tolerance" && more) {
            options.scale_tolerance = std::atof(argv[++i]);
        } else if (a == "--no-dpi") {
            options.tell_resolution = false;
        } else if (a == "--invert") {
            options.check_inverted = true;
        } else if (a == "--words" && more) {
            words_path = argv[++i];
        } else if (!a.empty() && a[0] == '-') {
            return usage(), 2;
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2)
        return usage(), 2;

    const ocr::LanguageCheck check = ocr::check_languages(options.languages, options.data_path);
    if (!check.ok) {
        std::fprintf(stderr, "ocrpdf: %s\n", check.message.c_str());
        return 2;
    }
    std::string error;
    auto engine = ocr::OcrEngine::create(options, &error);
    if (!engine) {
        std::fprintf(stderr, "ocrpdf: %s\n", error.c_str());
        return 2;
    }
    pdfout::DiagnosticSink sink;
    pdfout::TiffPtr tiff = pdfout::open_tiff_for_reading(files[0], sink);
    if (!tiff) {
        std::fprintf(stderr, "ocrpdf: cannot read %s\n", files[0].c_str());
        return 1;
    }
    FILE* words = nullptr;
    if (!words_path.empty() && !(words = std::fopen(words_path.c_str(), "w"))) {
        std::fprintf(stderr, "ocrpdf: cannot write %s\n", words_path.c_str());
        return 1;
    }
    RecognisingProvider provider(tiff.get(), *engine, words);
    const int status =
        pdfout::convert_tiff_to_pdf(files[0], files[1], pdfout::kRequestNothing,
                                    pdfout::PdfDocumentInfo{}, sink, {.text = &provider});
    if (words)
        std::fclose(words);
    std::fprintf(stderr, "ocrpdf: %u pages, %.3f s recognising, %u without text\n",
                 provider.pages(), provider.seconds(), provider.failed());
    if (status != pdfout::kPdfOk) {
        std::fprintf(stderr, "ocrpdf: cannot write %s\n", files[1].c_str());
        return 1;
    }
    return 0;
}
