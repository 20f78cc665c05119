// Running a command-line job's planned files through the conversion pool and reporting them in
// plan order, each file's line as soon as it and every file before it are done. A run can be
// interrupted from another thread; it then reports the files that finished and stops.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "app/batch_job.h"
#include "app/conversion_pool.h"
#include "platform/sync.h"

namespace trelvane::app {

struct RunHooks {
    // Each piece of the report text (CR LF line ends) once it is final, in report order.
    std::function<void(std::string_view text)> report;
    // After each file is done: files done, files in all, the file's source path.
    std::function<void(size_t done, size_t total, const std::string& source)> progress;
    FileConverter convert;  // convert_one_fax unless a test says otherwise
    // Each file's outcome once it is final, in report order.
    std::function<void(const FileOutcome& outcome)> outcome;
};

struct RunOutcome {
    int converted = 0;        // files whose code was kConverted
    size_t finished = 0;      // files with a report (converted, skipped or failed)
    size_t total = 0;         // planned files
    int signal = 0;           // the signal that interrupted the run, or 0
    int workspace_error = 0;  // errno when the work files could not be made (nothing ran)
};

class BatchRun {
  public:
    // Asks a running (or the next) run to stop, from any thread: files not yet started are
    // left, files being converted are abandoned (their PDFs never appear).
    void interrupt(int signal_number);
    int interrupt_signal() const { return signal_.load(); }

    // Converts the plan with up to job.jobs files at once (0: one per processor), appends each
    // finished file's report to job.log_text (and counts its failures in job.failed_files) in
    // plan order. The lines of job.folder_problems go in at their places.
    RunOutcome run(BatchJob& job, std::vector<PlannedFile> plan, const RunHooks& hooks = {});

  private:
    std::atomic<int> signal_{0};
    platform::Mutex mutex_;
    ConversionPool* pool_ = nullptr;
};

}  // namespace trelvane::app
