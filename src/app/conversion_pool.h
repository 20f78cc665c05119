// Converting many files at once: a pool of worker threads, each with its own workspace and its
// own copy of the run's settings, that takes the planned files in order and keeps each file's
// outcome for whoever reports them. A run on N threads gives the report and the PDFs of a run on
// one, only sooner: names are decided before the pool starts, and outcomes are read in plan
// order.
//
// N jobs are N conversions using the processor at once (conversion_scheduler.h): a pool of N
// jobs has up to N + min(N, 4) workers when it has more files, so that conversions waiting for
// the disk leave no processor idle. Each worker holds a few descriptors, so where the process
// may not open that many files the pool has fewer workers, and fewer jobs if it must.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/batch_job.h"
#include "app/conversion_scheduler.h"
#include "app/conversion_workspace.h"
#include "app/file_outcome.h"
#include "app/result_order.h"

namespace trelvane::app {

// One file of a run, with its PDF path decided before any conversion starts.
struct PlannedFile {
    std::string source;       // the fax
    std::string destination;  // the PDF to write
    std::string wanted;       // the PDF path the naming rule gave; on a clash (destination differs)
                              // the earlier fax's PDF holding that name, as it was claimed
    // Not empty: the walk found the fax's name on something it will not read (what it is); the
    // file fails as not a fax without being opened.
    std::string unreadable = {};
};

// The conversion a worker runs for each file (convert_one_fax unless a test says otherwise).
using FileConverter =
    std::function<FileOutcome(BatchJob& job, const std::string& source,
                              const std::string& destination, ConversionWorkspace& workspace)>;

// The number of conversions to run at once when the user does not say: one per online processor.
unsigned default_job_count();

// How many files a pool converts at once and how many workers take turns at it, for a plan of
// `files`, `jobs` asked for and `free_descriptors` still to be opened by the process.
struct PoolSize {
    unsigned jobs = 1;
    size_t workers = 1;
};
PoolSize pool_size(size_t files, unsigned jobs, size_t free_descriptors);

// What a pool tells its user about each file as it goes, on the worker thread converting it.
struct PoolHooks {
    std::function<void(size_t index)> started;  // before the file's conversion
    // After the conversion, before the outcome is stored for take().
    std::function<void(size_t index, const FileOutcome& outcome)> finished;
};

// The pool itself: the plan, the workers with their workspaces and their copies of the run's
// settings. The order of files and outcomes is a ResultOrder's; who may use the processor when
// is a ConversionScheduler's.
class ConversionPool {
  public:
    // settings: the run's choices (its files, report and PDF list are not copied). jobs is
    // capped at the number of files and at what the free descriptors allow (see pool_size).
    ConversionPool(const BatchJob& settings, std::vector<PlannedFile> plan, unsigned jobs,
                   FileConverter convert = {});
    // Stops the pool and waits for the workers to finish their current files, unless the pool
    // was abandoned.
    ~ConversionPool();
    ConversionPool(const ConversionPool&) = delete;
    ConversionPool& operator=(const ConversionPool&) = delete;

    // Makes one workspace per worker in the temporary folder. False, with errno's reason in
    // error, when one cannot be made (nothing has started then).
    bool create_workspaces(const std::string& temp_folder, int& error);
    // Starts the workers; `hooks` are called on their threads.
    void start(PoolHooks hooks = {});

    size_t size() const;
    unsigned job_count() const;
    // Worker threads (and workspaces): job_count(), up to four more when there are more files.
    size_t worker_count() const;
    // The files handed to the workers so far, always the first of the plan; after stop() no
    // more are.
    size_t started_count() const;
    const PlannedFile& file(size_t index) const;

    // As ResultOrder's: the outcome of file `index` in plan order, waking, stopping, and the
    // outcomes finished after a stop.
    std::optional<FileOutcome> take(size_t index);
    void wake();
    void stop();
    std::vector<std::pair<size_t, FileOutcome>> take_finished();
    // The pool's destruction no longer waits for the workers; each ends after its current file.
    void abandon();

    // The page-file stems of the workers' workspaces (page-file mode writes files by name).
    std::vector<std::string> page_file_stems() const;

  private:
    // What the workers share with the pool; it outlives an abandoned pool until the last
    // worker ends.
    struct State {
        State(size_t files, PoolSize size, std::vector<std::string> sources)
            : order(files, size.workers), scheduler(size.jobs, size.workers, std::move(sources)) {}
        BatchJob settings;
        std::vector<PlannedFile> plan;
        FileConverter convert;
        PoolHooks hooks;
        std::vector<ConversionWorkspace> workspaces;
        std::vector<std::string> stems;
        ResultOrder order;
        ConversionScheduler scheduler;
    };
    static void work(const std::shared_ptr<State>& state, size_t worker);

    PoolSize size_;
    std::shared_ptr<State> state_;
    std::vector<std::thread> workers_;
    bool abandoned_ = false;
};

}  // namespace trelvane::app
