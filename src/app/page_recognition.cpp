#include "app/page_recognition.h"

#include "app/page_ink.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <utility>

namespace trelvane::app {

struct RecognitionPool::File {
    bool complete = false;  // every page submitted (guarded by the pool's mutex)
};

struct RecognitionPool::Page {
    uint32_t index = 0;  // the fax's page, from 0
    // The inked part of the page that is read, and where it lies on the page.
    int32_t left = 0;
    int32_t top = 0;
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

#if TRELVANE_HAS_OCR
std::string module_problem(const std::string& why) {
    return "text recognition cannot be used: its module could not be loaded (" + why +
           "); install the package trelvane-ocr (apt install trelvane-ocr), or reinstall it";
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
        queued_bytes_ = 0;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

bool RecognitionPool::make_room(size_t bytes) {
    std::unique_lock<std::mutex> lock(mutex_);
    const size_t limit = kQueueBytesPerThread * threads_.size();
    ++waiting_;
    changed_.wait(lock,
                  [&] { return closing_ || queued_bytes_ == 0 || queued_bytes_ + bytes <= limit; });
    --waiting_;
    if (closing_)
        return false;
    queued_bytes_ += bytes;
    return true;
}

void RecognitionPool::submit(std::shared_ptr<Page> page) {
    std::unique_lock<std::mutex> lock(mutex_);
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

void RecognitionPool::count_read_page() {
    RecognitionProgress now;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++progress_.pages_queued;
        ++progress_.pages_done;
        now = progress_;
    }
    if (on_page_)
        on_page_(now);
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
    for (;;) {
        changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
        if (closing_)
            return nullptr;
        // Files go in the order they came; a file still being decoded gets a moment to hand
        // over more pages, so that its heaviest is among those to choose from. A page waiting
        // for room means the queue is full: nothing more can come.
        const std::shared_ptr<Page>& head = queue_.front();
        const auto deadline = head->queued + kGatherTime;
        if (!head->file->complete && waiting_ == 0 && std::chrono::steady_clock::now() < deadline) {
            changed_.wait_until(lock, deadline, [&] {
                return closing_ || queue_.empty() || queue_.front()->file->complete || waiting_ > 0;
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
        queued_bytes_ -= page->rows.size();
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
    const ocr::PageBitmap bitmap{page.rows.data(), page.rows.size(),  page.width,       page.height,
                                 page.row_bytes,   page.x_resolution, page.y_resolution};
    const double left = page.left;
    const double top = page.top;
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
        text.words.push_back(pdfout::TextWord{std::move(w.text), left + w.left, top + w.top,
                                              left + w.right, top + w.bottom, w.block, w.paragraph,
                                              w.line});
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
    page->file = file_;
    pages_.push_back(page);
    const InkBox ink =
        find_ink(decoded.rows, decoded.row_bytes, decoded.width, decoded.height, kInkMargin);
    if (ink.empty() || ink.pixels() > kMaxRecognisedPixels) {
        // A blank page has no words to find; one beyond the limit goes without text.
        if (ink.empty())
            page->text = pdfout::PageText{};
        page->done = true;
        pool_.count_read_page();
        return;
    }
    page->left = static_cast<int32_t>(ink.left);
    page->top = static_cast<int32_t>(ink.top);
    page->width = static_cast<int32_t>(ink.width);
    page->height = static_cast<int32_t>(ink.height);
    const size_t row_bytes = (size_t{ink.width} + 7) / 8;
    page->row_bytes = static_cast<int32_t>(row_bytes);
    page->x_resolution = pixels_per_inch(decoded.x_resolution, decoded.resolution_unit);
    page->y_resolution = pixels_per_inch(decoded.y_resolution, decoded.resolution_unit);
    page->ink = ink.black;
    if (!pool_.make_room(row_bytes * ink.height)) {
        page->done = true;
        return;
    }
    page->rows.resize(row_bytes * ink.height);
    const uint8_t* from = decoded.rows.data() + size_t{ink.top} * decoded.row_bytes + ink.left / 8;
    for (uint32_t y = 0; y < ink.height; ++y)
        std::memcpy(page->rows.data() + y * row_bytes, from + y * decoded.row_bytes, row_bytes);
    pool_.submit(std::move(page));
}

void FileRecognition::copy_finished(const pdfout::TiffCopyReport& report) {
    pool_.file_complete(*file_);
    // The output holds the input's pages in order, less those the copy could not write.
    left_out_.clear();
    for (const pdfout::CopiedPage& copied : report.pages) {
        if (copied.left_out)
            left_out_.push_back(copied.index);
    }
    std::sort(left_out_.begin(), left_out_.end());
    left_out_.erase(std::unique(left_out_.begin(), left_out_.end()), left_out_.end());
    for (const std::shared_ptr<RecognitionPool::Page>& page : pages_) {
        if (std::binary_search(left_out_.begin(), left_out_.end(), page->index))
            page->abandoned = true;
    }
}

std::optional<pdfout::PageText> FileRecognition::page_text(uint32_t page_index) {
    uint64_t index = page_index;  // the input's page that is the output's page_index
    for (const uint32_t gone : left_out_) {
        if (gone > index)
            break;
        ++index;
    }
    // Pages are decoded in the input's order.
    const auto at = std::lower_bound(
        pages_.begin(), pages_.end(), index,
        [](const std::shared_ptr<RecognitionPool::Page>& p, uint64_t i) { return p->index < i; });
    if (at == pages_.end() || (*at)->index != index) {
        // A page the copy stage did not decode itself (the library copied it) was not read.
        without_text_.push_back(static_cast<uint32_t>(index));
        return std::nullopt;
    }
    RecognitionPool::Page& page = **at;
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
