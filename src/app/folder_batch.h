// Converting a folder tree: the walk that collects WinFax files and the loop that converts them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "app/batch_job.h"

namespace trelvane::app {

// Appends to job.files the WinFax files of the folder whose names match job.filter, relative
// to job.source, depth first when recurse is set (only into subfolders whose names match).
void collect_fax_files(BatchJob& job, const std::string& folder, bool recurse);

// Called before each file of a folder run: files done so far, files in all, the file's name
// relative to the source; and once more with done == total and an empty name at the end.
using FolderProgress = std::function<void(size_t done, size_t total, const std::string& name)>;

// Converts every file of job.files into job.destination. Returns 0, or -1 when the destination
// is empty.
int convert_folder(BatchJob& job, const FolderProgress& progress = {});

// The PDF path for the relative name of a source file (as convert_folder derives it; shared with
// the window's worker): the source path without its extension (unless keep_extension) plus ".pdf",
// moved under the destination.
std::string pdf_path_for(const BatchJob& job, const std::string& source_path);

// The destination itself, or, when a PDF of that path was already written in this run,
// "name (2).pdf", "name (3).pdf", ... the first not yet written.
std::string unclaimed_pdf_path(const BatchJob& job, const std::string& destination);

}  // namespace trelvane::app
