#include "app/pipeline.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <exception>
#include <optional>

#include "app/conversion_stages.h"
#include "app/pdf_verification.h"
#include "app/process_paths.h"
#include "app/report_text.h"
#include "faxread/fax_reader.h"
#include "faxread/fax_type.h"
#include "faxread/winfax_page_header.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/sha256.h"
#include "platform/system_error.h"

namespace trelvane::app {

namespace {

bool is_newer(const platform::FileTimes& a, const platform::FileTimes& b) {
    return a.modification_seconds != b.modification_seconds
               ? a.modification_seconds > b.modification_seconds
               : a.modification_nanoseconds > b.modification_nanoseconds;
}

}  // namespace

int convert_fax_file(BatchJob& job, const std::string& source, const std::string& destination) {
    return convert_fax_file(job, source, destination, default_workspace());
}

int convert_fax_file(BatchJob& job, const std::string& source, const std::string& destination,
                     ConversionWorkspace& workspace) {
    const FileOutcome outcome = convert_one_fax(job, source, destination, workspace);
    job.log_text += report_line(outcome);
    const int code = result_code(outcome);
    if (is_failure(code))
        ++job.failed_files;
    return code;
}

namespace {

// The pages a converted fax's PDF holds.
uint32_t pages_in_pdf(const FileNotes& notes) {
    const auto left_out = std::count_if(notes.pages.begin(), notes.pages.end(),
                                        [](const PageNote& n) { return n.left_out; });
    return notes.pages_kept - static_cast<uint32_t>(left_out);
}

FileOutcome convert_and_hash(BatchJob& job, const std::string& source,
                             const std::string& destination, ConversionWorkspace& workspace,
                             platform::Sha256* pdf_hash);

}  // namespace

FileOutcome convert_one_fax(BatchJob& job, const std::string& source,
                            const std::string& destination, ConversionWorkspace& workspace) {
    if (job.manifest_path.empty())
        return convert_and_hash(job, source, destination, workspace, nullptr);
    // The fax as the conversion takes it: its date first, then its bytes in one read.
    FileChecksums sums;
    if (const std::optional<platform::FileTimes> times = platform::read_file_times(source)) {
        sums.source_modified_seconds = times->modification_seconds;
        sums.source_modified_nanoseconds = static_cast<uint32_t>(times->modification_nanoseconds);
    }
    sums.source_sha256 = platform::file_sha256(source, sums.source_bytes).value_or("");
    // The PDF's checksum is taken as it is written; a kept one is read for it.
    platform::Sha256 pdf_hash;
    FileOutcome outcome = convert_and_hash(job, source, destination, workspace, &pdf_hash);
    if (outcome.status == FileStatus::NotWinFax)
        return outcome;
    if (outcome.status == FileStatus::Converted) {
        sums.pdf_bytes = pdf_hash.bytes();
        sums.pdf_sha256 = pdf_hash.hex_digest();
        sums.pages = pages_in_pdf(outcome.notes);
        sums.pages_known = true;
    } else if (outcome.status == FileStatus::Skipped) {
        sums.pdf_sha256 = platform::file_sha256(destination, sums.pdf_bytes).value_or("");
    }
    outcome.checksums = std::move(sums);
    return outcome;
}

namespace {

FileOutcome convert_and_hash(BatchJob& job, const std::string& source,
                             const std::string& destination, ConversionWorkspace& workspace,
                             platform::Sha256* pdf_hash) {
    if (faxread::classify_fax_file(source) != faxread::kFaxTypeWinFax)
        return status_outcome(source, destination, FileStatus::NotWinFax);

    // Renaming the PDF into place would destroy the fax itself (the same path, or the same
    // file through a link), and the fax is what the user cannot get back; another fax, a
    // device or a folder in the PDF's place is no less the user's.
    std::string in_the_way = pdf_target_problem(source, destination, job.settings);
    if (!in_the_way.empty())
        return failed_outcome(source, destination, FileFailure::PdfWriter, 0,
                              std::move(in_the_way));

    job.source_record.reset();
    std::string earlier_mismatch;
    if (job.skip_existing != 0) {
        // Looked at before the fax is read: should it change meanwhile, the PDF records the
        // older state and the next run converts it again.
        std::optional<pdfout::FaxSourceRecord> fax = fax_source_record(job, source);
        if (pdf_is_up_to_date(fax, source, destination)) {
            if (job.verify == 0)
                return status_outcome(source, destination, FileStatus::Skipped);
            // A PDF is kept only when it holds the fax; one that does not is made again.
            earlier_mismatch = pdf_file_mismatch(source, destination, job.settings);
            if (earlier_mismatch.empty()) {
                FileOutcome kept = status_outcome(source, destination, FileStatus::Skipped);
                kept.verified = true;
                return kept;
            }
        }
        job.source_record = std::move(fax);
    }

    // Folders made for this PDF are taken away again when it does not come to be, so failed
    // faxes leave no empty trees.
    platform::FolderClaim folder_claim;
    const size_t last_separator = destination.rfind(platform::kPathSeparator);
    if (last_separator != std::string::npos && last_separator > 0) {
        std::string folder = destination.substr(0, last_separator);
        int error = 0;
        if (!folder_claim.claim(folder, &error)) {
            return failed_outcome(source, destination, FileFailure::FolderNotMade, error,
                                  std::move(folder));
        }
    }

    // Reading the source moves its access time on; the PDF is to carry the one it had before.
    std::optional<platform::FileTimes> source_times;
    int source_times_error = 0;
    if (job.keep_file_times != 0)
        source_times = platform::read_file_times(source, &source_times_error);

    workspace.prepare_for(platform::readable_file_size(source).value_or(UINT64_MAX));
    FileOutcome outcome;
    try {
        outcome = run_conversion_stages(job, source, destination, workspace, pdf_hash);
    } catch (...) {
        // One bad file never ends a run.
        workspace.clear();
        return failed_outcome(source, destination, FileFailure::Exception);
    }
    workspace.clear();
    outcome.earlier_mismatch = std::move(earlier_mismatch);
    if (outcome.status != FileStatus::Converted)
        return outcome;

    job.written_pdfs.push_back(destination);
    if (job.keep_file_times != 0) {
        int error = source_times_error;
        if (!source_times || !platform::set_file_times(destination, *source_times, &error))
            outcome.times_error = error != 0 ? error : EIO;
    }
    return outcome;
}

}  // namespace

std::string pdf_target_problem(const std::string& source, const std::string& destination,
                               const faxread::ConversionSettings& settings) {
    if (platform::same_file(source, destination))
        return "the PDF would replace the fax file itself";
    const platform::FileKind kind = platform::file_kind(destination);
    switch (kind) {
        case platform::FileKind::Missing:
        case platform::FileKind::Unknown:
            return {};
        case platform::FileKind::Regular:
            break;
        case platform::FileKind::Folder:
            return platform::system_message(EISDIR);
        default:
            return std::string("the PDF would replace ") + platform::file_kind_name(kind);
    }
    if (faxread::classify_fax_file(destination) == faxread::kFaxTypeWinFax ||
        is_winfax_file(destination, settings))
        return "the PDF would replace a WinFax file";
    return {};
}

bool is_winfax_file(const std::string& path, const faxread::ConversionSettings& settings) {
    // A page header starts with these two bytes; anything else (a PDF starts "%PDF") is not
    // read further.
    constexpr auto kSignature = faxread::WinFaxPageHeader::kSignature;
    const std::optional<std::string> start = platform::read_file_start(path, kSignature.size());
    if (!start || !std::equal(kSignature.begin(), kSignature.end(), start->begin(), start->end(),
                              [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }))
        return false;
    faxread::FaxReader reader;
    reader.settings() = settings;
    return reader.open_fax_file(path, faxread::kFaxTypeWinFax) == faxread::FaxReader::kOk &&
           reader.is_fax();
}

bool create_folder_path(const std::string& folder, int* error) {
    if (platform::folder_exists(folder))
        return true;
    // The root needs no creating, so every level below it is tried.
    const size_t last_separator = folder.rfind(platform::kPathSeparator);
    if (last_separator != std::string::npos && last_separator > 0) {
        create_folder_path(folder.substr(0, last_separator));
    }
    return platform::create_folder(folder, error);
}

bool pdf_exists(const std::string& path) {
    std::optional<uint64_t> size = platform::readable_file_size(path);
    return size && *size > 0;
}

std::optional<pdfout::FaxSourceRecord> fax_source_record(const BatchJob& job,
                                                         const std::string& source) {
    const std::optional<platform::FileTimes> times = platform::read_file_times(source);
    const std::optional<uint64_t> size = platform::readable_file_size(source);
    if (!times || !size)
        return std::nullopt;
    pdfout::FaxSourceRecord record;
    // Below the source folder, the record names the same fax whichever way the folder was
    // given (relative, absolute, with a trailing separator) and from the window too.
    record.path = source;
    if (job.job_mode != kJobModeFile) {
        const std::optional<std::string_view> below = platform::path_below(source, job.source);
        if (below && !below->empty()) {
            record.path = std::string(*below);
            // One form on every system, so that a tree converted on Windows is up to date for a
            // run on Linux over the same share, and the other way round.
            std::replace(record.path.begin(), record.path.end(), platform::kPathSeparator, '/');
        }
    }
    record.size = *size;
    record.modified_seconds = times->modification_seconds;
    record.modified_nanoseconds = times->modification_nanoseconds;
    return record;
}

bool pdf_is_up_to_date(const std::optional<pdfout::FaxSourceRecord>& fax, const std::string& source,
                       const std::string& pdf) {
    if (!fax || !pdf_exists(pdf))
        return false;
    // The PDF may be anything (another program's, damaged, a huge file): only its start is
    // read, and only a record in the form this program writes counts.
    const std::optional<std::string> start =
        platform::read_file_start(pdf, pdfout::kRecordSearchBytes);
    if (!start)
        return false;
    const pdfout::RecordLookup lookup = pdfout::find_source_record(*start);
    if (lookup.has_keys)
        return lookup.record == fax;
    const std::optional<platform::FileTimes> fax_times = platform::read_file_times(source);
    const std::optional<platform::FileTimes> pdf_times = platform::read_file_times(pdf);
    return fax_times && pdf_times && !is_newer(*fax_times, *pdf_times);
}

int copy_file_times(const std::string& source, const std::string& target) {
    return platform::copy_file_times(source, target) ? kConverted : kFolderFailed;
}

}  // namespace trelvane::app
