#include "app/conversion_scheduler.h"

#include <algorithm>
#include <utility>

#include "platform/file_system.h"
#include "platform/processors.h"

namespace trelvane::app {

ConversionScheduler::ConversionScheduler(unsigned jobs, size_t workers,
                                         std::vector<std::string> sources)
    : turn_taken_(jobs, false),
      turns_(std::make_unique<Turn[]>(workers)),
      workers_(workers),
      sources_(std::move(sources)) {
    for (size_t w = 0; w < workers; ++w)
        turns_[w].scheduler_ = this;
    std::vector<int> processors = platform::allowed_processors();
    if (processors.size() > 1 && jobs >= processors.size())
        processors_ = std::move(processors);
}

ConversionScheduler::Turn& ConversionScheduler::turn(size_t worker) {
    return turns_[worker];
}

void ConversionScheduler::read_ahead(size_t index) const {
    const size_t ahead = index + workers_;
    if (ahead < sources_.size() && !sources_[ahead].empty())
        platform::prefetch_file(sources_[ahead]);
}

void ConversionScheduler::Turn::take() {
    ConversionScheduler& s = *scheduler_;
    std::unique_lock<platform::Mutex> lock(s.mutex_);
    const std::vector<bool>& taken = s.turn_taken_;
    s.turn_free_.wait(lock,
                      [&] { return std::find(taken.begin(), taken.end(), false) != taken.end(); });
    held_ = true;
    // The turn of the processor the thread is already kept on, when that one is free: moving a
    // thread costs it its cache.
    number_ = taken.size();
    for (size_t n = 0; n < taken.size(); ++n) {
        if (taken[n])
            continue;
        if (number_ == taken.size())
            number_ = n;
        if (processor_ >= 0 && s.processors_[n % s.processors_.size()] == processor_) {
            number_ = n;
            break;
        }
    }
    s.turn_taken_[number_] = true;
    lock.unlock();
    if (!s.processors_.empty()) {
        const int wanted = s.processors_[number_ % s.processors_.size()];
        if (wanted != processor_ && platform::bind_thread(wanted))
            processor_ = wanted;
    }
}

void ConversionScheduler::Turn::give_back() {
    if (!held_)
        return;
    held_ = false;
    ConversionScheduler& s = *scheduler_;
    {
        std::lock_guard<platform::Mutex> lock(s.mutex_);
        s.turn_taken_[number_] = false;
    }
    s.turn_free_.notify_one();
}

}  // namespace trelvane::app
