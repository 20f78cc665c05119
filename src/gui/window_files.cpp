#include "gui/window_files.h"

#include "app/folder_batch.h"
#include "app/pipeline.h"
#include "app/printable_name.h"
#include "platform/paths.h"

namespace trelvane::gui {

using platform::kPathSeparator;

std::string selection_text(const FileSelection& selection) {
    if (selection.names.size() == 1) {
        return selection.folder + kPathSeparator + selection.names.front();
    }
    std::string text = selection.folder;
    for (const std::string& name : selection.names) {
        text += ' ';
        text += name;
    }
    return text;
}

FileSelection parse_selection_text(const std::string& source_text) {
    FileSelection selection;
    const size_t first_space = source_text.find(' ');
    if (first_space == std::string::npos || first_space == 0) {
        const size_t last_sep = source_text.rfind(kPathSeparator);
        if (last_sep == std::string::npos) {
            selection.names.push_back(source_text);
        } else {
            selection.folder = source_text.substr(0, last_sep);
            selection.names.push_back(source_text.substr(last_sep + 1));
        }
        return selection;
    }
    selection.folder = source_text.substr(0, first_space);
    size_t start = first_space + 1;
    while (start <= source_text.size()) {
        size_t end = source_text.find(' ', start);
        if (end == std::string::npos) {
            end = source_text.size();
        }
        if (end == start) {
            break;  // two spaces in a row, or a trailing space, end the list
        }
        selection.names.push_back(source_text.substr(start, end - start));
        start = end + 1;
    }
    return selection;
}

std::string collect_window_files(app::BatchJob& job, const WindowOptions& options,
                                 const std::string& source_text,
                                 const std::optional<FileSelection>& chosen) {
    job.files.clear();
    job.unreadable_files.clear();
    std::string source_folder;
    if (options.convert_mode == kConvertDirectory) {
        source_folder = source_text;
        job.source = source_folder;
        // An empty folder would make the walk start at the file-system root.
        if (!source_folder.empty()) {
            app::collect_fax_files(job, source_folder, options.subdir != 0);
        }
    } else {
        FileSelection selection = chosen && selection_text(*chosen) == source_text
                                      ? *chosen
                                      : parse_selection_text(source_text);
        source_folder = selection.folder;
        for (std::string& name : selection.names) {
            if (!name.empty()) {
                job.files.push_back(std::move(name));
            }
        }
    }
    job.source = source_folder;
    return source_folder;
}

std::string result_column_text(int result, std::string_view report_line,
                               const std::string& source_path, const std::string& pdf_path) {
    if (result == app::kSkippedExisting) {
        return std::string(kSkippedText);
    }
    if (result == app::kNotWinFax) {
        return std::string(kNotWinFaxText);
    }
    // The outcome is what follows the line head "source --> destination : ".
    std::string_view outcome = report_line;
    const std::string head = app::report_line_head(source_path, pdf_path);
    if (outcome.starts_with(head)) {
        outcome.remove_prefix(head.size());
    } else if (const size_t arrow = outcome.find(" --> "); arrow != std::string_view::npos) {
        const size_t colon = outcome.find(" : ", arrow);
        if (colon != std::string_view::npos) {
            outcome.remove_prefix(colon + 3);
        }
    }
    while (!outcome.empty() && (outcome.back() == '\n' || outcome.back() == '\r')) {
        outcome.remove_suffix(1);
    }
    if (result == app::kConverted) {
        // The pages that are not whole are named in the row as on the report line: a fax cut
        // short must not look the same as a whole one.
        constexpr std::string_view kSuccess = "Success !";
        if (outcome.starts_with(kSuccess) && outcome.size() > kSuccess.size())
            return std::string(kConvertedText) + std::string(outcome.substr(kSuccess.size()));
        return std::string(kConvertedText);
    }
    if (outcome.empty()) {
        return std::string(kNotWinFaxText);
    }
    // The reason is what matters in a narrow column; the source is in the row's first column.
    const std::string failed = "Failed : ";
    const std::string repeated = failed + app::printable_name(source_path) + " - ";
    if (outcome.starts_with(repeated) && outcome.size() > repeated.size()) {
        return failed + std::string(outcome.substr(repeated.size()));
    }
    return std::string(outcome);
}

}  // namespace trelvane::gui
