#include "gui/conversion_pass.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "app/conversion_log.h"
#include "app/conversion_pool.h"
#include "app/folder_batch.h"
#include "app/page_recognition.h"
#include "app/pipeline.h"
#include "app/process_paths.h"
#include "app/report_text.h"
#include "faxread/fax_type.h"
#include "platform/cleanup.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/system_error.h"

namespace trelvane::gui {

namespace {

// What the conversion threads report through. A pass that gave up its files closes it before it
// returns, so threads still converting then reach neither the view nor the pool.
struct Relay {
    std::mutex mutex;
    PassView* view = nullptr;
    const app::ConversionPool* pool = nullptr;
};

ConvertFunction pass_converter(const PassRequest& request) {
    if (request.job.skip_existing == 0) {
        return request.convert;  // "&Go" converts what the user asked for, now
    }
    return app::settle_first(request.convert, app::FileStatus::LeftForNextPass, request.clock);
}

app::PoolHooks relay_hooks(const std::shared_ptr<Relay>& relay) {
    app::PoolHooks hooks;
    hooks.started = [relay](size_t index) {
        std::lock_guard<std::mutex> lock(relay->mutex);
        if (relay->view != nullptr) {
            relay->view->file_started(static_cast<int>(index), relay->pool->file(index).source);
        }
    };
    hooks.finished = [relay](size_t index, const app::FileOutcome& outcome) {
        std::lock_guard<std::mutex> lock(relay->mutex);
        if (relay->view != nullptr) {
            relay->view->file_finished(static_cast<int>(index), outcome);
        }
    };
    return hooks;
}

// Every entry of job.files with its PDF path. Only WinFax files claim names, as in a
// command-line walk; a chosen file of another kind only gets its row ("Not WinFax File!").
std::vector<app::PlannedFile> plan_pass(app::BatchJob& job, const std::string& source_folder) {
    const auto is_fax = [](const std::string& name) {
        return faxread::classify_fax_file(name) == faxread::kFaxTypeWinFax;
    };
    if (std::all_of(job.files.begin(), job.files.end(), is_fax)) {
        return app::plan_conversions(job, source_folder);
    }
    std::vector<std::string> entries = std::move(job.files);
    job.files.clear();
    for (const std::string& name : entries) {
        if (is_fax(name)) {
            job.files.push_back(name);
        }
    }
    std::vector<app::PlannedFile> faxes = app::plan_conversions(job, source_folder);
    std::vector<app::PlannedFile> plan;
    plan.reserve(entries.size());
    auto next_fax = faxes.begin();
    for (const std::string& name : entries) {
        if (is_fax(name)) {
            plan.push_back(std::move(*next_fax++));
            continue;
        }
        app::PlannedFile other;
        other.source = source_folder + platform::kPathSeparator + name;
        other.destination = app::pdf_path_for(job, other.source);
        other.wanted = other.destination;
        plan.push_back(std::move(other));
    }
    job.files = std::move(entries);
    return plan;
}

std::string not_converted_line(const app::PlannedFile& file, app::FileStatus why) {
    return app::report_line(app::status_outcome(file.source, file.destination, why));
}

// Converts the plan on the pool, appending each file's line to the report in list order.
// Returns the number converted.
int convert_planned_files(app::ConversionPool& pool, PassView& view, PassControl& control,
                          std::string& report, size_t& not_converted) {
    auto relay = std::make_shared<Relay>();
    relay->view = &view;
    relay->pool = &pool;
    control.attach(&pool);
    pool.start(relay_hooks(relay));  // a stopped pool starts no file

    int converted = 0;
    not_converted = 0;
    const auto add = [&](const app::FileOutcome& outcome) {
        report += app::report_line(outcome);
        if (app::result_code(outcome) == app::kConverted) {
            ++converted;
        }
    };
    const size_t total = pool.size();
    size_t index = 0;
    for (; index < total; ++index) {
        // After a stop, the files that had started still come; the others come back empty.
        std::optional<app::FileOutcome> result = pool.take(index);
        if (result) {
            add(*result);
            continue;
        }
        if (control.abandoned()) {
            break;
        }
        const bool closing = control.reason() == PassControl::Reason::WindowClosed;
        report +=
            not_converted_line(pool.file(index), closing ? app::FileStatus::ClosedBeforeStart
                                                         : app::FileStatus::CancelledBeforeStart);
        ++not_converted;
    }
    if (index < total) {
        // Given up: the commit gate is closed, so what finished is known for good.
        std::vector<std::pair<size_t, app::FileOutcome>> finished = pool.take_finished();
        const size_t started = pool.started_count();
        auto next = finished.begin();
        for (; index < total; ++index) {
            if (next != finished.end() && next->first == index) {
                add(next->second);
                ++next;
                continue;
            }
            report += not_converted_line(pool.file(index),
                                         index < started ? app::FileStatus::ClosedWhileConverting
                                                         : app::FileStatus::ClosedBeforeStart);
            ++not_converted;
        }
        pool.abandon();
    }
    control.attach(nullptr);
    {
        std::lock_guard<std::mutex> lock(relay->mutex);
        relay->view = nullptr;
        relay->pool = nullptr;
    }
    if (not_converted > 0) {
        const bool closed = control.reason() == PassControl::Reason::WindowClosed;
        report += app::pass_stopped_line(closed, not_converted, total);
    }
    return converted;
}

static_assert(std::is_same_v<ConvertFunction, app::FileConverter>);

constexpr int kGateWaitMs = 2000;

}  // namespace

void PassControl::stop(Reason reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopped_) {
        reason_ = reason;
    }
    stopped_ = true;
    if (pool_ != nullptr) {
        pool_->stop();
    }
}

void PassControl::abandon() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        abandoned_ = true;
        reason_ = Reason::WindowClosed;
        if (pool_ != nullptr) {
            pool_->stop();
        }
    }
    // Before the pass looks at what finished: from here on nothing more is put in place, and
    // the temporary names of files being written are gone. Closing the gate waits for a PDF
    // being linked into place; should that link hang too (a share that stopped answering),
    // the window does not wait for it beyond the usual time.
    auto closed = std::make_shared<std::promise<void>>();
    std::future<void> gate_closed = closed->get_future();
    std::thread([closed] {
        platform::stop_commits_and_remove_registered_files();
        closed->set_value();
    }).detach();
    gate_closed.wait_for(std::chrono::milliseconds(kGateWaitMs));
    std::lock_guard<std::mutex> lock(mutex_);
    if (pool_ != nullptr) {
        pool_->wake();
    }
}

bool PassControl::stopped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
}

bool PassControl::abandoned() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return abandoned_;
}

PassControl::Reason PassControl::reason() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reason_;
}

void PassControl::attach(app::ConversionPool* pool) {
    std::lock_guard<std::mutex> lock(mutex_);
    pool_ = pool;
    // A stop that came before the pool existed still holds.
    if (pool_ != nullptr && stopped_) {
        pool_->stop();
    }
}

int run_conversion_pass(PassRequest& request, PassView& view, PassControl& control) {
    app::BatchJob& job = request.job;
    view.pass_started();
    job.keep_file_times = request.options.keep_date == 1 ? 1 : 0;
    job.destination = request.destination;
    job.source = request.source_folder;
    job.keep_extension = request.options.keep_ext != 0 ? 1 : 0;
    job.keep_hierarchy = request.options.hierarchy;
    job.verify = request.options.verify ? 1 : 0;
    job.pdfa = request.options.pdfa;
    job.written_pdfs.clear();
    if (int error = 0; !app::create_folder_path(request.destination, &error)) {
        view.save_folder_failed(app::save_folder_failed_text(request.destination, error));
    }
    job.log_text = app::window_pass_header(request.source_folder, request.destination);

    // Named as the command line names them, all before the first conversion: two sources
    // mapping to one PDF (same names in different subfolders, or a.fxs beside a.fxm) never
    // replace each other's output, whichever finishes first.
    std::vector<app::PlannedFile> plan = plan_pass(job, request.source_folder);
    const unsigned jobs = request.options.parallel_jobs > 0
                              ? static_cast<unsigned>(request.options.parallel_jobs)
                              : app::default_job_count();
    int converted = 0;
    const size_t total = plan.size();
    size_t not_converted = 0;
    // Searchable PDFs: the pass's own recognition threads, as many as its jobs. Languages that
    // cannot be read stop the pass before any conversion, as they stop a command-line run.
    if (request.options.ocr && !plan.empty()) {
        std::unique_ptr<ocr::PageReader> first_engine;
        const std::string problem =
            app::recognition_problem(request.options.ocr_languages, &first_engine);
        if (!problem.empty()) {
            job.log_text += problem + "\r\n";
            view.recognition_unavailable(problem);
            plan.clear();
        } else {
            job.ocr = 1;
            job.ocr_languages = request.options.ocr_languages;
            job.recognition = std::make_shared<app::RecognitionPool>(
                request.options.ocr_languages, jobs,
                [&view](const app::RecognitionProgress& p) { view.pages_recognised(p.pages_done); },
                std::move(first_engine));
        }
    }
    if (!plan.empty()) {
        app::ConversionPool pool(job, std::move(plan), jobs, pass_converter(request));
        const std::string& temp_folder = app::process_paths().temp_folder;
        int error = 0;
        if (pool.create_workspaces(temp_folder, error)) {
            converted = convert_planned_files(pool, view, control, job.log_text, not_converted);
        } else {
            const std::string line = app::work_files_failed_line(temp_folder, error);
            job.log_text += line;
            view.work_files_failed(line.substr(0, line.size() - 2));
        }
    }

    job.recognition.reset();
    // "Done." only when every file had its turn.
    const bool cancelled = not_converted > 0 && control.reason() == PassControl::Reason::Cancelled;
    view.status_changed(cancelled ? app::cancelled_status_text(converted, total)
                                  : app::done_status_text(converted));
    if (!request.log_parent_folder.empty()) {
        platform::create_folder_chain(request.log_parent_folder, nullptr,
                                      platform::kPrivateFolderMode);
    }
    app::append_log_record(request.log_path, job.log_text);
    view.pass_finished(converted);
    return converted;
}

}  // namespace trelvane::gui
