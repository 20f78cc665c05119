#include "app/batch_job.h"

namespace trelvane::app {

void reset_batch_job(BatchJob& job) {
    // quiet and job_mode are left alone: the command-line parser clears them itself.
    job.filter = "*.*";
    job.source.clear();
    job.destination.clear();
    job.log_text.clear();
    job.files.clear();
    job.keep_file_times = 0;
    job.keep_extension = 0;
    job.include_subfolders = 0;
    job.keep_hierarchy = 0;
    job.skip_existing = 0;
    job.verify = 0;
    job.copy_options = pdfout::TiffCopyOptions{6, 75, 0, -1, 0};
    job.failed_files = 0;
    job.written_pdfs.clear();
    job.jobs = 0;
    job.shard = Shard{};
    job.folder_problems.clear();
    job.unreadable_files.clear();
    job.ocr = 0;
    job.ocr_languages.clear();
    job.pdfa = pdfout::ArchiveLevel::kNone;
    job.recognition.reset();
}

std::string ocr_languages_of(const BatchJob& job) {
    return job.ocr_languages.empty() ? std::string("eng") : job.ocr_languages;
}

faxread::ConversionSettings& global_settings() {
    static faxread::ConversionSettings settings;
    return settings;
}

}  // namespace trelvane::app
