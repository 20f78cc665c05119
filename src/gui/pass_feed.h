// Hands what a pass reports over to the window's thread through Qt's event loop (the queue
// itself is the shared PassEventQueue). This keeps a pass as fast as its conversions whatever the
// list shows, and lets several workers report files finishing in any order.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

#include "gui/pass_events.h"

namespace trelvane::gui {

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

    PassEventQueue& queue() { return queue_; }

  private:
    QPointer<QObject> receiver_;
    Apply apply_;
    PassEventQueue queue_;
};

}  // namespace trelvane::gui
