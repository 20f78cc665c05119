// Converting many files at once: a pool of worker threads, each with its own workspace and its
// own copy of the run's settings, that takes the planned files in order and keeps each file's
// result for whoever reports them. A run on N threads gives the report and the PDFs of a run on
// one, only sooner: names are decided before the pool starts, and results are read in plan order.
//
// N jobs are N conversions using the processor at once. A conversion that waits for the disk to
// take its PDF (fsync) gives its turn to another worker meanwhile, so that the processors do not
// sit idle while the disk works: a pool of N jobs has up to N + min(N, 4) workers when it has
// more files. Each worker holds a few descriptors, so where the process may not open that many
// files the pool has fewer workers, and fewer jobs if it must.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/batch_job.h"
#include "app/conversion_workspace.h"
#include "app/file_outcome.h"
#include "platform/disk_wait.h"

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
    // After the conversion, before the result is stored for take().
    std::function<void(size_t index, const FileOutcome& result)> finished;
};

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
    // Starts the workers. on_finished, when given, is called on a worker thread with a file's
    // index right after its result is stored.
    void start(std::function<void(size_t index)> on_finished = {});
    void start(PoolHooks hooks);

    size_t size() const;
    unsigned job_count() const;
    // Worker threads (and workspaces): job_count(), up to four more when there are more files.
    size_t worker_count() const;
    // The files handed to the workers so far, always the first of the plan; after stop() no
    // more are.
    size_t started_count() const;
    const PlannedFile& file(size_t index) const;

    // Waits for the result of file `index` and hands it over (once). Nothing when wake() was
    // called meanwhile, or when the pool was stopped before the file started.
    std::optional<FileOutcome> take(size_t index);
    // Makes a waiting take() return at once (from any thread).
    void wake();

    // No further file starts; files being converted go on. Results stored from now on count
    // only when their PDF was put in place (see take_finished).
    void stop();
    // After stop and after the commit gate was closed (platform::close_commit_gate): waits
    // until every PDF put in place has its result stored, then hands over, in plan order, each
    // finished result not yet taken.
    std::vector<std::pair<size_t, FileOutcome>> take_finished();
    // The pool's destruction no longer waits for the workers; each ends after its current file.
    void abandon();

    // The page-file stems of the workers' workspaces (page-file mode writes files by name).
    std::vector<std::string> page_file_stems() const;

  private:
    struct Slot {
        std::optional<FileOutcome> result;
        bool late = false;   // stored after stop()
        bool taken = false;  // handed over
    };
    struct State;
    // A worker's turn at the processor: taken before each file, given back when the file waits
    // for the disk or is done. After the wait the file finishes without one: what is left is
    // its report line, and waiting for a turn there could wait forever behind conversions that
    // hang (a source on a dead network share), its PDF already in place.
    struct Turn final : platform::DiskWaitObserver {
        State* state = nullptr;
        bool held = false;
        size_t number = 0;   // which of the turns, while held
        int processor = -1;  // the processor the thread is kept on (-1: any)
        void take();
        void give_back();
        void waiting() override { give_back(); }
        void resumed() override {}
    };
    struct Worker {
        std::atomic<bool> committed{false};  // the current file's PDF was put in place
        size_t current = kIdle;              // the file being converted (guarded by mutex)
        Turn turn;
    };
    static constexpr size_t kIdle = static_cast<size_t>(-1);
    struct State {
        BatchJob settings;
        std::vector<PlannedFile> plan;
        FileConverter convert;
        std::function<void(size_t)> on_finished;
        PoolHooks hooks;
        std::vector<ConversionWorkspace> workspaces;
        std::unique_ptr<Worker[]> workers;
        std::vector<std::string> stems;
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<Slot> slots;
        size_t next = 0;
        bool stopped = false;
        bool woken = false;
        std::mutex turn_mutex;
        std::condition_variable turn_free;
        std::vector<bool> turn_taken;  // by number; as many turns as jobs
        // Turn n keeps its worker on processors[n % size] (empty: workers run anywhere).
        std::vector<int> processors;
    };
    static void work(const std::shared_ptr<State>& state, size_t worker);

    std::shared_ptr<State> state_;
    PoolSize size_;
    std::vector<std::thread> workers_;
    bool abandoned_ = false;
};

}  // namespace trelvane::app
