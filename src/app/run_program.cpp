#include "app/run_program.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

#include "app/batch_job.h"
#include "app/batch_run.h"
#include "app/command_line.h"
#include "app/conversion_log.h"
#include "app/conversion_pool.h"
#include "app/folder_batch.h"
#include "app/manifest.h"
#include "app/page_recognition.h"
#include "app/pdf_verification.h"
#include "app/pipeline.h"
#include "app/printable_name.h"
#include "app/process_paths.h"
#include "app/report_text.h"
#include "faxread/fax_type.h"
#include "platform/cleanup.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/interrupt_watch.h"
#include "platform/memory_reuse.h"
#include "platform/open_files.h"
#include "platform/paths.h"
#include "platform/process_signals.h"
#include "platform/system_error.h"

#ifndef TRELVANE_VERSION
#define TRELVANE_VERSION "unknown"
#endif

namespace trelvane::app {

namespace {

WindowFactory window_factory = nullptr;

constexpr int kExitSuccess = 0;
constexpr int kExitSomethingFailed = 1;
constexpr int kExitCouldNotStart = 2;
constexpr int kExitSignalBase = 128;

int run_window(const WindowLaunch& launch) {
    if (window_factory == nullptr) {
        platform::print_error(
            "trelvane: no window is available in this build; convert from the command line "
            "with /f= and /sf= or /d= and /sd= (see trelvane --help)\n");
        return kExitCouldNotStart;
    }
    remove_work_files_on_signals();
    std::optional<int> code = window_factory(launch);
    return code ? *code : kExitCouldNotStart;
}

// The report as it goes: standard output gets each piece as soon as it is final (unless the run
// is quiet), and a progress line on standard error, where that is a terminal, says how far the
// run is.
class ReportPrinter {
  public:
    explicit ReportPrinter(bool quiet) : quiet_(quiet), progress_(platform::error_is_terminal()) {}

    void report(std::string_view text) {
        std::lock_guard<std::mutex> lock(mutex_);
        clear_shown();
        if (!quiet_)
            platform::print_report_part(text);
    }
    void progress(size_t done, size_t total, const std::string& source) {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = done;
        total_ = total;
        source_ = source;
        show();
    }
    // With /ocr, from the recognition threads: pages read so far.
    void pages_recognised(uint64_t pages) {
        std::lock_guard<std::mutex> lock(mutex_);
        pages_ = pages;
        show();
    }
    void clear_progress() {
        std::lock_guard<std::mutex> lock(mutex_);
        clear_shown();
        done_ = total_ = 1;  // nothing more to show
    }
    // Every file's outcome goes into the manifest too (the run's own thread, in report order).
    void record_into(Manifest* manifest) { manifest_ = manifest; }
    Manifest* manifest() const { return manifest_; }
    RunHooks hooks() {
        RunHooks hooks;
        if (manifest_ != nullptr)
            hooks.outcome = [this](const FileOutcome& outcome) { manifest_->add(outcome); };
        hooks.report = [this](std::string_view text) { report(text); };
        hooks.progress = [this](size_t done, size_t total, const std::string& source) {
            progress(done, total, source);
        };
        return hooks;
    }

  private:
    void show() {
        if (!progress_)
            return;
        if (total_ > 0 && done_ >= total_) {
            clear_shown();
            return;
        }
        std::string line = "\r\x1b[K[" + std::to_string(done_) + "/" + std::to_string(total_) + "]";
        if (pages_ > 0)
            line += " " + std::to_string(pages_) + (pages_ == 1 ? " page" : " pages") + " read";
        if (!source_.empty())
            line += " " + printable_name(source_);
        platform::print_error(line);
        shown_ = true;
    }
    void clear_shown() {
        if (shown_)
            platform::print_error("\r\x1b[K");
        shown_ = false;
    }

    std::mutex mutex_;
    bool quiet_;
    bool progress_;
    bool shown_ = false;
    size_t done_ = 0;
    size_t total_ = 0;
    uint64_t pages_ = 0;
    std::string source_;
    Manifest* manifest_ = nullptr;
};

void write_log(const BatchJob& job) {
    const ProcessPaths& paths = process_paths();
    // In the per-user layout the log's parent folder may not exist yet; the log itself only
    // creates its last level.
    if (paths.log_file_path == paths.default_log_file_path && !paths.log_parent_folder.empty())
        platform::create_folder_chain(paths.log_parent_folder, nullptr,
                                      platform::kPrivateFolderMode);
    int error = 0;
    if (!append_log_record(paths.log_file_path, job.log_text, &error)) {
        platform::print_error("trelvane: cannot write the log " +
                              printable_name(paths.log_file_path) +
                              platform::system_message_suffix(error) + "\n");
    }
}

// The manifest of what finished, when one was asked for. False (said on standard error) when
// it cannot be written.
bool write_manifest(const BatchJob& job, const ReportPrinter& printer) {
    if (printer.manifest() == nullptr)
        return true;
    int error = 0;
    if (printer.manifest()->write(job.manifest_path, error))
        return true;
    platform::print_error("trelvane: cannot write the manifest " +
                          printable_name(job.manifest_path) +
                          platform::system_message_suffix(error) + "\n");
    return false;
}

// What is left when a signal ends the run: the report of the files that finished and a line
// saying so, the log record, no file of ours; then the exit status says which signal it was.
[[noreturn]] void end_interrupted(BatchJob& job, ReportPrinter& printer,
                                  const RunOutcome& outcome) {
    const std::string line = interrupted_line(platform::signal_name(outcome.signal),
                                              outcome.total - outcome.finished, outcome.total);
    job.log_text += line;
    printer.report(line);
    write_log(job);
    write_manifest(job, printer);
    platform::print_error("trelvane: " + line.substr(0, line.size() - 2) + "\n");
    platform::stop_commits_and_remove_registered_files();
    remove_work_files();
    std::fflush(nullptr);
    std::_Exit(kExitSignalBase + outcome.signal);
}

int could_not_start(const std::string& message) {
    platform::print_error("trelvane: " + message + "\n");
    return kExitCouldNotStart;
}

// A run that would write over a file it must not touch converts nothing and writes no log.
int refuse_run(const std::string& problem) {
    platform::print_error("trelvane: " + problem + "; nothing was converted\n");
    return kExitSomethingFailed;
}

// Why the run must not write a file of its own (`what`: "the log", "the manifest") at
// `log_file_path`: it would write over or append to a fax of the run, one of its PDFs, or a
// WinFax file at all. Empty when it may.
std::string file_problem(const char* what, const std::string& log_file_path,
                         const std::vector<PlannedFile>& plan, const BatchJob& job) {
    if (log_file_path.empty())
        return {};
    const std::string shown = std::string(what) + " " + printable_name(log_file_path);
    if (faxread::classify_fax_file(log_file_path) == faxread::kFaxTypeWinFax ||
        (platform::file_kind(log_file_path) == platform::FileKind::Regular &&
         is_winfax_file(log_file_path, job.settings)))
        return shown + " is a WinFax file";
    // Only a file of the same name can be the log (a link in the log's place counts by the name
    // it leads to): comparing names first keeps this to a few calls in a run of many files.
    const std::string target = platform::link_target(log_file_path);
    const std::string name = platform::name_of(target);
    for (const PlannedFile& file : plan) {
        if (platform::name_of(file.source) == name && platform::same_file(target, file.source))
            return shown + " is the fax " + printable_name(file.source);
        if (platform::name_of(file.destination) == name &&
            platform::same_location(target, file.destination))
            return shown + " is the PDF of " + printable_name(file.source);
    }
    return {};
}

// The run's own files (its log and its manifest) in the way of its faxes or PDFs: what to say,
// with the option to change.
std::string own_files_problem(const std::vector<PlannedFile>& plan, const BatchJob& job) {
    if (std::string problem = file_problem("the log", process_paths().log_file_path, plan, job);
        !problem.empty())
        return problem + " (choose another /log=)";
    if (std::string problem = file_problem("the manifest", job.manifest_path, plan, job);
        !problem.empty())
        return problem + " (choose another /manifest=)";
    return {};
}

// The steps of a command-line run; each that can end the run gives its exit status then.

std::optional<int> check_before_start(const BatchJob& job) {
    if (job.source.empty()) {
        return could_not_start(job.job_mode == kJobModeFolder
                                   ? "no source folder given: add /d=FOLDER (see trelvane --help)"
                                   : "no source file given: add /f=FILE (see trelvane --help)");
    }
    if (job.ocr != 0 && !recognition_available())
        return could_not_start(recognition_problem(ocr_languages_of(job)));
    if (job.verify != 0 && !pdf_checks_available())
        return could_not_start(
            "this build cannot check PDFs against their faxes (/verify): it has no PDF parser; "
            "run without /verify, or check with the Linux build");
    return std::nullopt;
}

// Pages are recognised on threads of their own, as many as the jobs: a single fax of many pages
// uses them all too. Every thread loads its engine at once; a language that cannot be read,
// found by the first, stops the run before anything is converted.
std::optional<int> start_recognition(BatchJob& job, ReportPrinter& printer) {
    if (job.ocr == 0)
        return std::nullopt;
    const unsigned threads = job.jobs > 0 ? static_cast<unsigned>(job.jobs) : default_job_count();
    job.recognition = std::make_shared<RecognitionPool>(
        ocr_languages_of(job), threads,
        [&printer](const RecognitionProgress& p) { printer.pages_recognised(p.pages_done); });
    const std::string problem = job.recognition->wait_until_ready();
    if (problem.empty())
        return std::nullopt;
    job.recognition.reset();
    return could_not_start(problem);
}

// The walk, the checks of what it found, the conversions. source_problem gets the reason when
// the source folder itself is missing.
std::optional<int> run_folder(BatchJob& job, BatchRun& run, ReportPrinter& printer,
                              RunOutcome& outcome, int& source_problem) {
    if (const std::string mistake = filter_mistake(job.filter); !mistake.empty())
        return could_not_start(mistake);
    if (job.quiet == 0)
        platform::print_output("Please Wait...\n");
    job.files.clear();
    job.folder_problems.clear();
    collect_fax_files(job, job.source, job.include_subfolders != 0);
    const std::string problem = own_files_problem(plan_conversions(job, job.source), job);
    if (!problem.empty())
        return refuse_run(problem);
    // A source folder that is not there at all is a mistake in the command, not a failure of
    // the run.
    for (const FolderProblem& folder : job.folder_problems) {
        if (folder.folder == job.source && (folder.error == ENOENT || folder.error == ENOTDIR))
            source_problem = folder.error;
    }
    if (const std::string warning = nothing_matched_warning(job); !warning.empty())
        platform::print_error("trelvane: " + warning + "\n");
    convert_folder(job, run, printer.hooks(), outcome);
    return std::nullopt;
}

std::optional<int> run_single_file(BatchJob& job, BatchRun& run, ReportPrinter& printer,
                                   RunOutcome& outcome) {
    const PlannedFile file{job.source, job.destination, job.destination};
    const std::string problem = own_files_problem({file}, job);
    if (!problem.empty())
        return refuse_run(problem);
    job.log_text = kFileRunHeader;
    printer.report(job.log_text);
    if (faxread::classify_fax_file(job.source) != faxread::kFaxTypeWinFax) {
        write_log(job);
        platform::print_error("trelvane: " + printable_name(job.source) +
                              " is not a WinFax file (.fxd, .fxm, .fxr or .fxs); nothing was "
                              "converted\n");
        return kExitSomethingFailed;
    }
    job.jobs = 1;
    outcome = run.run(job, {file}, printer.hooks());
    return std::nullopt;
}

// After the conversions: the log record and the exit status (an interrupted run ends here).
int finish_run(BatchJob& job, ReportPrinter& printer, const RunOutcome& outcome,
               int source_problem) {
    job.recognition.reset();
    printer.clear_progress();
    if (outcome.workspace_error != 0) {
        const std::string& folder = process_paths().temp_folder;
        const std::string line = work_files_failed_line(folder, outcome.workspace_error);
        job.log_text += line;
        printer.report(line);
        write_log(job);
        return could_not_start("cannot create work files in " + printable_name(folder) +
                               platform::system_message_suffix(outcome.workspace_error) +
                               "; set TMPDIR to a folder you may write to");
    }
    if (outcome.signal != 0)
        end_interrupted(job, printer, outcome);

    write_log(job);
    const bool manifest_written = write_manifest(job, printer);
    if (source_problem != 0) {
        return could_not_start("cannot read the source folder " + printable_name(job.source) +
                               platform::system_message_suffix(source_problem));
    }
    if (job.failed_files > 0) {
        platform::print_error("trelvane: " + std::to_string(job.failed_files) +
                              " not converted; the report says why (it is also in " +
                              printable_name(process_paths().log_file_path) + ")\n");
        return kExitSomethingFailed;
    }
    return manifest_written ? kExitSuccess : kExitSomethingFailed;
}

int run_command_line(BatchJob& job) {
    // A reader of the report that goes away (| head) must not end the run: the conversions and
    // the log record matter more than the report on a closed pipe. (Only here: programs the
    // window starts should not inherit an ignored SIGPIPE.)
    platform::ignore_broken_pipe_signal();
    if (const std::optional<int> exit = check_before_start(job))
        return *exit;
    // What runs killed outright left of their page files goes before this run adds its own.
    remove_stale_page_files(process_paths().temp_folder);
    ReportPrinter printer(job.quiet != 0);
    std::optional<Manifest> manifest;
    if (!job.manifest_path.empty()) {
        manifest.emplace(job.verify != 0);
        printer.record_into(&*manifest);
    }
    BatchRun run;
    // Before any thread starts: the signals then reach only the watch.
    platform::InterruptWatch watch([&run](int signal_number) { run.interrupt(signal_number); });
    if (const std::optional<int> exit = start_recognition(job, printer))
        return *exit;

    RunOutcome outcome;
    int source_problem = 0;
    const std::optional<int> exit = job.job_mode == kJobModeFolder
                                        ? run_folder(job, run, printer, outcome, source_problem)
                                        : run_single_file(job, run, printer, outcome);
    if (exit)
        return *exit;
    return finish_run(job, printer, outcome, source_problem);
}

}  // namespace

void set_window_factory(WindowFactory factory) {
    window_factory = factory;
}

namespace {

// The command line as the system hands it over: one token an argument (POSIX systems), or one
// text that the program splits itself (Windows).
struct GivenCommandLine {
    const std::optional<std::vector<std::string>>* arguments = nullptr;
    const std::optional<std::string>* text = nullptr;
};

int run_given(const GivenCommandLine& given, const WindowLaunch& launch) {
    // A file that grows past the user's file size limit is to fail with its message, not end
    // the run.
    platform::ignore_file_size_signal();
    // A command-line run makes its own work files and says so when it cannot; the window
    // converts in the default workspace.
    int workspace_error = 0;
    init_process_paths(&workspace_error);
    set_startup_settings(global_settings(), process_paths());

    BatchJob job;
    reset_batch_job(job);
    global_settings().page_file_mode = 0;

    std::vector<std::string> given_files;
    int parsed = kCommandLineRejected;
    if (given.arguments != nullptr) {
        parsed = parse_arguments(*given.arguments, job, global_settings(),
                                 process_paths().log_file_path, &given_files);
    } else {
        // A command text of fax files alone (Explorer's "Convert with Trelvane") is for the
        // window; anything else is parsed as it always was.
        if (*given.text)
            given_files = files_named_by_text(**given.text);
        if (given_files.empty())
            parsed = parse_command_line(*given.text ? given.text->value().c_str() : nullptr, job,
                                        global_settings(), process_paths().log_file_path);
    }
    job.settings = global_settings();
    // An empty save option is a broken command (a variable that is not set), not a request for
    // the window; the parser has said so on standard error.
    if (parsed == kCommandLineRejected && job.job_mode != kJobModeNone && job.destination.empty())
        return kExitCouldNotStart;
    if (parsed == kCommandLineRefused)
        return kExitCouldNotStart;
    if (parsed != kCommandLineAccepted) {
        if (workspace_error != 0) {
            platform::print_error("trelvane: cannot create work files in " +
                                  printable_name(process_paths().temp_folder) +
                                  platform::system_message_suffix(workspace_error) + "\n");
        }
        WindowLaunch window_launch = launch;
        window_launch.files = std::move(given_files);
        return run_window(window_launch);
    }
    return run_command_line(job);
}

// --help, -h and --version: answered before anything else; nothing when the argument is none of
// them.
std::optional<int> answer_information_request(std::string_view arg, bool one_string) {
    if (arg == "--help" || arg == "-h") {
        const std::string folder = platform::program_folder();
        const platform::UserFileLocations files = platform::locate_user_files(folder);
        HelpFacts facts;
        facts.log_file_path = files.log_file;
        facts.settings_file_path = files.settings_file;
        facts.default_jobs = default_job_count();
        facts.one_string_command_line = one_string;
        facts.recognition = recognition_available();
        facts.pdf_checks = pdf_checks_available();
        platform::print_output(help_text(facts));
        return kExitSuccess;
    }
    if (arg == "--version") {
        std::string missing;
        if (!recognition_available())
            missing = "text recognition: no /ocr";
        if (!pdf_checks_available())
            missing += std::string(missing.empty() ? "" : "; ") + "PDF checks: no /verify";
        platform::print_output("trelvane " TRELVANE_VERSION +
                               (missing.empty() ? "" : " (built without " + missing + ")") + "\n");
        return kExitSuccess;
    }
    return std::nullopt;
}

// The run itself, once the information requests are answered.
int run_from_entry(const GivenCommandLine& given, const WindowLaunch& launch) {
    // Many conversions at once hold many files open.
    platform::raise_open_file_limit();
    platform::keep_freed_memory_for_reuse();
    const int code = run_given(given, launch);
    remove_work_files();
    return code;
}

}  // namespace

int run_program(const std::optional<std::vector<std::string>>& arguments,
                const WindowLaunch& launch) {
    return run_given(GivenCommandLine{&arguments, nullptr}, launch);
}

int program_entry(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (const std::optional<int> answered = answer_information_request(argv[i], false))
            return *answered;
    }
    const std::optional<std::vector<std::string>> arguments = program_arguments(argc, argv);
    return run_from_entry(GivenCommandLine{&arguments, nullptr}, WindowLaunch{argc, argv, 0, {}});
}

int program_entry_text(const std::optional<std::string>& text) {
    if (text) {
        // The information requests as the only word of the command line.
        std::string_view word = *text;
        while (!word.empty() && (word.front() == ' ' || word.front() == '\t'))
            word.remove_prefix(1);
        while (!word.empty() && (word.back() == ' ' || word.back() == '\t'))
            word.remove_suffix(1);
        if (const std::optional<int> answered = answer_information_request(word, true))
            return *answered;
    }
    return run_from_entry(GivenCommandLine{nullptr, &text}, WindowLaunch{});
}

}  // namespace trelvane::app
