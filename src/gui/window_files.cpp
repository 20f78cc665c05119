#include "gui/window_files.h"

#include "app/folder_batch.h"
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

}  // namespace trelvane::gui
