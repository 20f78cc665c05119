// When the workers of a pool may use the processor, where, and what the disk reads ahead for
// them.
//
// A pool of N jobs has N turns at the processor and up to N + 4 workers. A worker takes a turn
// before each file and gives it back when the file is done or waits for the disk (fsync): the
// turn goes to another worker meanwhile, so the processors do not sit idle while the disk works.
// After its wait the file finishes without a turn: what is left is its report, and waiting for
// a turn there could wait forever behind conversions that hang (a source on a dead network
// share), its PDF already in place.
//
// A run given as many jobs as there are processors keeps each turn on a processor of its own
// (see platform/processors.h); one given fewer leaves the choice to the system, which may know
// of processors that other programs keep busy.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/disk_wait.h"
#include "platform/sync.h"

namespace trelvane::app {

class ConversionScheduler {
  public:
    // jobs turns for `workers` workers; `sources` are the plan's faxes in order, with an empty
    // path for a file that must not be read ahead (a device, a pipe: opening one can have
    // effects, a tape rewinds).
    ConversionScheduler(unsigned jobs, size_t workers, std::vector<std::string> sources);

    // A worker's turn; its disk waits give the turn back (it is the DiskWaitObserver of the
    // worker's conversions).
    class Turn final : public platform::DiskWaitObserver {
      public:
        // Waits for a free turn, preferring the one of the processor the thread is kept on.
        void take();
        // Gives the turn back (nothing when none is held).
        void give_back();
        void waiting() override { give_back(); }
        void resumed() override {}

      private:
        friend class ConversionScheduler;
        ConversionScheduler* scheduler_ = nullptr;
        bool held_ = false;
        size_t number_ = 0;   // which of the turns, while held
        int processor_ = -1;  // the processor the thread is kept on (-1: any)
    };
    Turn& turn(size_t worker);

    // Before file `index` starts: the file that starts when every worker has taken one more is
    // read from the disk now, so that its reading overlaps the conversions before it instead of
    // holding up a turn.
    void read_ahead(size_t index) const;

  private:
    platform::Mutex mutex_;
    platform::ConditionVariable turn_free_;
    std::vector<bool> turn_taken_;  // by number; as many turns as jobs
    // Turn n keeps its worker on processors_[n % size] (empty: workers run anywhere).
    std::vector<int> processors_;
    std::unique_ptr<Turn[]> turns_;
    size_t workers_;
    std::vector<std::string> sources_;
};

}  // namespace trelvane::app
