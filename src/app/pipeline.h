// Converting one WinFax file into one PDF file, and the small file operations it uses.
#pragma once

#include <cstdint>
#include <optional>
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
// The system ran short of what any conversion needs (descriptors, memory): nothing about the
// fax, which another run may convert.
constexpr int kSystemFailed = -10;

// True for the codes that mean a WinFax file was not converted as asked.
bool is_failure(int code);

// The start of every file's report line: source + " --> " + destination + " : ", the names
// with their control characters escaped so that no name can make a line of its own.
std::string report_line_head(const std::string& source, const std::string& destination);

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
std::string pdf_target_problem(const std::string& source, const std::string& destination,
                               const faxread::ConversionSettings& settings);
// True when the file reads as a WinFax fax (whatever its name).
bool is_winfax_file(const std::string& path, const faxread::ConversionSettings& settings);

// Creates the folder and every missing folder above it. error, when given, gets the reason of
// a failure.
bool create_folder_path(const std::string& folder, int* error = nullptr);
bool pdf_exists(const std::string& path);
// The fax as a conversion with skip_existing finds it before reading it: its path below the
// job's source folder (the path as given when it is not below it), size and modification time.
// Nothing when it cannot be looked at.
std::optional<pdfout::FaxSourceRecord> fax_source_record(const BatchJob& job,
                                                         const std::string& source);
// The rule for skipping a fax whose PDF exists: the PDF is not empty and records that it was
// made from this fax as it is now (`fax`, from fax_source_record). A PDF of another fax (a name
// taken over) or of an earlier state of this one (a fax completed after its first, partial
// conversion) is made again. A PDF without any record, made before PDFs had one or by a run
// without skipping, counts as up to date when it is at least as new as the fax (copied file
// times included).
bool pdf_is_up_to_date(const std::optional<pdfout::FaxSourceRecord>& fax, const std::string& source,
                       const std::string& pdf);
int copy_file_times(const std::string& source, const std::string& target);

}  // namespace trelvane::app
