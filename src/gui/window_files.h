// What the Convert page converts: the files named by its source text.
#pragma once

#include <optional>
#include <string>
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

}  // namespace trelvane::gui
