#include "app/conversion_stages.h"

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

int fail(BatchJob& job, const std::string& source, const char* what, int error_number, int code) {
    job.log_text += "Failed : " + printable_name(source) + " - " + what +
                    platform::system_message_suffix(error_number) + "\r\n";
    return code;
}

}  // namespace

int run_conversion_stages(BatchJob& job, const std::string& source, const std::string& destination,
                          ConversionWorkspace& workspace, FileNotes& notes) {
    // A pipe or a device would make the reader wait forever; only regular files are faxes.
    int error = 0;
    if (!platform::readable_file_size(source, &error))
        return fail(job, source, "Not Fax", error, kNotFax);
    faxread::FaxReader reader;
    reader.settings() = global_settings();
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
    pdfout::PdfDocumentInfo info;
    info.title = metadata.title_text;
    info.subject = metadata.subject_text;
    info.author = metadata.author_text;
    pdfout::DiagnosticSink sink;
    errno = 0;
    if (recognition)
        recognition->copy_finished(copied);
    if (pdfout::convert_tiff_to_pdf(workspace.normalised_tiff_path(), destination, 0, info, sink,
                                    recognition ? &*recognition : nullptr) != 0) {
        return fail(job, source, "Error in converting to pdf", sink.system_error(),
                    kPdfWriterFailed);
    }
    notes = collect_page_notes(reader.page_statuses(), copied, reader.settings().page_count,
                               reader.pages_left_out());
    if (recognition)
        add_pages_without_text(notes, recognition->pages_without_text());
    return kConverted;
}

}  // namespace trelvane::app
