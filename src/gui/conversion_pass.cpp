#include "gui/conversion_pass.h"

#include "app/conversion_log.h"
#include "app/folder_batch.h"
#include "app/pipeline.h"
#include "gui/window_files.h"
#include "platform/file_system.h"
#include "platform/paths.h"

namespace trelvane::gui {

std::string done_status_text(int converted) {
    return "Done. " + std::to_string(converted) + " FAX files converted";
}

int run_conversion_pass(PassRequest& request, PassView& view, const std::atomic<bool>& stop) {
    app::BatchJob& job = request.job;
    const ConvertFunction convert =
        request.convert ? request.convert
                        : ConvertFunction([](app::BatchJob& j, const std::string& source,
                                             const std::string& pdf) {
                              return app::convert_fax_file(j, source, pdf);
                          });

    view.pass_started();
    job.keep_file_times = request.options.keep_date == 1 ? 1 : 0;
    job.destination = request.destination;
    job.source = request.source_folder;
    job.keep_extension = request.options.keep_ext != 0 ? 1 : 0;
    job.keep_hierarchy = request.options.hierarchy;
    job.written_pdfs.clear();
    if (!app::create_folder_path(request.destination)) {
        view.save_folder_failed();
    }
    job.log_text =
        "Vuvod Trelvane in GUI mode : convert folder\r\nSource Folder: " + request.source_folder +
        "\r\nDestination Folder: " + request.destination + "\r\n";

    int converted = 0;
    for (size_t i = 0; i < job.files.size() && !stop.load(); ++i) {
        const std::string source_path =
            request.source_folder + platform::kPathSeparator + job.files[i];
        // Named as the command line names them: two sources mapping to one PDF (same names in
        // different subfolders, or a.fxs beside a.fxm) must not replace each other's output.
        const std::string wanted = app::pdf_path_for(job, source_path);
        const std::string pdf_path = app::unclaimed_pdf_path(job, wanted);
        const int row = static_cast<int>(i);
        view.status_changed("Doing: " + source_path);
        view.file_started(row, source_path);

        const size_t report_size = job.log_text.size();
        const size_t written_before = job.written_pdfs.size();
        const int result = convert(job, source_path, pdf_path);
        // A PDF can be written and the file still not count as converted (its times could not
        // be kept); the row then still names the PDF.
        const bool written =
            job.written_pdfs.size() > written_before && job.written_pdfs.back() == pdf_path;
        const std::string result_text =
            written && result != app::kConverted
                ? std::string(kTimesNotKeptText)
                : result_column_text(result,
                                     std::string_view(job.log_text)
                                         .substr(std::min(report_size, job.log_text.size())),
                                     source_path, pdf_path);
        // Only a file that wrote a report line gets the note on its own line.
        if (pdf_path != wanted && job.log_text.size() > report_size &&
            job.log_text.ends_with("\r\n")) {
            job.log_text.insert(job.log_text.size() - 2,
                                " (" + wanted + " was already written in this run)");
        }
        if (result == app::kConverted) {
            ++converted;
        }
        view.file_finished(row, result == app::kConverted || written ? pdf_path : std::string(),
                           result_text);
    }

    view.status_changed(done_status_text(converted));
    if (!request.log_parent_folder.empty()) {
        platform::create_folder_chain(request.log_parent_folder);
    }
    app::append_log_record(request.log_path, job.log_text);
    view.pass_finished(converted);
    return converted;
}

}  // namespace trelvane::gui
