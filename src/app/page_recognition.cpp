#include "app/page_recognition.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstring>
#include <utility>

namespace trelvane::app {

struct RecognitionPool::File {
    bool complete = false;  // every page submitted (guarded by the pool's mutex)
};

struct RecognitionPool::Page {
    uint32_t index = 0;  // the fax's page, from 0
    int32_t width = 0;
    int32_t height = 0;
    int32_t row_bytes = 0;
    double x_resolution = 0;  // pixels per inch, 0 unknown
    double y_resolution = 0;
    std::vector<uint8_t> rows;
    std::atomic<bool> abandoned{false};
    std::shared_ptr<File> file;
    uint64_t ink = 0;  // black pixels
    std::chrono::steady_clock::time_point queued;

    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::optional<pdfout::PageText> text;  // nothing: recognition failed
};

namespace {

// How long a thread waits for more of a file's pages before it picks among those queued.
constexpr std::chrono::milliseconds kGatherTime{50};

uint64_t black_pixels(const std::vector<uint8_t>& rows) {
    uint64_t count = 0;
    size_t i = 0;
    for (; i + 8 <= rows.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, rows.data() + i, sizeof word);
        count += static_cast<uint64_t>(std::popcount(word));
    }
    for (; i < rows.size(); ++i)
        count += static_cast<uint64_t>(std::popcount(rows[i]));
    return count;
}

#if TRELVANE_HAS_OCR
std::string module_problem(const std::string& why) {
    return "text recognition cannot be used: its module could not be loaded (" + why +
           "); reinstall trelvane";
}

// A failure says what the user should do: the packages that bring the languages that failed.
std::unique_ptr<ocr::PageReader> make_engine(const std::string& languages, std::string* error) {
    std::string why;
    const ocr::OcrModule* module = ocr::load_ocr_module(&why);
    if (module == nullptr) {
        *error = module_problem(why);
        return nullptr;
    }
    ocr::OcrOptions options;
    options.languages = languages;
    return module->create_reader(options, error);
}
#endif

}  // namespace

bool recognition_available() {
    return TRELVANE_HAS_OCR != 0;
}

std::string recognition_problem(const std::string& languages,
                                std::unique_ptr<ocr::PageReader>* engine) {
#if TRELVANE_HAS_OCR
    std::string error;
    if (engine != nullptr) {
        *engine = make_engine(languages, &error);
        return *engine ? std::string() : error;
    }
    const ocr::OcrModule* module = ocr::load_ocr_module(&error);
    if (module == nullptr)
        return module_problem(error);
    const ocr::LanguageCheck check = module->check_languages(languages, {});
    return check.ok ? std::string() : check.message;
#else
    (void)languages;
    (void)engine;
    return "this trelvane was built without text recognition, so /ocr cannot be used; build it "
           "with Tesseract (apt-get install libtesseract-dev tesseract-ocr-eng, then cmake "
           "-DTRELVANE_OCR=ON)";
#endif
}

RecognitionPool::RecognitionPool(std::string languages, unsigned threads,
                                 std::function<void(const RecognitionProgress&)> on_page,
                                 std::unique_ptr<ocr::PageReader> engine)
    : languages_(std::move(languages)), on_page_(std::move(on_page)) {
    threads = std::max(threads, 1u);
    first_ready_ = engine != nullptr;
    threads_.reserve(threads);
    for (unsigned i = 0; i < threads; ++i) {
        std::unique_ptr<ocr::PageReader> own = i == 0 ? std::move(engine) : nullptr;
        threads_.emplace_back(
            [this, i, own = std::move(own)]() mutable { work(std::move(own), i == 0); });
    }
}

std::string RecognitionPool::wait_until_ready() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return first_ready_; });
    return first_problem_;
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
    const size_t limit = kPagesPerThread * threads_.size();
    changed_.wait(lock, [&] { return closing_ || queue_.size() < limit; });
    if (closing_) {
        std::lock_guard<std::mutex> page_lock(page->mutex);
        page->done = true;
        return;
    }
    page->queued = std::chrono::steady_clock::now();
    queue_.push_back(std::move(page));
    ++progress_.pages_queued;
    changed_.notify_all();
}

void RecognitionPool::file_complete(File& file) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        file.complete = true;
    }
    changed_.notify_all();
}

RecognitionProgress RecognitionPool::progress() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
}

std::shared_ptr<RecognitionPool::Page> RecognitionPool::next_page(
    std::unique_lock<std::mutex>& lock) {
    const size_t limit = kPagesPerThread * threads_.size();
    for (;;) {
        changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
        if (closing_)
            return nullptr;
        // Files go in the order they came; a file still being decoded gets a moment to hand
        // over more pages, so that its heaviest is among those to choose from.
        const std::shared_ptr<Page>& head = queue_.front();
        const auto deadline = head->queued + kGatherTime;
        if (!head->file->complete && queue_.size() < limit &&
            std::chrono::steady_clock::now() < deadline) {
            changed_.wait_until(lock, deadline, [&] {
                return closing_ || queue_.empty() || queue_.front()->file->complete ||
                       queue_.size() >= limit;
            });
            continue;
        }
        auto pick = queue_.begin();
        for (auto it = queue_.begin(); it != queue_.end(); ++it) {
            if ((*it)->file == head->file && (*it)->ink > (*pick)->ink)
                pick = it;
        }
        std::shared_ptr<Page> page = std::move(*pick);
        queue_.erase(pick);
        return page;
    }
}

namespace {

#if TRELVANE_HAS_OCR
std::optional<pdfout::PageText> recognise(ocr::PageReader& engine,
                                          const RecognitionPool::Page& page);
#endif

}  // namespace

void RecognitionPool::work(std::unique_ptr<ocr::PageReader> engine, bool first) {
    // Made as the thread starts, on every thread at once, and kept for every page: loading the
    // language models is what costs.
    if (!engine) {
        std::string error;
#if TRELVANE_HAS_OCR
        engine = make_engine(languages_, &error);
#else
        error = recognition_problem(languages_);
#endif
        if (first) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                first_ready_ = true;
                first_problem_ = engine ? std::string() : error;
            }
            changed_.notify_all();
        }
    }
    for (;;) {
        std::shared_ptr<Page> page;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            page = next_page(lock);
            if (!page)
                return;
        }
        changed_.notify_all();  // room for a waiting submit
        std::optional<pdfout::PageText> text;
#if TRELVANE_HAS_OCR
        if (!page->abandoned.load() && engine)
            text = recognise(*engine, *page);
#endif
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
std::optional<pdfout::PageText> recognise(ocr::PageReader& engine,
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

FileRecognition::FileRecognition(RecognitionPool& pool)
    : pool_(pool), file_(std::make_shared<RecognitionPool::File>()) {}

FileRecognition::~FileRecognition() {
    // Pages still queued when a conversion ends early are not worth reading.
    for (const std::shared_ptr<RecognitionPool::Page>& page : pages_)
        page->abandoned = true;
    pool_.file_complete(*file_);
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
    page->ink = black_pixels(page->rows);
    page->file = file_;
    pages_.push_back(page);
    pool_.submit(std::move(page));
}

void FileRecognition::copy_finished(const pdfout::TiffCopyReport& report) {
    pool_.file_complete(*file_);
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
