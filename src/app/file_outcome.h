// What became of one file of a run, as data: made by the conversion, carried by the pool to
// whoever reports it, and turned into text only by report_text.h. Nothing reads a file's
// outcome back out of its report line.
#pragma once

#include <optional>
#include <string>

#include "app/page_notes.h"

namespace trelvane::app {

// Result codes of convert_fax_file; each meaning has a value of its own.
constexpr int kConverted = 0;
constexpr int kSkippedExisting = 1;
// A fax left for the next run because it may still be being written: neither converted nor
// failed.
constexpr int kLeftForNextRun = 2;
constexpr int kNotWinFax = -1;
constexpr int kFolderFailed = -2;
constexpr int kNotFax = -5;
constexpr int kFaxError = -6;
constexpr int kCopyStageFailed = -7;
constexpr int kPdfWriterFailed = -8;
constexpr int kException = -9;
// The system ran short of what any conversion needs (descriptors, memory): nothing about the
// fax, which another run may convert.
constexpr int kSystemFailed = -10;
// Converted and its PDF in place, but the fax's file times could not be given to it. (Once the
// same -2 as a folder that could not be made; callers could not tell a PDF from none.)
constexpr int kFileTimesNotKept = -11;
// A window pass stopped before the file was converted.
constexpr int kNotConverted = -12;
// /verify: the new PDF did not hold the fax, so it was not put in place.
constexpr int kNotVerified = -13;

// True for the codes that mean a WinFax file was not converted as asked.
bool is_failure(int code);

enum class FileStatus {
    Converted,        // the PDF is in place (see FileOutcome::times_error)
    Skipped,          // an up-to-date PDF was kept
    NotWinFax,        // not a WinFax file: no line in the report
    LeftForNextRun,   // changed a moment ago; a command-line run with /skip leaves it
    LeftForNextPass,  // the same in the window's automatic pass
    Failed,           // see FileOutcome::failure
    // A window pass that stopped never converted it.
    CancelledBeforeStart,
    ClosedBeforeStart,
    ClosedWhileConverting,
};

// Where a failed conversion stopped.
enum class FileFailure {
    None,
    FolderNotMade,   // the PDF's folder could not be created; `detail` is the folder
    NotFax,          // the file could not be read as a fax (`detail`: what it is instead)
    FaxReader,       // the fax was read but its pages could not be written out
    CopyStage,       // the pages could not be normalised (`detail`: why, when known)
    PdfWriter,       // the PDF could not be written (`detail`: what is in its place)
    SystemShortage,  // the system ran short of descriptors or memory, whatever the stage
    Exception,       // a stage threw
    NotVerified,     // /verify: the new PDF does not hold the fax (`detail`: where it differs)
};

// What a manifest records of a file: its fax as the conversion read it, and the PDF it left.
struct FileChecksums {
    uint64_t source_bytes = 0;
    std::string source_sha256;  // empty: the fax could not be read
    int64_t source_modified_seconds = 0;
    uint32_t source_modified_nanoseconds = 0;
    uint32_t pages = 0;  // pages in the PDF, when it is known (converted or verified)
    bool pages_known = false;
    uint64_t pdf_bytes = 0;
    std::string pdf_sha256;  // empty: no PDF of this fax is there
};

struct FileOutcome {
    std::string source;  // the fax
    std::string pdf;     // its PDF path, as planned
    FileStatus status = FileStatus::NotWinFax;
    FileFailure failure = FileFailure::None;
    std::string detail;    // see FileFailure
    int system_error = 0;  // the operating system's reason for the failure, or 0
    // Converted: the pages that are not whole.
    FileNotes notes;
    // Converted, but the fax's file times could not be given to the PDF: the reason (never 0).
    int times_error = 0;
    // The PDF was put in place (also when the file then fails: its times not kept).
    bool committed = false;
    // /verify: the PDF (converted or kept) was checked against the fax and holds it.
    bool verified = false;
    // /verify with /skip: the PDF that was there did not hold the fax (what differed), so the
    // fax was converted again.
    std::string earlier_mismatch;
    // With a manifest: the checksums of the fax and the PDF.
    std::optional<FileChecksums> checksums;
    // The PDF the naming rule gave, when an earlier fax of the run holds that name and this
    // one's PDF was numbered instead ("name (2).pdf"): that earlier PDF, as it was claimed.
    std::optional<std::string> renamed_from;
};

// The outcome's result code (the table above).
int result_code(const FileOutcome& outcome);
// The PDF is there for the user to open: converted, or put in place by a conversion that then
// failed to keep the file times.
bool pdf_in_place(const FileOutcome& outcome);

// Outcomes with the paths filled in.
FileOutcome failed_outcome(const std::string& source, const std::string& pdf, FileFailure failure,
                           int system_error = 0, std::string detail = {});
FileOutcome status_outcome(const std::string& source, const std::string& pdf, FileStatus status);

}  // namespace trelvane::app
