// The command line: options into the run's record, the conversion settings and the log path.
#pragma once

#include <optional>
#include <string>

#include "app/batch_job.h"
#include "faxread/conversion_settings.h"

namespace trelvane::app {

// Results of parse_command_line.
constexpr int kCommandLineAccepted = 0;  // job_mode is 1 or 2 and destination is not empty
constexpr int kNoArgumentText = -1;
constexpr int kEmptyArgumentText = -2;
constexpr int kCommandLineRejected = 126;  // no save option, or an empty save value

extern const char* const kUsageText;

// What --help prints: the usage lines, every option with one line each, the exit statuses, and
// where the log and the settings live on this machine.
std::string help_text(const std::string& log_file_path, const std::string& settings_file_path,
                      unsigned default_jobs);

// Parses the argument text (nullptr: there is none) into the job, the settings and the log
// path. Prints the usage text on standard output when there is no save option, and the save
// folder error on standard error when the save value is empty.
int parse_command_line(const char* text, BatchJob& job, faxread::ConversionSettings& settings,
                       std::string& log_file_path);

// The same with the process-wide settings and log path.
int parse_command_line(const char* text, BatchJob& job);

// The argument text rebuilt from the program's arguments (without its own name): arguments
// joined by single spaces, an argument holding a space quoted after its option prefix
// (/d="/x/Fax In") so that it reaches the parser as one quoted value. Nothing when there are no
// arguments.
std::optional<std::string> build_argument_text(int argc, const char* const* argv);

}  // namespace trelvane::app
