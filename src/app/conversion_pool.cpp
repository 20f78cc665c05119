#include "app/conversion_pool.h"

#include <unistd.h>

#include <algorithm>

#include "app/pipeline.h"
#include "platform/cleanup.h"
#include "platform/file_system.h"
#include "platform/open_files.h"
#include "platform/processors.h"

namespace trelvane::app {

namespace {

// The run's choices without what belongs to the run as a whole (its files, report, failures).
BatchJob settings_only(const BatchJob& job) {
    BatchJob copy = job;
    copy.files = {};
    copy.log_text = {};
    copy.written_pdfs = {};
    copy.folder_problems = {};
    copy.unreadable_files = {};
    copy.failed_files = 0;
    return copy;
}

// What the worker knows of the file, whatever the conversion filled in: its paths, whether its
// PDF was put in place, and the name it was renamed from.
void complete(FileOutcome& outcome, const PlannedFile& file, bool committed) {
    outcome.source = file.source;
    outcome.pdf = file.destination;
    outcome.committed = committed;
    if (file.destination != file.wanted)
        outcome.renamed_from = file.wanted;
}

}  // namespace

PoolSize pool_size(size_t files, unsigned jobs, size_t free_descriptors) {
    // A worker keeps its four work files open (a pair on disk, a pair in memory) and, while it
    // converts, opens the fax, two work files again by name, the PDF and its folder: nine. The
    // process keeps some for itself (the log, the window's).
    constexpr size_t kDescriptorsPerWorker = 9;
    constexpr size_t kKeptForTheRest = 32;
    // As many files may wait for the disk at once as there are jobs (concurrent fsyncs on one
    // file system wait for each other's journal commits), so each job gets a stand-in, up to
    // four.
    constexpr size_t kMostStandIns = 4;

    const size_t affordable =
        std::max<size_t>(1, free_descriptors > kKeptForTheRest
                                ? (free_descriptors - kKeptForTheRest) / kDescriptorsPerWorker
                                : 0);
    PoolSize size;
    const size_t wanted =
        std::min<size_t>({std::max(1u, jobs), std::max<size_t>(1, files), affordable});
    size.jobs = static_cast<unsigned>(wanted);
    size.workers = files <= wanted
                       ? wanted
                       : std::min({files, wanted + std::min(wanted, kMostStandIns), affordable});
    return size;
}

unsigned default_job_count() {
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1u;
}

ConversionPool::ConversionPool(const BatchJob& settings, std::vector<PlannedFile> plan,
                               unsigned jobs, FileConverter convert)
    : state_(std::make_shared<State>()) {
    state_->settings = settings_only(settings);
    state_->plan = std::move(plan);
    state_->slots.resize(state_->plan.size());
    state_->convert =
        convert ? std::move(convert)
                : FileConverter([](BatchJob& job, const std::string& source,
                                   const std::string& destination, ConversionWorkspace& workspace) {
                      return convert_one_fax(job, source, destination, workspace);
                  });
    size_ = pool_size(state_->plan.size(), jobs, platform::free_descriptors());
    state_->turn_taken.assign(size_.jobs, false);
    // A run given as many jobs as there are processors keeps each turn on a processor of its
    // own (see platform/processors.h); one given fewer leaves the choice to the system, which
    // may know of processors that other programs keep busy.
    std::vector<int> processors = platform::allowed_processors();
    if (processors.size() > 1 && size_.jobs >= processors.size())
        state_->processors = std::move(processors);
}

ConversionPool::~ConversionPool() {
    stop();
    wake();
    for (std::thread& worker : workers_) {
        if (abandoned_) {
            worker.detach();
        } else if (worker.joinable()) {
            worker.join();
        }
    }
}

bool ConversionPool::create_workspaces(const std::string& temp_folder, int& error) {
    error = 0;
    state_->workspaces.clear();
    state_->workspaces.resize(worker_count());
    for (ConversionWorkspace& workspace : state_->workspaces) {
        if (!workspace.create(temp_folder, state_->settings.settings.page_file_mode == 1)) {
            error = workspace.error();
            state_->workspaces.clear();
            return false;
        }
        state_->stems.push_back(page_file_stem(workspace.page_file_base()));
    }
    return true;
}

void ConversionPool::start(std::function<void(size_t)> on_finished) {
    state_->on_finished = std::move(on_finished);
    start(PoolHooks{});
}

void ConversionPool::start(PoolHooks hooks) {
    state_->hooks = std::move(hooks);
    state_->workers = std::make_unique<Worker[]>(state_->workspaces.size());
    for (size_t i = 0; i < state_->workspaces.size(); ++i) {
        state_->workers[i].turn.state = state_.get();
        workers_.emplace_back(work, state_, i);
    }
}

size_t ConversionPool::size() const {
    return state_->plan.size();
}

unsigned ConversionPool::job_count() const {
    return size_.jobs;
}

size_t ConversionPool::worker_count() const {
    return size_.workers;
}

void ConversionPool::Turn::take() {
    std::unique_lock<std::mutex> lock(state->turn_mutex);
    const std::vector<bool>& taken = state->turn_taken;
    state->turn_free.wait(
        lock, [&] { return std::find(taken.begin(), taken.end(), false) != taken.end(); });
    held = true;
    // The turn of the processor the thread is already kept on, when that one is free: moving a
    // thread costs it its cache.
    number = taken.size();
    for (size_t n = 0; n < taken.size(); ++n) {
        if (taken[n])
            continue;
        if (number == taken.size())
            number = n;
        if (processor >= 0 && state->processors[n % state->processors.size()] == processor) {
            number = n;
            break;
        }
    }
    state->turn_taken[number] = true;
    lock.unlock();
    if (!state->processors.empty()) {
        const int wanted = state->processors[number % state->processors.size()];
        if (wanted != processor && platform::bind_thread(wanted))
            processor = wanted;
    }
}

void ConversionPool::Turn::give_back() {
    if (!held)
        return;
    held = false;
    {
        std::lock_guard<std::mutex> lock(state->turn_mutex);
        state->turn_taken[number] = false;
    }
    state->turn_free.notify_one();
}

size_t ConversionPool::started_count() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->next;
}

const PlannedFile& ConversionPool::file(size_t index) const {
    return state_->plan.at(index);
}

void ConversionPool::work(const std::shared_ptr<State>& state, size_t worker) {
    BatchJob job = state->settings;
    ConversionWorkspace& workspace = state->workspaces[worker];
    Worker& self = state->workers[worker];
    platform::observe_commits(&self.committed);
    platform::observe_disk_waits(&self.turn);
    for (;;) {
        self.turn.take();
        size_t index;
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            if (state->stopped || state->next >= state->plan.size()) {
                self.turn.give_back();
                break;
            }
            index = state->next++;
            self.current = index;
            self.committed.store(false);
        }
        const PlannedFile& file = state->plan[index];
        // The file that starts when every worker has taken one more: its reading from the disk
        // overlaps the conversions before it, instead of holding up a turn.
        const size_t ahead = index + state->workspaces.size();
        // Never what the walk would not read: opening a device can have effects (a tape rewinds).
        if (ahead < state->plan.size() && state->plan[ahead].unreadable.empty())
            platform::prefetch_file(state->plan[ahead].source);
        if (state->hooks.started)
            state->hooks.started(index);
        job.written_pdfs.clear();  // the plan already keeps names apart
        FileOutcome result = file.unreadable.empty()
                                 ? state->convert(job, file.source, file.destination, workspace)
                                 : failed_outcome(file.source, file.destination,
                                                  FileFailure::NotFax, 0, file.unreadable);
        complete(result, file, self.committed.load());
        if (state->hooks.finished)
            state->hooks.finished(index, result);
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            Slot& slot = state->slots[index];
            slot.late = state->stopped;
            slot.result = std::move(result);
            self.current = kIdle;
        }
        state->changed.notify_all();
        if (state->on_finished)
            state->on_finished(index);
        self.turn.give_back();
    }
    platform::observe_disk_waits(nullptr);
    platform::observe_commits(nullptr);
}

std::optional<FileOutcome> ConversionPool::take(size_t index) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    Slot& slot = state_->slots.at(index);
    // After a stop the files started are those before `next`; any other never will be.
    state_->changed.wait(lock, [&] {
        return slot.result.has_value() || state_->woken ||
               (state_->stopped && index >= state_->next);
    });
    if (!slot.result || slot.taken)
        return std::nullopt;
    slot.taken = true;
    return std::move(*slot.result);
}

void ConversionPool::wake() {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->woken = true;
    }
    state_->changed.notify_all();
}

void ConversionPool::stop() {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->stopped = true;
    }
    state_->changed.notify_all();
}

std::vector<std::pair<size_t, FileOutcome>> ConversionPool::take_finished() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    // A PDF that was put in place is reported, however late its result comes. The gate is
    // closed, so no worker puts another one in place meanwhile.
    const size_t worker_total = state_->workers ? state_->workspaces.size() : 0;
    state_->changed.wait(lock, [&] {
        for (size_t w = 0; w < worker_total; ++w) {
            const Worker& worker = state_->workers[w];
            if (worker.current != kIdle && worker.committed.load())
                return false;
        }
        return true;
    });
    std::vector<std::pair<size_t, FileOutcome>> finished;
    for (size_t i = 0; i < state_->slots.size(); ++i) {
        Slot& slot = state_->slots[i];
        if (!slot.result || slot.taken || (slot.late && !slot.result->committed))
            continue;
        slot.taken = true;
        finished.emplace_back(i, std::move(*slot.result));
    }
    return finished;
}

void ConversionPool::abandon() {
    abandoned_ = true;
}

std::vector<std::string> ConversionPool::page_file_stems() const {
    return state_->stems;
}

}  // namespace trelvane::app
