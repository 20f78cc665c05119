#include "app/run_program.h"

#include <string_view>

#include "app/batch_job.h"
#include "app/command_line.h"
#include "app/conversion_log.h"
#include "app/folder_batch.h"
#include "app/pipeline.h"
#include "app/process_paths.h"
#include "platform/console.h"
#include "platform/file_system.h"

#ifndef TRELVANE_VERSION
#define TRELVANE_VERSION "unknown"
#endif

namespace trelvane::app {

namespace {

WindowFactory window_factory = nullptr;

constexpr int kExitSuccess = 0;
constexpr int kExitSomethingFailed = 1;

// One line on standard error, redrawn in place, while a folder run works through its files.
void show_progress(size_t done, size_t total, const std::string& name) {
    if (done >= total) {
        platform::print_error("\r\x1b[K");
        return;
    }
    platform::print_error("\r\x1b[K[" + std::to_string(done + 1) + "/" + std::to_string(total) +
                          "] " + name);
}

int run_window(const WindowLaunch& launch) {
    if (window_factory == nullptr) {
        platform::print_error(
            "trelvane: no window is available in this build; convert from the command line "
            "with /f= and /sf= or /d= and /sd= (see trelvane --help)\n");
        return kExitSuccess;
    }
    std::optional<int> code = window_factory(launch);
    return code ? *code : kExitSuccess;
}

int run_command_line(BatchJob& job) {
    ProcessPaths& paths = process_paths();
    bool single_file_failed = false;
    if (job.job_mode == kJobModeFolder) {
        platform::print_output("Please Wait...\n");
        job.files.clear();
        collect_fax_files(job, job.source, job.include_subfolders != 0);
        if (platform::error_is_terminal()) {
            convert_folder(job, show_progress);
        } else {
            convert_folder(job);
        }
    } else {
        job.log_text = "Vuvod Trelvane command line mode : convert file\r\n";
        const int code = convert_fax_file(job, job.source, job.destination);
        single_file_failed = code != kConverted && code != kSkippedExisting;
    }

    // In the per-user layout the log's parent folder may not exist yet; the log itself only
    // creates its last level.
    if (paths.log_file_path == paths.default_log_file_path && !paths.log_parent_folder.empty()) {
        platform::create_folder_chain(paths.log_parent_folder);
    }
    append_log_record(paths.log_file_path, job.log_text);
    if (job.quiet == 0)
        platform::show_report(job.log_text);

    return (single_file_failed || job.failed_files > 0) ? kExitSomethingFailed : kExitSuccess;
}

}  // namespace

void set_window_factory(WindowFactory factory) {
    window_factory = factory;
}

int run_program(const std::optional<std::string>& argument_text, const WindowLaunch& launch) {
    if (!init_process_paths()) {
        platform::print_error("trelvane: cannot create work files in " +
                              process_paths().temp_folder + "\n");
    }
    set_startup_settings(global_settings(), process_paths());

    BatchJob job;
    reset_batch_job(job);
    global_settings().page_file_mode = 0;

    const int parsed = parse_command_line(argument_text ? argument_text->c_str() : nullptr, job);
    if (parsed != kCommandLineAccepted)
        return run_window(launch);
    return run_command_line(job);
}

int program_entry(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            platform::print_output(kUsageText);
            return kExitSuccess;
        }
        if (arg == "--version") {
            platform::print_output("trelvane " TRELVANE_VERSION "\n");
            return kExitSuccess;
        }
    }
    const WindowLaunch launch{argc, argv, 0};
    const int code = run_program(build_argument_text(argc, argv), launch);
    remove_work_files();
    return code;
}

}  // namespace trelvane::app
