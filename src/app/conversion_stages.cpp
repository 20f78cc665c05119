#include "app/conversion_stages.h"

#include "app/pipeline.h"
#include "app/process_paths.h"
#include "faxread/fax_reader.h"
#include "faxread/fax_type.h"
#include "pdfout/pdf_writer.h"
#include "pdfout/tiff_copy.h"
#include "platform/file_system.h"

namespace trelvane::app {

int run_conversion_stages(BatchJob& job, const std::string& source,
                          const std::string& destination) {
    // A pipe or a device would make the reader wait forever; only regular files are faxes.
    if (!platform::readable_file_size(source)) {
        job.log_text += "Failed : " + source + " - Not Fax\r\n";
        return kNotFax;
    }
    const ProcessPaths& paths = process_paths();
    faxread::FaxReader reader;
    reader.settings() = global_settings();
    reader.open_fax_file(source, faxread::kFaxTypeWinFax);
    if (!reader.is_fax()) {
        job.log_text += "Failed : " + source + " - Not Fax\r\n";
        return kNotFax;
    }
    const faxread::FaxMetadata& metadata = reader.metadata();
    if (reader.write_intermediate_tiff(paths.intermediate_tiff_path, faxread::kFaxTypeWinFax) !=
        0) {
        job.log_text += "Failed : " + source + " - Error Fax\r\n";
        return kFaxError;
    }
    if (pdfout::copy_tiff(paths.intermediate_tiff_path, paths.normalised_tiff_path,
                          job.copy_options) != 0) {
        job.log_text += "Failed : " + source + " - Error in prearing to pdf conversion\r\n";
        return kCopyStageFailed;
    }
    pdfout::PdfDocumentInfo info;
    info.title = metadata.title_text;
    info.subject = metadata.subject_text;
    info.author = metadata.author_text;
    if (pdfout::convert_tiff_to_pdf(paths.normalised_tiff_path, destination, 0, info) != 0) {
        job.log_text += "Failed : " + source + " - Error in converting to pdf\r\n";
        return kPdfWriterFailed;
    }
    return kConverted;
}

}  // namespace trelvane::app
