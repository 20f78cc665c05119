// The command line: options into the run's record, the conversion settings and the log path.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/batch_job.h"
#include "faxread/conversion_settings.h"

namespace trelvane::app {

// Results of parse_command_line.
constexpr int kCommandLineAccepted = 0;  // job_mode is 1 or 2 and destination is not empty
constexpr int kNoArgumentText = -1;
constexpr int kEmptyArgumentText = -2;
constexpr int kCommandLineRejected = 126;  // no save option, or an empty save value
constexpr int kCommandLineRefused = 125;   // an option that cannot be meant: nothing runs

extern const char* const kUsageText;

// What the help text says of the program that prints it.
struct HelpFacts {
    std::string log_file_path;
    std::string settings_file_path;
    unsigned default_jobs = 1;
    bool one_string_command_line = false;  // the system hands over one text (Windows)
    bool recognition = true;               // /ocr is in this build
    bool pdf_checks = true;                // /verify is in this build
};

// What --help prints: the usage lines, every option with one line each, the exit statuses, and
// where the log, the settings and the work files live on this machine.
std::string help_text(const HelpFacts& facts);

// Parses the command-line text (nullptr: there is none), as a system that hands a program one
// string (Windows) gives it, into the job, the settings and the log path. Prints the usage text on
// standard output when there is no save option, and the save folder error on standard error when
// the save value is empty.
int parse_command_line(const char* text, BatchJob& job, faxread::ConversionSettings& settings,
                       std::string& log_file_path);

// The same with the process-wide settings and log path.
int parse_command_line(const char* text, BatchJob& job);

// The same for a system that hands the program its arguments one by one (argv): each argument
// is one token, a prefix option's value the rest of it as it stands (spaces and quotes
// included), so no argument can add options of its own. Nothing: there were no arguments.
// With given_files, an argument that is no option but names an existing file goes there (and
// no usage text is printed for a command line of such files alone); a command-line run names
// them as ignored and empties the list.
int parse_arguments(const std::optional<std::vector<std::string>>& arguments, BatchJob& job,
                    faxread::ConversionSettings& settings, std::string& log_file_path,
                    std::vector<std::string>* given_files = nullptr);
int parse_arguments(const std::optional<std::vector<std::string>>& arguments, BatchJob& job);

// The files a desktop names in a command text ("C:\My Faxes\a.fxd" "C:\b.fxm", as Explorer
// passes them to trelvane.exe): the text's words, a quoted part holding its spaces. Empty
// unless every word names an existing file, so a command line of options never counts as one.
std::vector<std::string> files_named_by_text(std::string_view text);

// The program's arguments without its own name; nothing when there are none.
std::optional<std::vector<std::string>> program_arguments(int argc, const char* const* argv);

}  // namespace trelvane::app
