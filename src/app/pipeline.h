// Converting one WinFax file into one PDF file, and the small file operations it uses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/batch_job.h"
#include "app/conversion_workspace.h"
#include "app/file_outcome.h"

namespace trelvane::app {

// Converts source into the PDF destination and says what became of it. The workspace holds the
// files between the stages. Reads the job's choices; sets its source_record for the PDF and
// adds a PDF put in place to its written_pdfs.
FileOutcome convert_one_fax(BatchJob& job, const std::string& source,
                            const std::string& destination, ConversionWorkspace& workspace);

// convert_one_fax, appending the file's report line to job.log_text, counting a failure in
// job.failed_files and returning the result code (file_outcome.h). The overload without a
// workspace uses the process's default one (one conversion at a time).
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
