// Hands what a pass reports over to the window's thread. Workers post from any thread and never
// wait for the window; the window applies the events in the order they were posted, in batches,
// from its own event loop. This keeps a pass as fast as its conversions whatever the list
// shows, and lets several workers report files finishing in any order.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

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

class PassFeed {
  public:
    using Apply = std::function<void(PassEvent&)>;

    // `apply` runs on the thread of `receiver`, one event at a time.
    PassFeed(QObject* receiver, Apply apply);
    PassFeed(const PassFeed&) = delete;
    PassFeed& operator=(const PassFeed&) = delete;

    // Thread-safe.
    void post(PassEvent event);

    // Applies what has been posted so far; on the receiver's thread.
    void drain();

  private:
    QPointer<QObject> receiver_;
    Apply apply_;
    std::mutex mutex_;
    std::vector<PassEvent> pending_;
    bool scheduled_ = false;  // a drain is queued or running
    bool draining_ = false;   // only touched on the receiver's thread
};

}  // namespace trelvane::gui
