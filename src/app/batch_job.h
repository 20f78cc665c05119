// The record of one conversion run: what to convert, where to, how to name it, and the
// report the run accumulates.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/shard.h"
#include "faxread/conversion_settings.h"
#include "pdfout/archive_level.h"
#include "pdfout/source_record.h"
#include "pdfout/tiff_copy_options.h"

namespace trelvane::app {

class RecognitionPool;

// A folder the walk could not read: its report line goes before the file that was
// collected at `position` (files.size(): after the last).
struct FolderProblem {
    size_t position = 0;
    std::string folder;
    int error = 0;  // errno
};

struct BatchJob {
    uint8_t keep_file_times = 0;
    uint8_t quiet = 0;
    uint8_t keep_extension = 0;
    int32_t include_subfolders = 0;
    int32_t keep_hierarchy = 0;
    int32_t job_mode = 0;  // 0 none, 1 folder, 2 single file
    int32_t skip_existing = 0;
    std::string filter;
    std::string source;
    std::string destination;
    std::string log_text;
    std::vector<std::string> files;
    pdfout::TiffCopyOptions copy_options;
    // The conversion options of this run, taken from the process-wide record when the run or
    // the window's pass starts: every reader copies these. The window may change the
    // process-wide record while files convert; a run never sees that.
    faxread::ConversionSettings settings;

    // Not part of the report: counts the WinFax files of this run that failed, so the
    // command line can say through its exit status whether everything converted.
    int32_t failed_files = 0;
    // PDF paths written in this run, so that two sources mapping to one name do not
    // silently replace each other.
    std::vector<std::string> written_pdfs;
    // Conversions at once in a folder run; 0: one per online processor.
    int32_t jobs = 0;
    // The share of a folder run's plan this run converts (/shard=K/N); whole by default.
    Shard shard;
    // Folders the walk could not read, in walk order.
    std::vector<FolderProblem> folder_problems;
    // Entries of files named like faxes that the walk found but will not read (a pipe, a link
    // that leads nowhere), by their relative name in files, with what they are: each gets its
    // failure line at its place in the run.
    std::map<std::string, std::string> unreadable_files;
    // Searchable PDFs (/ocr): an invisible text layer over every page, in these languages
    // (Tesseract's names joined by '+'; empty: English).
    int32_t ocr = 0;
    std::string ocr_languages;
    // Archive PDFs (/pdfa): PDF/A of this level; none: plain PDFs.
    pdfout::ArchiveLevel pdfa = pdfout::ArchiveLevel::kNone;
    // The run's recognition threads while a run with ocr is on; shared by the workers' copies.
    std::shared_ptr<RecognitionPool> recognition;
    // /verify: every PDF made is checked against its fax before it is put in place, and every
    // PDF skip_existing would keep before it is kept (pdf_verification.h).
    int32_t verify = 0;
    // /manifest=: the CSV file written when the run ends; when set, every outcome carries the
    // checksums of its fax and PDF (FileOutcome::checksums).
    std::string manifest_path;
    // With skip_existing: the fax being converted as convert_fax_file found it, which its PDF
    // records for the next run's up-to-date check. Set for each file; none without skip_existing.
    std::optional<pdfout::FaxSourceRecord> source_record;
};

// The languages a job recognises: its own, or English.
std::string ocr_languages_of(const BatchJob& job);

constexpr int32_t kJobModeNone = 0;
constexpr int32_t kJobModeFolder = 1;
constexpr int32_t kJobModeFile = 2;

void reset_batch_job(BatchJob& job);

// The process-wide conversion options every reader copies.
faxread::ConversionSettings& global_settings();

}  // namespace trelvane::app
