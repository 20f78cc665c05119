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
// to job.source, depth first when recurse is set (only into subfolders whose names match). Each
// folder's entries are taken in the order an NTFS folder lists them (case-insensitive), so two
// copies of a tree give one order. A folder that cannot be read is added to job.folder_problems
// at its place in the walk; a fax-named entry that is no file to read (a pipe, a device, a link
// that leads nowhere) is listed all the same and named in job.unreadable_files.
void collect_fax_files(BatchJob& job, const std::string& folder, bool recurse);

// The PDF path for a source file (as convert_folder derives it; shared with the window's
// worker): the file's name without its extension (unless keep_extension) plus ".pdf", directly
// in the destination, or with keep_hierarchy at the file's path below job.source. It is always
// below the destination.
std::string pdf_path_for(const BatchJob& job, const std::string& source_path);

// The destination itself, or, when a PDF of that name (in any case) was already written in
// this run, "name (2).pdf", "name (3).pdf", ... the first not yet written.
std::string unclaimed_pdf_path(const BatchJob& job, const std::string& destination);

// Every file of job.files (relative to source_folder) with its PDF path, in walk order. A
// file whose PDF path an earlier file already has, in any case, gets "name (2).pdf",
// "name (3).pdf", ... instead, so no two files of a run write the same PDF, on any file system
// and whatever order they finish in. Files of job.unreadable_files claim no name.
std::vector<PlannedFile> plan_conversions(const BatchJob& job, const std::string& source_folder);

// The files of the plan that are the shard's (positions p with p mod N = K - 1), in plan order.
// Every folder problem stays, moved to its place among them: a shard cannot tell whether the
// files a folder it could not read holds would have been its own.
std::vector<PlannedFile> shard_of_plan(const Shard& shard, std::vector<PlannedFile> plan,
                                       std::vector<FolderProblem>& folder_problems);

// A filter that can only be a mistake in the command (empty, or holding quotes that the shell
// was meant to remove): what to say. Empty when the filter may be meant.
std::string filter_mistake(const std::string& filter);
// After the walk: a filter of the user's that found no fax at all, in a folder that was read.
// What to say (empty: nothing to say).
std::string nothing_matched_warning(const BatchJob& job);

// Converts every file of job.files (of its shard, with job.shard) into job.destination: the
// header, one line per file in walk order, the total (of an interrupted run too). Returns 0, or -1
// when the destination is empty. With `run`, the run can be interrupted through it, and `outcome`
// tells what happened (when the work files cannot be made, nothing runs and the report ends after
// the header).
int convert_folder(BatchJob& job, const RunHooks& hooks = {});
int convert_folder(BatchJob& job, BatchRun& run, const RunHooks& hooks, RunOutcome& outcome);

}  // namespace trelvane::app
