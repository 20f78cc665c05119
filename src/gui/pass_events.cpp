#include "gui/pass_events.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "app/report_text.h"

namespace trelvane::gui {

void PassEventQueue::post(PassEvent event) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.push_back(std::move(event));
        wake = !scheduled_;
        scheduled_ = true;
    }
    // One wake a batch: events posted while it waits go with it.
    if (wake && wake_) {
        wake_();
    }
}

void PassEventQueue::drain(const Apply& apply) {
    if (draining_) {
        return;
    }
    draining_ = true;
    std::vector<PassEvent> batch;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        batch.swap(pending_);
    }
    for (PassEvent& event : batch) {
        apply(event);
    }
    // One batch a turn: what came meanwhile is drained on the next wake, after the input that
    // waits. Draining until the queue stayed empty kept the window from ever seeing its
    // Cancel button while the conversions outran it (2,000 small faxes under Wine).
    bool again = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        again = !pending_.empty();
        scheduled_ = again;
    }
    draining_ = false;
    if (again && wake_) {
        wake_();
    }
}

void QueuedPassView::post(PassEvent::Kind kind, int number, std::string text) {
    queue_.post(PassEvent{kind, number, std::move(text), {}, false});
}

void QueuedPassView::pass_started() {
    post(PassEvent::Kind::Started);
}

void QueuedPassView::save_folder_failed(const std::string& message) {
    post(PassEvent::Kind::SaveFolderFailed, 0, message);
}

void QueuedPassView::work_files_failed(const std::string& message) {
    post(PassEvent::Kind::WorkFilesFailed, 0, message);
}

void QueuedPassView::recognition_unavailable(const std::string& message) {
    post(PassEvent::Kind::RecognitionUnavailable, 0, message);
}

void QueuedPassView::file_started(int row, const std::string& source_path) {
    post(PassEvent::Kind::FileStarted, row, source_path);
}

void QueuedPassView::pages_recognised(uint64_t pages) {
    post(PassEvent::Kind::PagesRecognised, static_cast<int>(std::min<uint64_t>(pages, INT_MAX)));
}

void QueuedPassView::file_finished(int row, const app::FileOutcome& outcome) {
    queue_.post(PassEvent{PassEvent::Kind::FileFinished, row,
                          app::pdf_in_place(outcome) ? outcome.pdf : std::string(),
                          app::row_text(outcome), app::is_failure(app::result_code(outcome))});
}

void QueuedPassView::status_changed(const std::string& status) {
    post(PassEvent::Kind::Status, 0, status);
}

void QueuedPassView::pass_finished(int converted) {
    post(PassEvent::Kind::Finished, converted);
}

}  // namespace trelvane::gui
