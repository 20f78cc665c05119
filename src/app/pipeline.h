// Converting one WinFax file into one PDF file, and the small file operations it uses.
#pragma once

#include <cstdint>
#include <string>

#include "app/batch_job.h"
#include "app/conversion_workspace.h"

namespace trelvane::app {

// Result codes of convert_fax_file.
constexpr int kConverted = 0;
constexpr int kSkippedExisting = 1;
constexpr int kNotWinFax = -1;
constexpr int kFolderFailed = -2;  // also: converted, but the file times could not be copied
constexpr int kNotFax = -5;
constexpr int kFaxError = -6;
constexpr int kCopyStageFailed = -7;
constexpr int kPdfWriterFailed = -8;
constexpr int kException = -9;

// True for the codes that mean a WinFax file was not converted as asked.
bool is_failure(int code);

// Converts source into the PDF destination, appending the file's report line to job.log_text.
// The workspace holds the files between the stages; the overload without one uses the
// process's default workspace (one conversion at a time).
int convert_fax_file(BatchJob& job, const std::string& source, const std::string& destination,
                     ConversionWorkspace& workspace);
int convert_fax_file(BatchJob& job, const std::string& source, const std::string& destination);

// Why the PDF must not be written at destination: it would replace the fax itself, another
// WinFax file (by its extension, or a file that reads as one), or something that is not a
// regular file (a device, a FIFO, a socket, a folder), said as the report line says it. Empty
// when nothing is in the way.
std::string pdf_target_problem(const std::string& source, const std::string& destination);
// True when the file reads as a WinFax fax (whatever its name).
bool is_winfax_file(const std::string& path);

// Creates the folder and every missing folder above it. error, when given, gets the reason of
// a failure.
bool create_folder_path(const std::string& folder, int* error = nullptr);
bool pdf_exists(const std::string& path);
// The rule for skipping a fax whose PDF exists: the PDF is not empty and at least as new as
// the fax (copied file times count as up to date). A fax completed after its first, partial
// conversion is therefore converted again.
bool pdf_is_up_to_date(const std::string& source, const std::string& pdf);
int copy_file_times(const std::string& source, const std::string& target);

}  // namespace trelvane::app
