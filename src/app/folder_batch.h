// Converting a folder tree: the walk that collects WinFax files, the naming of their PDFs, and
// the loop that converts them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/batch_job.h"
#include "app/batch_run.h"
#include "app/conversion_pool.h"

namespace trelvane::app {

// Appends to job.files the WinFax files of the folder whose names match job.filter, relative
// to job.source, depth first when recurse is set (only into subfolders whose names match). A
// folder that cannot be read is added to job.folder_problems at its place in the walk.
void collect_fax_files(BatchJob& job, const std::string& folder, bool recurse);

// The PDF path for the relative name of a source file (as convert_folder derives it; shared with
// the window's worker): the source path without its extension (unless keep_extension) plus ".pdf",
// moved under the destination.
std::string pdf_path_for(const BatchJob& job, const std::string& source_path);

// The destination itself, or, when a PDF of that path was already written in this run,
// "name (2).pdf", "name (3).pdf", ... the first not yet written.
std::string unclaimed_pdf_path(const BatchJob& job, const std::string& destination);

// Every file of job.files (relative to source_folder) with its PDF path, in walk order. A
// file whose PDF path an earlier file already has gets "name (2).pdf", "name (3).pdf", ...
// instead, so no two files of a run write the same PDF, whatever order they finish in.
std::vector<PlannedFile> plan_conversions(const BatchJob& job, const std::string& source_folder);

// The folder run's report header and total line.
std::string folder_header(const BatchJob& job);
std::string folder_total(int converted);

// Converts every file of job.files into job.destination: the header, one line per file in walk
// order, the total (of an interrupted run too). Returns 0, or -1 when the destination is empty.
// With `run`, the run can be interrupted through it, and `outcome` tells what happened (when the
// work files cannot be made, nothing runs and the report ends after the header).
int convert_folder(BatchJob& job, const RunHooks& hooks = {});
int convert_folder(BatchJob& job, BatchRun& run, const RunHooks& hooks, RunOutcome& outcome);

}  // namespace trelvane::app
