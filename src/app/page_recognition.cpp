#include "app/page_recognition.h"

#include <algorithm>
#include <atomic>
#include <utility>

#if TRELVANE_HAS_OCR
#include "ocr/ocr_engine.h"
#include "ocr/ocr_languages.h"
#endif

namespace trelvane::app {

struct RecognitionPool::Page {
    uint32_t index = 0;  // the fax's page, from 0
    int32_t width = 0;
    int32_t height = 0;
    int32_t row_bytes = 0;
    double x_resolution = 0;  // pixels per inch, 0 unknown
    double y_resolution = 0;
    std::vector<uint8_t> rows;
    std::atomic<bool> abandoned{false};

    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::optional<pdfout::PageText> text;  // nothing: recognition failed
};

bool recognition_available() {
    return TRELVANE_HAS_OCR != 0;
}

std::string recognition_problem(const std::string& languages) {
#if TRELVANE_HAS_OCR
    const ocr::LanguageCheck check = ocr::check_languages(languages);
    return check.ok ? std::string() : check.message;
#else
    (void)languages;
    return "this trelvane was built without text recognition, so /ocr cannot be used; build it "
           "with Tesseract (apt-get install libtesseract-dev tesseract-ocr-eng, then cmake "
           "-DTRELVANE_OCR=ON)";
#endif
}

RecognitionPool::RecognitionPool(std::string languages, unsigned threads,
                                 std::function<void(const RecognitionProgress&)> on_page)
    : languages_(std::move(languages)), on_page_(std::move(on_page)) {
    threads = std::max(threads, 1u);
    threads_.reserve(threads);
    for (unsigned i = 0; i < threads; ++i)
        threads_.emplace_back([this] { work(); });
}

RecognitionPool::~RecognitionPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        for (const std::shared_ptr<Page>& page : queue_) {
            std::lock_guard<std::mutex> page_lock(page->mutex);
            page->done = true;
            page->finished.notify_all();
        }
        queue_.clear();
    }
    changed_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void RecognitionPool::submit(std::shared_ptr<Page> page) {
    std::unique_lock<std::mutex> lock(mutex_);
    const size_t limit = 2 * threads_.size();
    changed_.wait(lock, [&] { return closing_ || queue_.size() < limit; });
    if (closing_) {
        std::lock_guard<std::mutex> page_lock(page->mutex);
        page->done = true;
        return;
    }
    queue_.push_back(std::move(page));
    ++progress_.pages_queued;
    changed_.notify_all();
}

RecognitionProgress RecognitionPool::progress() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
}

namespace {

#if TRELVANE_HAS_OCR
std::optional<pdfout::PageText> recognise(ocr::OcrEngine& engine, const RecognitionPool::Page& page);
#endif

}  // namespace

void RecognitionPool::work() {
#if TRELVANE_HAS_OCR
    // Made on the thread's first page and kept for every later one: loading the language
    // models is what costs.
    std::unique_ptr<ocr::OcrEngine> engine;
    bool engine_tried = false;
#endif
    for (;;) {
        std::shared_ptr<Page> page;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
            if (closing_)
                return;
            page = std::move(queue_.front());
            queue_.pop_front();
        }
        changed_.notify_all();  // room for a waiting submit
        std::optional<pdfout::PageText> text;
        if (!page->abandoned.load()) {
#if TRELVANE_HAS_OCR
            if (!engine_tried) {
                engine_tried = true;
                ocr::OcrOptions options;
                options.languages = languages_;
                std::string error;
                engine = ocr::OcrEngine::create(options, &error);
            }
            if (engine)
                text = recognise(*engine, *page);
#endif
        }
        page->rows = {};
        {
            std::lock_guard<std::mutex> page_lock(page->mutex);
            page->text = std::move(text);
            page->done = true;
        }
        page->finished.notify_all();
        RecognitionProgress now;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++progress_.pages_done;
            now = progress_;
        }
        if (on_page_)
            on_page_(now);
    }
}

namespace {

#if TRELVANE_HAS_OCR
std::optional<pdfout::PageText> recognise(ocr::OcrEngine& engine,
                                          const RecognitionPool::Page& page) {
    const ocr::PageBitmap bitmap{page.rows.data(), page.rows.size(), page.width,
                                 page.height,      page.row_bytes,   page.x_resolution,
                                 page.y_resolution};
    ocr::OcrResult result;
    try {
        result = engine.recognise(bitmap);
    } catch (...) {
        return std::nullopt;  // memory ran out: the page goes without text
    }
    if (!result.ok())
        return std::nullopt;
    pdfout::PageText text;
    text.words.reserve(result.words.size());
    for (ocr::OcrWord& w : result.words) {
        text.words.push_back(pdfout::TextWord{std::move(w.text), double(w.left), double(w.top),
                                              double(w.right), double(w.bottom), w.block,
                                              w.paragraph, w.line});
    }
    return text;
}
#endif

double pixels_per_inch(float resolution, uint16_t unit) {
    if (!(resolution > 0) || unit == RESUNIT_NONE)
        return 0;
    return unit == RESUNIT_CENTIMETER ? resolution * 2.54 : resolution;
}

}  // namespace

FileRecognition::~FileRecognition() {
    // Pages still queued when a conversion ends early are not worth reading.
    for (const std::shared_ptr<RecognitionPool::Page>& page : pages_)
        page->abandoned = true;
}

void FileRecognition::page_decoded(const pdfout::DecodedPage& decoded) {
    auto page = std::make_shared<RecognitionPool::Page>();
    page->index = decoded.index;
    page->width = static_cast<int32_t>(decoded.width);
    page->height = static_cast<int32_t>(decoded.height);
    page->row_bytes = static_cast<int32_t>(decoded.row_bytes);
    page->x_resolution = pixels_per_inch(decoded.x_resolution, decoded.resolution_unit);
    page->y_resolution = pixels_per_inch(decoded.y_resolution, decoded.resolution_unit);
    page->rows.assign(decoded.rows.begin(), decoded.rows.end());
    pages_.push_back(page);
    pool_.submit(std::move(page));
}

void FileRecognition::copy_finished(const pdfout::TiffCopyReport& report) {
    // Pages the copy could not write are not in the output; every other decoded page is, in
    // the order decoded.
    std::vector<uint32_t> left_out;
    for (const pdfout::CopiedPage& copied : report.pages) {
        if (copied.left_out)
            left_out.push_back(copied.index);
    }
    std::sort(left_out.begin(), left_out.end());
    output_order_.clear();
    for (size_t i = 0; i < pages_.size(); ++i) {
        if (std::binary_search(left_out.begin(), left_out.end(), pages_[i]->index))
            pages_[i]->abandoned = true;
        else
            output_order_.push_back(i);
    }
}

std::optional<pdfout::PageText> FileRecognition::page_text(uint32_t page_index) {
    if (page_index >= output_order_.size())
        return std::nullopt;  // a page the copy stage did not decode itself
    RecognitionPool::Page& page = *pages_[output_order_[page_index]];
    std::unique_lock<std::mutex> lock(page.mutex);
    page.finished.wait(lock, [&] { return page.done; });
    if (!page.text)
        without_text_.push_back(page.index);
    return std::move(page.text);
}

std::vector<uint32_t> FileRecognition::pages_without_text() const {
    std::vector<uint32_t> pages = without_text_;
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    return pages;
}

}  // namespace trelvane::app
