#include "gui/pass_feed.h"

#include <utility>

namespace trelvane::gui {

// One queued call per batch: the queue asks for it only when none is pending.
PassFeed::PassFeed(QObject* receiver, Apply apply)
    : receiver_(receiver), apply_(std::move(apply)), queue_([this] {
          if (receiver_) {
              QMetaObject::invokeMethod(
                  receiver_, [this] { drain(); }, Qt::QueuedConnection);
          }
      }) {}

void PassFeed::post(PassEvent event) {
    queue_.post(std::move(event));
}

void PassFeed::drain() {
    queue_.drain(apply_);
}

}  // namespace trelvane::gui
