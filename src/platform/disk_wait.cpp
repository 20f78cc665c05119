#include "platform/disk_wait.h"

namespace trelvane::platform {
namespace {

thread_local DiskWaitObserver* t_observer = nullptr;

}  // namespace

void observe_disk_waits(DiskWaitObserver* observer) {
    t_observer = observer;
}

DiskWait::DiskWait() : observer_(t_observer) {
    if (observer_ != nullptr)
        observer_->waiting();
}

DiskWait::~DiskWait() {
    if (observer_ != nullptr)
        observer_->resumed();
}

}  // namespace trelvane::platform
