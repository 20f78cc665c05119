// Searchable PDFs in a run: the pages of every file being converted are recognised on the run's
// own recognition threads, one per job, each with an engine it makes as it starts, all at once
// (or, for the first, one it is given: the window checks the languages first). The copy stage
// hands each decoded page over as it goes, and only the part of it that holds ink is kept: a
// page's cost follows what its data drew, not the size its header declares, and a blank page is
// not read at all. The pages waiting are bounded by their bytes, so a long fax, or one of huge
// pages, never holds more than a few megabytes of bitmaps. The PDF writer then takes each
// page's words in page order, waiting for pages still being read. A page whose recognition
// fails, or whose ink covers more than a sane page, is written without text and named in the
// file's report line.
//
// Files are taken in the order they come, but within a file the page with the most ink goes
// first: recognition time follows the amount of text, and a short page left for last ends a
// file sooner than a long one.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ocr/ocr_module.h"
#include "pdfout/text_layer.h"
#include "pdfout/tiff_copy.h"

namespace trelvane::app {

// True when this program was built with text recognition.
bool recognition_available();

// Checked before any conversion: empty when the languages can be recognised, else what the
// user should be told (which package to install, or that this build has no recognition). When
// `engine` is given and the languages load, it receives the engine they were loaded into, for
// the run's RecognitionPool.
std::string recognition_problem(const std::string& languages,
                                std::unique_ptr<ocr::PageReader>* engine = nullptr);

struct RecognitionProgress {
    uint64_t pages_done = 0;    // pages recognised (or failed) so far in the run
    uint64_t pages_queued = 0;  // pages handed over so far
};

class RecognitionPool {
  public:
    // threads: recognitions at once (at least one). on_page, when given, is called on a
    // recognition thread after each page. engine: one made for these languages already (see
    // recognition_problem), used by the first thread.
    RecognitionPool(std::string languages, unsigned threads,
                    std::function<void(const RecognitionProgress&)> on_page = {},
                    std::unique_ptr<ocr::PageReader> engine = {});
    // Waits for the pages being recognised; pages still queued are dropped.
    ~RecognitionPool();
    RecognitionPool(const RecognitionPool&) = delete;
    RecognitionPool& operator=(const RecognitionPool&) = delete;

    struct Page;
    struct File;
    // Waits until the queue has room for a page of `bytes` more (a page larger than the whole
    // queue goes when the queue is empty) and takes that room: called before the page's bitmap
    // is copied, so that a waiting page holds nothing. False when the pool is closing.
    bool make_room(size_t bytes);
    // Queues a page whose room was taken by make_room.
    void submit(std::shared_ptr<Page> page);
    // A page that needs no reading (a blank one) counts as read.
    void count_read_page();
    // The file's pages are all submitted: its heaviest page can be picked now.
    void file_complete(File& file);
    // Waits until the first thread has its engine: empty, or what the user should be told
    // when the languages cannot be recognised (see recognition_problem).
    std::string wait_until_ready();
    unsigned thread_count() const { return static_cast<unsigned>(threads_.size()); }
    RecognitionProgress progress() const;

    // Bytes of bitmaps waiting, a thread: some eight fine pages of text (the inked part of one
    // is some 400 KB).
    static constexpr size_t kQueueBytesPerThread = size_t{4} << 20;

  private:
    void work(std::unique_ptr<ocr::PageReader> engine, bool first);
    std::shared_ptr<Page> next_page(std::unique_lock<std::mutex>& lock);

    std::string languages_;
    std::function<void(const RecognitionProgress&)> on_page_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Page>> queue_;
    size_t queued_bytes_ = 0;  // of the pages queued, and of those whose room is taken
    unsigned waiting_ = 0;     // callers of make_room waiting for room
    RecognitionProgress progress_;
    bool closing_ = false;
    bool first_ready_ = false;   // the first thread has made its engine, or failed to
    std::string first_problem_;  // why it failed
    std::vector<std::thread> threads_;
};

// One file's pages: watches the copy stage for decoded pages and gives the PDF writer their
// words. Used on the thread converting the file.
class FileRecognition final : public pdfout::PageObserver, public pdfout::PageTextProvider {
  public:
    explicit FileRecognition(RecognitionPool& pool);
    ~FileRecognition() override;

    void page_decoded(const pdfout::DecodedPage& page) override;
    // After the copy stage: which of the input's pages made it into the output.
    void copy_finished(const pdfout::TiffCopyReport& report);
    std::optional<pdfout::PageText> page_text(uint32_t page_index) override;

    // Pages (the fax's own page index, from 0) written without text, ascending.
    std::vector<uint32_t> pages_without_text() const;

    // White pixels kept around a page's ink: the recogniser finds text lines more surely with
    // some paper around them.
    static constexpr uint32_t kInkMargin = 32;
    // A page whose inked part covers more pixels is not read (its line says "no text layer"):
    // ten fine letter pages, a fine page 3 metres long, an A3 page at 400 pixels per inch. The
    // recogniser's time grows with the area it reads even where little is written, and a few
    // kilobytes of data can draw ink over a page of 65535 x 65535.
    static constexpr uint64_t kMaxRecognisedPixels = uint64_t{40} << 20;

  private:
    RecognitionPool& pool_;
    std::shared_ptr<RecognitionPool::File> file_;
    std::vector<std::shared_ptr<RecognitionPool::Page>> pages_;  // in the order decoded
    std::vector<uint32_t> left_out_;  // input pages the copy left out of the output, ascending
    std::vector<uint32_t> without_text_;
};

}  // namespace trelvane::app
