// What the thread running a conversion hears from the layers below it, for one conversion.
//
// Two things happen deep inside a conversion that the code running it must know at once, not
// when the conversion returns: the conversion waits for the disk (fsync), so its processor turn
// can go to another conversion meanwhile; and it puts a file in place, so that a run stopped at
// that moment still reports the file whose PDF exists. Neither is the business of the reader,
// the copy stage or the PDF writer in between, so the hooks do not go through their parameters:
// the code running the conversion opens a ConversionScope around it, and the platform's disk
// waits (DiskWait) and commits (end_commit) tell the scope's context of the calling thread.
//
// Contract: one context per conversion, on the thread that converts; outside a scope nothing is
// told (a conversion on its own, a test). The context's objects must outlive the scope; the
// calls come on the converting thread, so `disk_waits` needs no lock of its own, and
// `committed` is read by other threads (atomic).
#pragma once

#include <atomic>

#include "platform/disk_wait.h"

namespace trelvane::platform {

struct ConversionContext {
    DiskWaitObserver* disk_waits = nullptr;  // told before and after each wait for the disk
    std::atomic<bool>* committed = nullptr;  // set when the conversion puts a file in place
};

// Makes `context` the calling thread's for as long as the scope lives; the one it replaces comes
// back at its end.
class ConversionScope {
  public:
    explicit ConversionScope(const ConversionContext& context);
    ~ConversionScope();
    ConversionScope(const ConversionScope&) = delete;
    ConversionScope& operator=(const ConversionScope&) = delete;

  private:
    ConversionContext outer_;
};

// The calling thread's context (empty outside every scope).
const ConversionContext& conversion_context();

}  // namespace trelvane::platform
