// Converting a folder tree: the walk that collects WinFax files and the loop that converts them.
#pragma once

#include <string>

#include "app/batch_job.h"

namespace trelvane::app {

void collect_fax_files(BatchJob& job, const std::string& folder, bool recurse);
int convert_folder(BatchJob& job);

}  // namespace trelvane::app
