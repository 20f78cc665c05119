// Text recognition of fax pages through Tesseract's LSTM engine. One engine per thread, made
// once and used for every page that thread converts: loading the language models is the
// expensive part. An engine is not shared between threads; engines on different threads are
// independent.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ocr/page_bitmap.h"

namespace trelvane::ocr {

// Tesseract's page segmentation modes that make sense for a fax page.
inline constexpr int kSegmentAuto = 3;          // layout analysis, columns and blocks
inline constexpr int kSegmentSingleColumn = 4;  // one column of text of variable sizes
inline constexpr int kSegmentSingleBlock = 6;   // one uniform block of text

struct OcrOptions {
    std::string languages = "eng";  // Tesseract's names joined by '+': "eng", "deu+eng"
    std::string data_path;          // tessdata folder; empty: TESSDATA_PREFIX or the built-in one
    int page_segmentation = kSegmentAuto;
    Scaling scaling = Scaling::kInterpolate;
    // Square resolution pages are scaled to; 0: the larger of the page's two resolutions.
    double target_resolution = 0;
    // Resolutions this close (a fraction) to the target stay unscaled. Bringing even 204 x 196
    // to square pixels finds more words (see make bench).
    double scale_tolerance = 0.01;
    // Tell Tesseract the page's resolution; without it Tesseract guesses from the text.
    bool tell_resolution = true;
    // Also try every doubtful line as white-on-black text; fax pages never are.
    bool check_inverted = false;
    // A page still unrecognised after this long fails instead of holding up the conversion.
    int page_time_limit_ms = 120000;
    // Pixels of the scaled image read at once: a longer page is read in bands (see
    // plan_bands). The recogniser needs some 6 bytes a pixel of text: a fine or standard
    // letter page (4 million pixels) goes whole, a superfine one in two bands.
    int64_t max_band_pixels = int64_t{8} << 20;
};

struct OcrWord {
    std::string text;  // UTF-8, never empty
    // Box in the page's own pixels (origin top left), right and bottom exclusive.
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    float confidence = 0;  // 0 to 100
    // Counted from 0 over the page in reading order.
    int32_t block = 0, paragraph = 0, line = 0;
};

enum class OcrStatus {
    kOk = 0,
    kInvalidPage = 1,  // the bitmap's fields do not describe a page
    kFailed = 2,       // the recogniser failed or ran out of time or memory
};

// A failed page is a result, never an exception: the page is converted without text.
struct OcrResult {
    OcrStatus status = OcrStatus::kOk;
    std::string message;  // why, when not ok
    std::vector<OcrWord> words;
    bool ok() const { return status == OcrStatus::kOk; }
};

class OcrEngine {
  public:
    // Loads the languages; nullptr with *error set when they cannot be loaded (see
    // check_languages for the message a user should see before any conversion starts).
    static std::unique_ptr<OcrEngine> create(const OcrOptions& options, std::string* error);
    ~OcrEngine();
    OcrEngine(const OcrEngine&) = delete;
    OcrEngine& operator=(const OcrEngine&) = delete;

    OcrResult recognise(const PageBitmap& page);
    const OcrOptions& options() const { return options_; }

  private:
    struct Tesseract;
    OcrResult recognise_band(const PageBitmap& band, double resolution, int time_limit_ms);
    OcrEngine(const OcrOptions& options, std::unique_ptr<Tesseract> api);

    OcrOptions options_;
    std::unique_ptr<Tesseract> api_;
};

}  // namespace trelvane::ocr
