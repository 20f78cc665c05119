#include "app/conversion_pool.h"

#include <algorithm>

#include "app/pipeline.h"
#include "platform/conversion_context.h"
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

std::vector<std::string> read_ahead_sources(const std::vector<PlannedFile>& plan) {
    std::vector<std::string> sources;
    sources.reserve(plan.size());
    // Never what the walk would not read: opening a device can have effects (a tape rewinds).
    for (const PlannedFile& file : plan)
        sources.push_back(file.unreadable.empty() ? file.source : std::string());
    return sources;
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
    const unsigned online = platform::online_processors();
    return online > 0 ? online : 1u;
}

ConversionPool::ConversionPool(const BatchJob& settings, std::vector<PlannedFile> plan,
                               unsigned jobs, FileConverter convert)
    : size_(pool_size(plan.size(), jobs, platform::free_descriptors())),
      state_(std::make_shared<State>(plan.size(), size_, read_ahead_sources(plan))) {
    state_->settings = settings_only(settings);
    state_->plan = std::move(plan);
    state_->convert =
        convert ? std::move(convert)
                : FileConverter([](BatchJob& job, const std::string& source,
                                   const std::string& destination, ConversionWorkspace& workspace) {
                      return convert_one_fax(job, source, destination, workspace);
                  });
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

void ConversionPool::start(PoolHooks hooks) {
    state_->hooks = std::move(hooks);
    for (size_t i = 0; i < state_->workspaces.size(); ++i)
        workers_.emplace_back(work, state_, i);
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

size_t ConversionPool::started_count() const {
    return state_->order.started_count();
}

const PlannedFile& ConversionPool::file(size_t index) const {
    return state_->plan.at(index);
}

void ConversionPool::work(const std::shared_ptr<State>& state, size_t worker) {
    BatchJob job = state->settings;
    ConversionWorkspace& workspace = state->workspaces[worker];
    ConversionScheduler::Turn& turn = state->scheduler.turn(worker);
    ResultOrder& order = state->order;
    // The worker's disk waits give its turn away; its commits mark its current file.
    const platform::ConversionScope scope({&turn, &order.commit_flag(worker)});
    for (;;) {
        turn.take();
        const std::optional<size_t> index = order.begin_next(worker);
        if (!index) {
            turn.give_back();
            break;
        }
        state->scheduler.read_ahead(*index);
        if (state->hooks.started)
            state->hooks.started(*index);
        const PlannedFile& file = state->plan[*index];
        job.written_pdfs.clear();  // the plan already keeps names apart
        FileOutcome outcome = file.unreadable.empty()
                                  ? state->convert(job, file.source, file.destination, workspace)
                                  : failed_outcome(file.source, file.destination,
                                                   FileFailure::NotFax, 0, file.unreadable);
        complete(outcome, file, order.commit_flag(worker).load());
        if (state->hooks.finished)
            state->hooks.finished(*index, outcome);
        order.finish(worker, *index, std::move(outcome));
        turn.give_back();
    }
}

std::optional<FileOutcome> ConversionPool::take(size_t index) {
    return state_->order.take(index);
}

void ConversionPool::wake() {
    state_->order.wake();
}

void ConversionPool::stop() {
    state_->order.stop();
}

std::vector<std::pair<size_t, FileOutcome>> ConversionPool::take_finished() {
    // Workers that never started hold no file, so the order waits for none of them.
    return state_->order.take_finished();
}

void ConversionPool::abandon() {
    abandoned_ = true;
}

std::vector<std::string> ConversionPool::page_file_stems() const {
    return state_->stems;
}

}  // namespace trelvane::app
