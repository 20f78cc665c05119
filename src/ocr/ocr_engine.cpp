#include "ocr/ocr_engine.h"

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <new>

#if TRELVANE_OCR_OPENMP
#include <omp.h>
#endif

#include "ocr/ocr_languages.h"

namespace trelvane::ocr {

struct OcrEngine::Tesseract {
    tesseract::TessBaseAPI api;
};

namespace {

struct PixDeleter {
    void operator()(Pix* p) const { pixDestroy(&p); }
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

struct TextDeleter {
    void operator()(char* p) const { delete[] p; }
};

// Leptonica keeps pixels in 32-bit words, first pixel in the word's most significant bit, so
// the bytes of our rows go into words in big-endian order whatever the machine. 1 = black in
// both.
PixPtr make_pix(const ScaledPage& page, bool with_resolution) {
    PixPtr pix(pixCreate(page.width, page.height, page.bits_per_pixel));
    if (!pix)
        return nullptr;
    const int wpl = pixGetWpl(pix.get());
    l_uint32* data = pixGetData(pix.get());
    for (int32_t y = 0; y < page.height; ++y) {
        const uint8_t* src = page.pixels.data() + static_cast<size_t>(y) * page.row_bytes;
        l_uint32* dst = data + static_cast<ptrdiff_t>(y) * wpl;
        for (int32_t i = 0; i < page.row_bytes; ++i) {
            const int shift = 24 - 8 * (i % 4);
            dst[i / 4] |= static_cast<l_uint32>(src[i]) << shift;
        }
    }
    // Without a resolution Tesseract estimates one from the text.
    const auto dpi = with_resolution ? static_cast<l_int32>(std::lround(page.resolution)) : 0;
    pixSetResolution(pix.get(), dpi, dpi);
    return pix;
}

int32_t to_page(int32_t v, double factor, int32_t limit, bool round_up) {
    const double p = v / factor;
    const auto r = static_cast<int32_t>(round_up ? std::ceil(p - 1e-9) : std::floor(p + 1e-9));
    return std::clamp<int32_t>(r, 0, limit);
}

bool is_blank(const char* text) {
    for (const char* c = text; *c; ++c) {
        if (*c != ' ' && *c != '\t' && *c != '\n' && *c != '\r')
            return false;
    }
    return true;
}

std::vector<OcrWord> collect_words(tesseract::TessBaseAPI& api, const ScaledPage& scaled,
                                   const PageBitmap& page) {
    std::vector<OcrWord> words;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it)
        return words;
    int32_t block = -1, paragraph = -1, line = -1;
    const auto level = tesseract::RIL_WORD;
    do {
        if (it->IsAtBeginningOf(tesseract::RIL_BLOCK))
            ++block;
        if (it->IsAtBeginningOf(tesseract::RIL_PARA))
            ++paragraph;
        if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE))
            ++line;
        if (it->Empty(level))
            continue;
        std::unique_ptr<char[], TextDeleter> text(it->GetUTF8Text(level));
        int left = 0, top = 0, right = 0, bottom = 0;
        if (!text || is_blank(text.get()) || !it->BoundingBox(level, &left, &top, &right, &bottom))
            continue;
        OcrWord w;
        w.text = text.get();
        w.left = to_page(left, scaled.x_factor, page.width, false);
        w.top = to_page(top, scaled.y_factor, page.height, false);
        w.right = std::max(w.left + 1, to_page(right, scaled.x_factor, page.width, true));
        w.bottom = std::max(w.top + 1, to_page(bottom, scaled.y_factor, page.height, true));
        w.confidence = it->Confidence(level);
        w.block = std::max(block, 0);
        w.paragraph = std::max(paragraph, 0);
        w.line = std::max(line, 0);
        words.push_back(std::move(w));
    } while (it->Next(level));
    return words;
}

std::string time_out_message(int limit_ms) {
    return "recognition took longer than " + std::to_string(limit_ms / 1000) + " s";
}

OcrResult failure(OcrStatus status, std::string message) {
    OcrResult r;
    r.status = status;
    r.message = std::move(message);
    return r;
}

}  // namespace

OcrEngine::OcrEngine(const OcrOptions& options, std::unique_ptr<Tesseract> api)
    : options_(options), api_(std::move(api)) {}

OcrEngine::~OcrEngine() {
    if (api_)
        api_->api.End();
}

std::unique_ptr<OcrEngine> OcrEngine::create(const OcrOptions& asked, std::string* error) {
    // Names in another case than the data's ("ENG") load as the installed ones; the check
    // finds them only when the names as given do not load.
    OcrOptions options = asked;
    // What the user is told: the languages that failed and the packages that bring them.
    const auto fail = [&]() -> std::unique_ptr<OcrEngine> {
        if (error) {
            *error = check_languages(options.languages, options.data_path).message;
            if (error->empty())
                *error = "cannot load the OCR languages '" + options.languages + "'";
        }
        return nullptr;
    };
    std::vector<std::string> wanted = split_languages(options.languages);
    if (wanted.empty())
        return fail();
#if TRELVANE_OCR_OPENMP
    // Tesseract would fan every line out over OpenMP threads of its own; the conversion pool
    // already keeps every core busy with one engine per thread.
    omp_set_max_active_levels(0);
#endif
    auto t = std::make_unique<Tesseract>();
    if (!init_quietly(t->api, options.languages, options.data_path)) {
        // Not under the lock: saying which languages failed loads each of them again.
        const LanguageCheck check = check_languages(options.languages, options.data_path);
        if (!check.ok || check.resolved == options.languages) {
            if (error) {
                *error = check.ok ? "cannot load the OCR languages '" + options.languages + "'"
                                  : check.message;
            }
            return nullptr;
        }
        options.languages = check.resolved;
        wanted = split_languages(options.languages);
        t = std::make_unique<Tesseract>();
        if (!init_quietly(t->api, options.languages, options.data_path))
            return fail();
    }
    // Tesseract goes on without a further language it cannot load; the caller asked for each.
    std::vector<std::string> loaded;
    t->api.GetLoadedLanguagesAsVector(&loaded);
    for (const std::string& language : wanted) {
        if (std::find(loaded.begin(), loaded.end(), language) == loaded.end())
            return fail();
    }
    t->api.SetPageSegMode(static_cast<tesseract::PageSegMode>(options.page_segmentation));
    t->api.SetVariable("tessedit_do_invert", options.check_inverted ? "1" : "0");
    return std::unique_ptr<OcrEngine>(new OcrEngine(options, std::move(t)));
}

OcrResult OcrEngine::recognise(const PageBitmap& page) {
    if (!is_valid_page(page)) {
        return failure(OcrStatus::kInvalidPage, "the page bitmap is not a valid page");
    }
    const double resolution = square_resolution(page, options_.target_resolution);
    const std::vector<Band> bands =
        plan_bands(page, resolution, options_.scale_tolerance, options_.max_band_pixels);
    // The time limit holds for the whole page, however many bands it takes.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.page_time_limit_ms);
    OcrResult result;
    for (const Band& band : bands) {
        PageBitmap part = page;
        part.bits = page.bits + static_cast<size_t>(band.top) * page.row_bytes;
        part.size = static_cast<size_t>(band.rows) * page.row_bytes;
        part.height = band.rows;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return failure(OcrStatus::kFailed, time_out_message(options_.page_time_limit_ms));
        OcrResult read = recognise_band(part, resolution, static_cast<int>(left.count()));
        if (!read.ok())
            return read;
        // Blocks, paragraphs and lines go on counting over the bands.
        int32_t blocks = 0, paragraphs = 0, lines = 0;
        for (const OcrWord& w : result.words) {
            blocks = std::max(blocks, w.block + 1);
            paragraphs = std::max(paragraphs, w.paragraph + 1);
            lines = std::max(lines, w.line + 1);
        }
        for (OcrWord& w : read.words) {
            w.top += band.top;
            w.bottom += band.top;
            w.block += blocks;
            w.paragraph += paragraphs;
            w.line += lines;
            result.words.push_back(std::move(w));
        }
    }
    return result;
}

OcrResult OcrEngine::recognise_band(const PageBitmap& page, double resolution, int time_limit_ms) {
    tesseract::TessBaseAPI& api = api_->api;
    try {
        const ScaledPage scaled =
            scale_to_square(page, options_.scaling, resolution, options_.scale_tolerance);
        PixPtr pix = make_pix(scaled, options_.tell_resolution);
        if (!pix)
            return failure(OcrStatus::kFailed, "out of memory for the page image");
        api.SetImage(pix.get());
        if (options_.tell_resolution)
            api.SetSourceResolution(static_cast<int>(std::lround(scaled.resolution)));
        tesseract::ETEXT_DESC monitor;
        monitor.set_deadline_msecs(time_limit_ms);
        const int status = api.Recognize(&monitor);
        if (monitor.deadline_exceeded()) {
            api.Clear();
            return failure(OcrStatus::kFailed, time_out_message(options_.page_time_limit_ms));
        }
        if (status != 0) {
            api.Clear();
            return failure(OcrStatus::kFailed, "the recogniser failed on the page");
        }
        OcrResult result;
        result.words = collect_words(api, scaled, page);
        api.Clear();
        return result;
    } catch (const std::bad_alloc&) {
        api.Clear();
        return failure(OcrStatus::kFailed, "out of memory while recognising the page");
    } catch (...) {
        api.Clear();
        return failure(OcrStatus::kFailed, "the recogniser failed on the page");
    }
}

}  // namespace trelvane::ocr
