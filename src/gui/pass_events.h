// What a pass reports, carried from its threads over to the window's thread. Workers post and
// never wait for the window; the window applies the events in the order they were posted, in
// batches, whenever its toolkit wakes it. Each front end only says how it is woken.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "gui/conversion_pass.h"

namespace trelvane::gui {

struct PassEvent {
    enum class Kind {
        Started,
        SaveFolderFailed,
        WorkFilesFailed,
        RecognitionUnavailable,
        FileStarted,
        PagesRecognised,
        FileFinished,
        Status,
        Finished
    };
    Kind kind = Kind::Status;
    int number = 0;    // the row, the pages recognised, or the number of converted files
    std::string text;  // the source path, the status text, the PDF path, or the problem
    std::string result;
    bool failed = false;  // FileFinished: the file was not converted as asked
};

class PassEventQueue {
  public:
    using Wake = std::function<void()>;
    using Apply = std::function<void(PassEvent&)>;

    // `wake` asks the window's thread to drain; called from any thread, once a batch.
    explicit PassEventQueue(Wake wake) : wake_(std::move(wake)) {}
    PassEventQueue(const PassEventQueue&) = delete;
    PassEventQueue& operator=(const PassEventQueue&) = delete;

    // Thread-safe.
    void post(PassEvent event);

    // On the window's thread: applies what has been posted so far, in order, and asks for
    // another wake when more came meanwhile, so that the window's own input is handled
    // between batches. A call made from inside `apply` (a message box's own loop) returns at
    // once; the outer call goes on, so the order is kept.
    void drain(const Apply& apply);

  private:
    Wake wake_;
    std::mutex mutex_;
    std::vector<PassEvent> pending_;
    bool scheduled_ = false;  // a drain is asked for or running
    bool draining_ = false;   // only touched on the window's thread
};

// The view a pass runs with: every report becomes an event in the queue (the row's words from
// app::row_text, its PDF only when it is in place).
class QueuedPassView : public PassView {
  public:
    explicit QueuedPassView(PassEventQueue& queue) : queue_(queue) {}

    void pass_started() override;
    void save_folder_failed(const std::string& message) override;
    void work_files_failed(const std::string& message) override;
    void recognition_unavailable(const std::string& message) override;
    void file_started(int row, const std::string& source_path) override;
    void pages_recognised(uint64_t pages) override;
    void file_finished(int row, const app::FileOutcome& outcome) override;
    void status_changed(const std::string& status) override;
    void pass_finished(int converted) override;

  private:
    void post(PassEvent::Kind kind, int number = 0, std::string text = {});

    PassEventQueue& queue_;
};

}  // namespace trelvane::gui
