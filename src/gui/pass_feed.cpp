#include "gui/pass_feed.h"

#include <utility>

namespace trelvane::gui {

PassFeed::PassFeed(QObject* receiver, Apply apply)
    : receiver_(receiver), apply_(std::move(apply)) {}

void PassFeed::post(PassEvent event) {
    bool schedule = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.push_back(std::move(event));
        schedule = !scheduled_;
        scheduled_ = true;
    }
    // One queued call per batch: events posted while it waits go with it.
    if (schedule && receiver_) {
        QMetaObject::invokeMethod(
            receiver_, [this] { drain(); }, Qt::QueuedConnection);
    }
}

void PassFeed::drain() {
    // An event can open a message box, whose event loop may call back in here; the outer call
    // goes on with whatever arrives meanwhile, so the order is kept.
    if (draining_) {
        return;
    }
    draining_ = true;
    for (;;) {
        std::vector<PassEvent> batch;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            batch.swap(pending_);
            if (batch.empty()) {
                scheduled_ = false;
                break;
            }
        }
        for (PassEvent& event : batch) {
            apply_(event);
        }
    }
    draining_ = false;
}

}  // namespace trelvane::gui
