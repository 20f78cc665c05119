// Faxes that may still be being written. A modem receiving a fax, or a copy on its way into the
// folder, keeps changing the file, and a PDF made meanwhile would hold only part of it. An
// automatic pass therefore leaves a fax that changed a moment ago for the next pass.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "app/batch_job.h"
#include "app/file_outcome.h"
#include "platform/file_system.h"

namespace trelvane::app {

class ConversionWorkspace;

// The conversion of one file: FileConverter's type, named again here because the window includes
// this header and cannot include the pool's (Qt's keyword macros).
using SettlingConverter =
    std::function<FileOutcome(BatchJob& job, const std::string& source,
                              const std::string& destination, ConversionWorkspace& workspace)>;

using SettleClock = std::chrono::system_clock;

inline constexpr std::chrono::seconds kSettleTime{10};

// True when the modification time lies less than kSettleTime before now, or at most that much
// after it (the clock of a file server may run a little ahead). A time further in the future says
// nothing about the file being written, and waiting for it could leave the fax unconverted for
// good.
bool changed_too_recently(const platform::FileTimes& times, SettleClock::time_point now);

// The same for a file by its path; false when its times cannot be read (the conversion then says
// what is wrong with it).
bool fax_still_settling(const std::string& path, SettleClock::time_point now);

using SettleNow = std::function<SettleClock::time_point()>;

// The converter, but a fax that is still settling when its turn comes (not when the run starts:
// a long run may reach a file minutes after the walk) is not converted: its outcome is `left`
// (FileStatus::LeftForNextRun or LeftForNextPass). `now` defaults to the system's clock.
SettlingConverter settle_first(SettlingConverter convert, FileStatus left, SettleNow now = {});

}  // namespace trelvane::app
