// Every text the program writes into its report, its log record and the window's result list
// and status line, in one place.
//
// FROZEN: the texts marked so below are the program's as it has always written them, typos
// included ("prearing", "already exist!", "Vuvod"). Scripts grep the logs for them and the logs
// of past runs are read beside new ones; change one only by a decision recorded in the design
// notes (docs/CONTRIBUTING.md lists them). Additions go after a frozen text, in parentheses:
// "Not Fax (Permission denied)", "Success ! (page 3: data cut short)". The texts not marked are
// this program's own and may be worded better, but tests and users read them too.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/file_outcome.h"

namespace trelvane::app {

// FROZEN: the outcomes of a file's line, after its head.
inline constexpr std::string_view kSuccessText = "Success !";
inline constexpr std::string_view kSkippedLead = "Skipped : ";
inline constexpr std::string_view kSkippedTail = " already exist!";
inline constexpr std::string_view kFailedLead = "Failed : ";
inline constexpr std::string_view kFolderFailedLead = "Failed to create dir: ";
inline constexpr std::string_view kExceptionText = "Exception : Failed in FAX to PDF conversion";
// FROZEN: the window's result column.
inline constexpr std::string_view kConvertedText = "Converted!";
inline constexpr std::string_view kSkippedText = "Already exist, skipped!";
inline constexpr std::string_view kNotWinFaxText = "Not WinFax File!";

// The program's own.
inline constexpr std::string_view kVerifiedNote = "verified";
inline constexpr std::string_view kTimesNotKeptText =
    "Converted! (its file date and time could not be kept)";
inline constexpr std::string_view kLeftForNextRunText =
    "Left for the next run: changed less than 10 seconds ago, it may still be being written";
inline constexpr std::string_view kLeftForNextPassText =
    "Left for the next pass: changed less than 10 seconds ago, it may still be being written";
inline constexpr std::string_view kCancelledText =
    "Not converted: the pass was cancelled before this file started";
inline constexpr std::string_view kClosedText =
    "Not converted: the window was closed before this file started";
inline constexpr std::string_view kAbandonedText =
    "Not converted: the window was closed before this file was finished";

// The start of every file's report line: source + " --> " + destination + " : " (FROZEN), the
// names with their control characters escaped so that no name can make a line of its own.
std::string report_line_head(const std::string& source, const std::string& destination);

// A file's report line, CR LF ended; empty for a file that is not a WinFax file.
std::string report_line(const FileOutcome& outcome);
// The outcome as the line has it after its head, without the line end or the rename note.
std::string outcome_text(const FileOutcome& outcome);
// The text of the file's row in the window's result list. The source is in the row's first
// column, so a failure says only why ("Failed : Not Fax (Permission denied)").
std::string row_text(const FileOutcome& outcome);

// "Success !", followed by the notes in parentheses when there are any (page_notes.h lists
// them); `more` are further notes on the file, after the pages' own.
std::string success_text(const FileNotes& notes, const std::vector<std::string>& more = {});
// What a line of a file renamed "name (2).pdf" adds: the PDF that holds the name it wanted.
std::string clash_note(const std::string& wanted);

// FROZEN: a command-line folder run's header and total line; the single-file run's header.
std::string folder_header(const std::string& source, const std::string& destination);
std::string folder_total(int converted);
inline constexpr std::string_view kFileRunHeader =
    "Vuvod Trelvane command line mode : convert file\r\n";
// FROZEN: the header of a window pass's log record, and its status line at the end.
std::string window_pass_header(const std::string& source, const std::string& destination);
std::string done_status_text(int converted);
// The status line of a pass cancelled before every file had started.
std::string cancelled_status_text(int converted, size_t total);
// A save folder that cannot be used: it exists and is not a folder (before the pass), or it
// could not be created (the pass then goes on, and each file's line says so).
std::string save_folder_not_folder_text(const std::string& folder);
std::string save_folder_failed_text(const std::string& folder, int error);
// FROZEN "Doing: SOURCE" while a file converts; with searchable PDFs the pages read so far
// follow (recognition takes a second or more a page: the count says a long fax moves on).
std::string doing_status_text(const std::string& source, uint64_t pages_read);

// The line after a folder run's header when the run is one share of it (/shard=K/N): which share,
// how many of the files the walk found are its own, and the fingerprint of the plan, which all
// shares of one run show alike.
std::string shard_line(uint32_t number, uint32_t count, size_t taken, size_t found,
                       const std::string& plan_fingerprint);
// A folder the walk could not read.
std::string folder_problem_line(const std::string& folder, int error);
// The line that ends a run a signal interrupted.
std::string interrupted_line(const std::string& signal_name, size_t not_converted, size_t total);
// The line that ends a window pass that stopped with files not converted.
std::string pass_stopped_line(bool window_closed, size_t not_converted, size_t total);
// The line of a run whose work files could not be made.
std::string work_files_failed_line(const std::string& folder, int error);

// The window's status line (and standard error) when its settings could not be saved.
std::string settings_not_saved_text(const std::string& settings_path, int error);

}  // namespace trelvane::app
