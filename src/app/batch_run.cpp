#include "app/batch_run.h"

#include <algorithm>
#include <optional>

#include "app/conversion_workspace.h"
#include "app/fax_settling.h"
#include "app/pipeline.h"
#include "app/process_paths.h"
#include "app/report_text.h"
#include "platform/cleanup.h"
#include "platform/console.h"

namespace trelvane::app {

void BatchRun::interrupt(int signal_number) {
    int none = 0;
    signal_.compare_exchange_strong(none, signal_number);
    std::lock_guard<platform::Mutex> lock(mutex_);
    if (pool_ != nullptr)
        pool_->wake();
}

RunOutcome BatchRun::run(BatchJob& job, std::vector<PlannedFile> plan, const RunHooks& hooks) {
    RunOutcome outcome;
    outcome.total = plan.size();
    const unsigned jobs = job.jobs > 0 ? static_cast<unsigned>(job.jobs) : default_job_count();
    // Skipping up-to-date PDFs is for runs that come again (cron): a fax still being written is
    // left for the next one rather than made into a PDF that lacks its last pages.
    ConversionPool pool(job, std::move(plan), jobs,
                        job.skip_existing != 0
                            ? settle_first(hooks.convert, FileStatus::LeftForNextRun)
                            : hooks.convert);
    if (pool.job_count() < std::min<size_t>(jobs, outcome.total)) {
        platform::print_error("trelvane: converting " + std::to_string(pool.job_count()) +
                              " files at once, not " + std::to_string(jobs) +
                              ": the limit on open files (ulimit -n) allows no more\n");
    }
    int error = 0;
    if (outcome.total > 0 && !pool.create_workspaces(process_paths().temp_folder, error)) {
        outcome.workspace_error = error;
        return outcome;
    }

    size_t next_problem = 0;
    const auto add = [&](const std::string& text) {
        job.log_text += text;
        if (hooks.report)
            hooks.report(text);
    };
    const auto add_problems_before = [&](size_t position) {
        while (next_problem < job.folder_problems.size() &&
               job.folder_problems[next_problem].position <= position) {
            const FolderProblem& problem = job.folder_problems[next_problem++];
            add(folder_problem_line(problem.folder, problem.error));
            ++job.failed_files;
        }
    };
    const auto add_result = [&](size_t index, const FileOutcome& result) {
        add_problems_before(index);
        add(report_line(result));
        if (hooks.outcome)
            hooks.outcome(result);
        ++outcome.finished;
        const int code = result_code(result);
        if (code == kConverted)
            ++outcome.converted;
        if (is_failure(code))
            ++job.failed_files;
        if (hooks.progress)
            hooks.progress(outcome.finished, outcome.total, pool.file(index).source);
    };

    {
        std::lock_guard<platform::Mutex> lock(mutex_);
        pool_ = &pool;
    }
    if (signal_.load() == 0)
        pool.start();
    size_t index = 0;
    for (; index < outcome.total && signal_.load() == 0; ++index) {
        std::optional<FileOutcome> result = pool.take(index);
        if (!result)
            break;
        add_result(index, *result);
    }
    {
        std::lock_guard<platform::Mutex> lock(mutex_);
        pool_ = nullptr;
    }

    outcome.signal = signal_.load();
    if (outcome.signal == 0) {
        add_problems_before(outcome.total);
        return outcome;
    }
    // Interrupted: nothing new starts or is put in place; report what finished, in order.
    pool.stop();
    platform::close_commit_gate();
    for (auto& [finished_index, result] : pool.take_finished())
        add_result(finished_index, result);
    add_problems_before(outcome.total);
    for (const std::string& stem : pool.page_file_stems())
        remove_page_files(stem.c_str());
    // Conversions still running are left to the process's end; the pool must not wait for them.
    pool.abandon();
    return outcome;
}

}  // namespace trelvane::app
