// Converting one WinFax file into one PDF file, and the small file operations it uses.
#pragma once

#include <cstdint>
#include <string>

#include "app/batch_job.h"

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

int convert_fax_file(BatchJob& job, const std::string& source, const std::string& destination);

bool create_folder_path(const std::string& folder);
bool pdf_exists(const std::string& path);
int copy_file_times(const std::string& source, const std::string& target);

}  // namespace trelvane::app
