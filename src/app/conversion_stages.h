// The three stages of one file's conversion, steps of convert_fax_file that need the reader,
// the TIFF copy stage and the PDF writer.
#pragma once

#include <string>

#include "app/batch_job.h"
#include "app/conversion_workspace.h"
#include "app/file_outcome.h"
#include "platform/sha256.h"

namespace trelvane::app {

// Reads the fax, writes the intermediate TIFF file, normalises it and writes the PDF, with the
// workspace's files between the stages. Returns the file's outcome: Converted with what the
// pages met (page_notes.h), or Failed at the stage that failed with the system's reason when it
// gave one (a system short of descriptors or memory is SystemShortage whatever the stage).
// Exceptions from the stages pass through to the caller.
// `pdf_hash`, when given, gets every byte of the PDF as it is written.
FileOutcome run_conversion_stages(const BatchJob& job, const std::string& source,
                                  const std::string& destination, ConversionWorkspace& workspace,
                                  platform::Sha256* pdf_hash = nullptr);

}  // namespace trelvane::app
