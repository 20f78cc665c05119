#include "app/conversion_stages.h"

#include <algorithm>
#include <cerrno>
#include <optional>

#include "app/page_recognition.h"
#include "app/pipeline.h"
#include "app/printable_name.h"
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

int fail(BatchJob& job, const std::string& source, const char* what, int error_number, int code) {
    // "Not Fax (Too many open files)" would have the user give up on a good fax.
    if (is_system_shortage(error_number)) {
        what = "System error";
        code = kSystemFailed;
    }
    job.log_text += "Failed : " + printable_name(source) + " - " + what +
                    platform::system_message_suffix(error_number) + "\r\n";
    return code;
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

int run_conversion_stages(BatchJob& job, const std::string& source, const std::string& destination,
                          ConversionWorkspace& workspace, FileNotes& notes) {
    // A pipe or a device would make the reader wait forever; only regular files are faxes.
    int error = 0;
    if (!platform::readable_file_size(source, &error))
        return fail(job, source, "Not Fax", error, kNotFax);
    // An archive PDF carries the fax's date as it was before reading (and for 3b the file).
    std::optional<pdfout::FaxSourceRecord> fax;
    if (job.pdfa != pdfout::ArchiveLevel::kNone)
        fax = archived_fax(source);
    faxread::FaxReader reader;
    reader.settings() = job.settings;
    errno = 0;
    if (reader.open_fax_file(source, faxread::kFaxTypeWinFax) != faxread::FaxReader::kOk)
        return fail(job, source, "Not Fax", errno, kNotFax);
    if (!reader.is_fax())
        return fail(job, source, "Not Fax", 0, kNotFax);
    const faxread::FaxMetadata& metadata = reader.metadata();
    errno = 0;
    if (reader.write_intermediate_tiff(workspace.intermediate_tiff_path(), faxread::kFaxTypeWinFax,
                                       workspace.page_file_base()) != 0) {
        return fail(job, source, "Error Fax", errno, kFaxError);
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
        errno = 0;
        if (pdfout::copy_tiff(workspace.intermediate_tiff_path(), workspace.normalised_tiff_path(),
                              job.copy_options, {}, sink, hooks) != 0) {
            return fail(job, source, "Error in prearing to pdf conversion", sink.system_error(),
                        kCopyStageFailed);
        }
    }
    // A PDF needs a page; with every page left out the writer could only fail without a reason.
    const auto left_out =
        static_cast<size_t>(std::count_if(copied.pages.begin(), copied.pages.end(),
                                          [](const pdfout::CopiedPage& p) { return p.left_out; }));
    if (left_out >= reader.settings().page_count) {
        return fail(job, source, "Error in prearing to pdf conversion (no page could be copied)", 0,
                    kCopyStageFailed);
    }
    pdfout::PdfDocumentInfo info;
    info.title = metadata.title_text;
    info.subject = metadata.subject_text;
    info.author = metadata.author_text;
    info.source = job.source_record;
    info.archive = job.pdfa;
    info.fax = fax;
    pdfout::DiagnosticSink sink;
    errno = 0;
    if (recognition)
        recognition->copy_finished(copied);
    if (pdfout::convert_tiff_to_pdf(workspace.normalised_tiff_path(), destination, 0, info, sink,
                                    recognition ? &*recognition : nullptr) != 0) {
        // A reason of the writer's own (a fax too large for PDF/A-1) says what to do.
        const std::string what = sink.reason().empty()
                                     ? std::string("Error in converting to pdf")
                                     : "Error in converting to pdf (" + sink.reason() + ")";
        return fail(job, source, what.c_str(), sink.system_error(), kPdfWriterFailed);
    }
    notes = collect_page_notes(reader.page_statuses(), copied, reader.settings().page_count,
                               reader.pages_left_out(), reader.declared_lengths());
    if (recognition)
        add_pages_without_text(notes, recognition->pages_without_text());
    return kConverted;
}

}  // namespace trelvane::app
