// The three stages of one file's conversion, steps of convert_fax_file that need the reader,
// the TIFF copy stage and the PDF writer.
#pragma once

#include <string>

#include "app/batch_job.h"
#include "app/conversion_workspace.h"
#include "app/page_notes.h"

namespace trelvane::app {

// Reads the fax, writes the intermediate TIFF file, normalises it and writes the PDF, with the
// workspace's files between the stages. On failure appends the failure text to the job's report
// (ending in the system's message when the operating system said why) and returns its code
// (kNotFax, kFaxError, kCopyStageFailed, kPdfWriterFailed; kSystemFailed, "System error",
// whatever the stage, when the system ran out of descriptors or memory). On success appends
// nothing, fills `notes` with what the pages met (page_notes.h) and returns kConverted.
// Exceptions from the stages pass through to the caller.
int run_conversion_stages(BatchJob& job, const std::string& source, const std::string& destination,
                          ConversionWorkspace& workspace, FileNotes& notes);

}  // namespace trelvane::app
