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
// followed by a space and each name. Where a name or the folder holds a space, each is put in
// quotes, as Windows' own multiple selection does: "/My Faxes" "a b.fxs" "c.fxd" (a single
// path so: "/My Faxes/a b.fxs").
std::string selection_text(const FileSelection& selection);

// Reads a source text in "Convert File(s)" mode. A text with quotes is the quoted form above
// (one item: a file path; more: the folder, then names). Otherwise a text without a space,
// starting with one, or naming an existing file is a single file path; any other text is the
// folder before the first space and the names after it, split at single spaces (two spaces in
// a row end the list).
FileSelection parse_selection_text(const std::string& source_text);

// The files a desktop hands the program (a file manager's "Open with"), as one selection: the
// deepest folder holding them all, and each file's path below it. Relative paths are taken
// from current_folder. Nothing when no path is given.
std::optional<FileSelection> selection_of_files(const std::vector<std::string>& paths,
                                                const std::string& current_folder);

// Fills job.files and job.source from the source text and returns the source folder (empty
// when there is nothing to convert from). `chosen` is the last selection made in the file
// dialog: while the source text still shows it, its names are taken as they are, so paths
// holding spaces survive.
std::string collect_window_files(app::BatchJob& job, const WindowOptions& options,
                                 const std::string& source_text,
                                 const std::optional<FileSelection>& chosen);

}  // namespace trelvane::gui
