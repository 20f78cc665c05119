#include "app/file_outcome.h"

#include <utility>

namespace trelvane::app {

namespace {

int failure_code(FileFailure failure) {
    switch (failure) {
        case FileFailure::FolderNotMade:
            return kFolderFailed;
        case FileFailure::NotFax:
            return kNotFax;
        case FileFailure::FaxReader:
            return kFaxError;
        case FileFailure::CopyStage:
            return kCopyStageFailed;
        case FileFailure::PdfWriter:
            return kPdfWriterFailed;
        case FileFailure::SystemShortage:
            return kSystemFailed;
        case FileFailure::NotVerified:
            return kNotVerified;
        case FileFailure::Exception:
        case FileFailure::None:
            break;
    }
    return kException;
}

}  // namespace

bool is_failure(int code) {
    return code != kConverted && code != kSkippedExisting && code != kNotWinFax &&
           code != kLeftForNextRun;
}

int result_code(const FileOutcome& outcome) {
    switch (outcome.status) {
        case FileStatus::Converted:
            return outcome.times_error != 0 ? kFileTimesNotKept : kConverted;
        case FileStatus::Skipped:
            return kSkippedExisting;
        case FileStatus::NotWinFax:
            return kNotWinFax;
        case FileStatus::LeftForNextRun:
        case FileStatus::LeftForNextPass:
            return kLeftForNextRun;
        case FileStatus::Failed:
            return failure_code(outcome.failure);
        case FileStatus::CancelledBeforeStart:
        case FileStatus::ClosedBeforeStart:
        case FileStatus::ClosedWhileConverting:
            break;
    }
    return kNotConverted;
}

bool pdf_in_place(const FileOutcome& outcome) {
    return outcome.status == FileStatus::Converted || outcome.committed;
}

FileOutcome failed_outcome(const std::string& source, const std::string& pdf, FileFailure failure,
                           int system_error, std::string detail) {
    FileOutcome outcome = status_outcome(source, pdf, FileStatus::Failed);
    outcome.failure = failure;
    outcome.system_error = system_error;
    outcome.detail = std::move(detail);
    return outcome;
}

FileOutcome status_outcome(const std::string& source, const std::string& pdf, FileStatus status) {
    FileOutcome outcome;
    outcome.source = source;
    outcome.pdf = pdf;
    outcome.status = status;
    return outcome;
}

}  // namespace trelvane::app
