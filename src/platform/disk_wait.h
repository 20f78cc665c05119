// Waiting for the disk, told to whoever runs the thread. A conversion spends a good part of its
// time in fsync, putting its PDF on the disk before it may say "Success !"; a pool that is told
// lets another conversion use the processor meanwhile.
#pragma once

namespace trelvane::platform {

class DiskWaitObserver {
  public:
    virtual void waiting() = 0;  // the thread is about to wait for the disk
    virtual void resumed() = 0;  // the wait is over; returns when the thread may go on

  protected:
    ~DiskWaitObserver() = default;
};

// A disk wait on the calling thread, for as long as it lives; told to the observer of the
// thread's conversion (conversion_context.h), if any.
class DiskWait {
  public:
    DiskWait();
    ~DiskWait();
    DiskWait(const DiskWait&) = delete;
    DiskWait& operator=(const DiskWait&) = delete;

  private:
    DiskWaitObserver* observer_;
};

}  // namespace trelvane::platform
