// What the Convert page converts and where the PDFs go: the files named by its source text,
// the PDF path of each, and the text of each row's result column.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/batch_job.h"
#include "gui/window_options.h"

namespace trelvane::gui {

// Files chosen in the open-file dialog: their folder and their names.
struct FileSelection {
    std::string folder;
    std::vector<std::string> names;
};

// The source text shown for a selection: the full path of a single file, otherwise the folder
// followed by a space and each name.
std::string selection_text(const FileSelection& selection);

// Splits a typed source text in "Convert File(s)" mode: a text without a space (or starting
// with one) is a single file path; otherwise the text before the first space is the folder
// and the rest, split at single spaces, are names (two spaces in a row end the list).
FileSelection parse_selection_text(const std::string& source_text);

// Fills job.files and job.source from the source text and returns the source folder (empty
// when there is nothing to convert from). `chosen` is the last selection made in the file
// dialog: while the source text still shows it, its names are taken as they are, so paths
// holding spaces survive.
std::string collect_window_files(app::BatchJob& job, const WindowOptions& options,
                                 const std::string& source_text,
                                 const std::optional<FileSelection>& chosen);

// Third column of a result row: the fixed texts for converted, skipped and non-WinFax files,
// otherwise the outcome of the file's report line (what the conversion appended to the report,
// after its head "source --> destination : "), without the source path the row already shows
// ("Failed : Not Fax" for "Failed : <source> - Not Fax").
inline constexpr std::string_view kConvertedText = "Converted!";
inline constexpr std::string_view kSkippedText = "Already exist, skipped!";
inline constexpr std::string_view kNotWinFaxText = "Not WinFax File!";
inline constexpr std::string_view kTimesNotKeptText =
    "Converted! (its file date and time could not be kept)";
std::string result_column_text(int result, std::string_view report_line,
                               const std::string& source_path, const std::string& pdf_path);

}  // namespace trelvane::gui
