#include "app/pipeline.h"

#include <exception>
#include <optional>

#include "app/conversion_stages.h"
#include "faxread/fax_type.h"
#include "platform/file_system.h"
#include "platform/paths.h"

namespace trelvane::app {

namespace {

bool is_failure(int code) {
    return code != kConverted && code != kSkippedExisting && code != kNotWinFax;
}

int finish(BatchJob& job, int code) {
    if (is_failure(code))
        ++job.failed_files;
    return code;
}

}  // namespace

int convert_fax_file(BatchJob& job, const std::string& source, const std::string& destination) {
    if (faxread::classify_fax_file(source) != faxread::kFaxTypeWinFax)
        return kNotWinFax;

    job.log_text += source + " --> " + destination + " : ";

    if (job.skip_existing != 0 && pdf_exists(destination)) {
        job.log_text += "Skipped : " + destination + " already exist!\r\n";
        return kSkippedExisting;
    }

    const size_t last_separator = destination.rfind(platform::kPathSeparator);
    if (last_separator != std::string::npos && last_separator > 0) {
        const std::string folder = destination.substr(0, last_separator);
        if (!create_folder_path(folder)) {
            job.log_text += "Failed to create dir: " + folder + "\r\n";
            return finish(job, kFolderFailed);
        }
    }

    // Reading the source moves its access time on; the PDF is to carry the one it had before.
    std::optional<platform::FileTimes> source_times;
    if (job.keep_file_times != 0)
        source_times = platform::read_file_times(source);

    int code;
    try {
        code = run_conversion_stages(job, source, destination);
    } catch (...) {
        // One bad file never ends a run.
        job.log_text += "Exception : Failed in FAX to PDF conversion\r\n";
        return finish(job, kException);
    }
    if (code != kConverted)
        return finish(job, code);

    job.log_text += "Success !\r\n";
    job.written_pdfs.push_back(destination);
    if (job.keep_file_times != 0) {
        const bool kept = source_times && platform::set_file_times(destination, *source_times);
        return finish(job, kept ? kConverted : kFolderFailed);
    }
    return kConverted;
}

bool create_folder_path(const std::string& folder) {
    if (platform::folder_exists(folder))
        return true;
    // The root needs no creating, so every level below it is tried.
    const size_t last_separator = folder.rfind(platform::kPathSeparator);
    if (last_separator != std::string::npos && last_separator > 0) {
        create_folder_path(folder.substr(0, last_separator));
    }
    return platform::create_folder(folder);
}

bool pdf_exists(const std::string& path) {
    std::optional<uint64_t> size = platform::readable_file_size(path);
    return size && *size > 0;
}

int copy_file_times(const std::string& source, const std::string& target) {
    return platform::copy_file_times(source, target) ? kConverted : kFolderFailed;
}

}  // namespace trelvane::app
