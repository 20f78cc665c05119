#include "app/conversion_stages.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

#include "app/page_recognition.h"
#include "app/pdf_verification.h"
#include "app/pipeline.h"
#include "app/process_paths.h"
#include "faxread/fax_reader.h"
#include "faxread/fax_type.h"
#include "pdfout/pdf_writer.h"
#include "pdfout/tiff_copy.h"
#include "platform/file_system.h"
#include "platform/system_error.h"

namespace trelvane::app {

namespace {

// Errors that say the system ran short, whatever file was being read or written.
bool is_system_shortage(int error_number) {
    switch (error_number) {
        case EMFILE:
        case ENFILE:
        case ENOMEM:
        case ENOBUFS:
            return true;
        default:
            return false;
    }
}

FileOutcome fail(const std::string& source, const std::string& destination, FileFailure failure,
                 int error_number, std::string detail = {}) {
    // "Not Fax (Too many open files)" would have the user give up on a good fax.
    if (is_system_shortage(error_number)) {
        failure = FileFailure::SystemShortage;
        detail.clear();
    }
    return failed_outcome(source, destination, failure, error_number, std::move(detail));
}

// The fax by its full path, with its size and modification time as they are now.
std::optional<pdfout::FaxSourceRecord> archived_fax(const std::string& source) {
    const std::optional<platform::FileTimes> times = platform::read_file_times(source);
    const std::optional<uint64_t> size = platform::readable_file_size(source);
    if (!times || !size)
        return std::nullopt;
    return pdfout::FaxSourceRecord{source, *size, times->modification_seconds,
                                   times->modification_nanoseconds};
}

}  // namespace

FileOutcome run_conversion_stages(const BatchJob& job, const std::string& source,
                                  const std::string& destination, ConversionWorkspace& workspace,
                                  platform::Sha256* pdf_hash) {
    // A pipe or a device would make the reader wait forever; only regular files are faxes.
    int error = 0;
    if (!platform::readable_file_size(source, &error))
        return fail(source, destination, FileFailure::NotFax, error);
    // An archive PDF carries the fax's date as it was before reading (and for 3b the file).
    std::optional<pdfout::FaxSourceRecord> fax;
    if (job.pdfa != pdfout::ArchiveLevel::kNone)
        fax = archived_fax(source);
    faxread::FaxReader reader;
    reader.settings() = job.settings;
    if (reader.open_fax_file(source, faxread::kFaxTypeWinFax) != faxread::FaxReader::kOk)
        return fail(source, destination, FileFailure::NotFax, reader.system_error());
    if (!reader.is_fax())
        return fail(source, destination, FileFailure::NotFax, 0);
    const faxread::FaxMetadata& metadata = reader.metadata();
    if (reader.write_intermediate_tiff(workspace.intermediate_tiff_path(), faxread::kFaxTypeWinFax,
                                       workspace.page_file_base()) != faxread::FaxReader::kOk) {
        return fail(source, destination, FileFailure::FaxReader, reader.system_error());
    }
    pdfout::TiffCopyReport copied;
    // With /ocr the copy stage hands each decoded page to recognition as it goes.
    std::optional<FileRecognition> recognition;
    if (job.recognition)
        recognition.emplace(*job.recognition);
    {
        pdfout::TiffCopyHooks hooks;
        hooks.report = &copied;
        if (recognition)
            hooks.observer = &*recognition;
        pdfout::DiagnosticSink sink;
        if (pdfout::copy_tiff(workspace.intermediate_tiff_path(), workspace.normalised_tiff_path(),
                              job.copy_options, {}, sink, hooks) != 0) {
            return fail(source, destination, FileFailure::CopyStage, sink.system_error());
        }
    }
    // A PDF needs a page; with every page left out the writer could only fail without a reason.
    const auto left_out =
        static_cast<size_t>(std::count_if(copied.pages.begin(), copied.pages.end(),
                                          [](const pdfout::CopiedPage& p) { return p.left_out; }));
    if (left_out >= reader.settings().page_count) {
        return fail(source, destination, FileFailure::CopyStage, 0, "no page could be copied");
    }
    pdfout::PdfDocumentInfo info;
    info.title = metadata.title_text;
    info.subject = metadata.subject_text;
    info.author = metadata.author_text;
    info.source = job.source_record;
    info.archive = job.pdfa;
    info.fax = fax;
    pdfout::DiagnosticSink sink;
    if (recognition)
        recognition->copy_finished(copied);
    // With /verify the finished PDF is read back and compared with the fax before it may
    // replace anything.
    std::string mismatch;
    pdfout::PdfCommitCheck check;
    if (job.verify != 0) {
        check = [&](int fd) {
            pdfout::PdfReadBack pdf;
            mismatch = pdf.open_descriptor(fd);
            if (mismatch.empty())
                mismatch = pdf_mismatch(source, pdf, job.settings, &copied);
            return mismatch;
        };
    }
    pdfout::PdfWriteOptions write;
    write.text = recognition ? &*recognition : nullptr;
    write.check = check;
    write.hash = pdf_hash;
    const int written = pdfout::convert_tiff_to_pdf(workspace.normalised_tiff_path(), destination,
                                                    0, info, sink, write);
    if (written == pdfout::kPdfNotVerified)
        return fail(source, destination, FileFailure::NotVerified, 0, mismatch);
    // A reason of the writer's own (a fax too large for PDF/A-1) says what to do.
    if (written != pdfout::kPdfOk)
        return fail(source, destination, FileFailure::PdfWriter, sink.system_error(),
                    sink.reason());
    FileOutcome outcome = status_outcome(source, destination, FileStatus::Converted);
    outcome.verified = job.verify != 0;
    FileNotes& notes = outcome.notes;
    notes = collect_page_notes(reader.page_statuses(), copied, reader.settings().page_count,
                               reader.pages_left_out(), reader.declared_lengths());
    if (recognition)
        add_pages_without_text(notes, recognition->pages_without_text());
    return outcome;
}

}  // namespace trelvane::app
