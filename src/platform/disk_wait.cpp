#include "platform/disk_wait.h"

#include "platform/conversion_context.h"

namespace trelvane::platform {

DiskWait::DiskWait() : observer_(conversion_context().disk_waits) {
    if (observer_ != nullptr)
        observer_->waiting();
}

DiskWait::~DiskWait() {
    if (observer_ != nullptr)
        observer_->resumed();
}

}  // namespace trelvane::platform
