#include "gui/window_files.h"

#include "app/folder_batch.h"
#include "platform/file_system.h"
#include "platform/paths.h"

namespace trelvane::gui {

using platform::kPathSeparator;

namespace {

// A text that the unquoted form would split, or that would read as quoted.
bool needs_quotes(const std::string& text) {
    return text.empty() || text.find(' ') != std::string::npos ||
           text.find('"') != std::string::npos;
}

std::string quoted(const std::string& text) {
    return '"' + text + '"';
}

FileSelection single_file(const std::string& path) {
    FileSelection selection;
    const size_t last_sep = path.rfind(kPathSeparator);
    if (last_sep == std::string::npos) {
        selection.names.push_back(path);
    } else {
        selection.folder = path.substr(0, last_sep);
        selection.names.push_back(path.substr(last_sep + 1));
    }
    return selection;
}

// The quoted form: each text in quotes is one item, spaces included; a word outside quotes ends
// at a space, and a quote left open runs to the end.
std::vector<std::string> quoted_items(const std::string& text) {
    std::vector<std::string> items;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
        } else if (text[i] == '"') {
            size_t close = text.find('"', i + 1);
            if (close == std::string::npos) {
                close = text.size();
            }
            items.push_back(text.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            size_t end = text.find(' ', i);
            if (end == std::string::npos) {
                end = text.size();
            }
            items.push_back(text.substr(i, end - i));
            i = end;
        }
    }
    return items;
}

}  // namespace

std::string selection_text(const FileSelection& selection) {
    if (selection.names.size() == 1) {
        const std::string path = selection.folder + kPathSeparator + selection.names.front();
        return needs_quotes(path) ? quoted(path) : path;
    }
    bool quote = needs_quotes(selection.folder);
    for (const std::string& name : selection.names) {
        quote = quote || needs_quotes(name);
    }
    std::string text = quote ? quoted(selection.folder) : selection.folder;
    for (const std::string& name : selection.names) {
        text += ' ';
        text += quote ? quoted(name) : name;
    }
    return text;
}

FileSelection parse_selection_text(const std::string& source_text) {
    if (source_text.find('"') != std::string::npos) {
        std::vector<std::string> items = quoted_items(source_text);
        if (items.size() == 1) {
            return single_file(items.front());
        }
        FileSelection selection;
        if (!items.empty()) {
            selection.folder = items.front();
        }
        for (size_t i = 1; i < items.size(); ++i) {
            if (!items[i].empty()) {
                selection.names.push_back(std::move(items[i]));
            }
        }
        return selection;
    }
    const size_t first_space = source_text.find(' ');
    // A typed path that names a file is that file, spaces and all.
    if (first_space == std::string::npos || first_space == 0 ||
        platform::file_exists(source_text)) {
        return single_file(source_text);
    }
    FileSelection selection;
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

std::optional<FileSelection> selection_of_files(const std::vector<std::string>& paths,
                                                const std::string& current_folder) {
    std::vector<std::string> absolute;
    for (const std::string& path : paths) {
        if (path.empty()) {
            continue;
        }
        absolute.push_back(path.front() == kPathSeparator || current_folder.empty()
                               ? path
                               : current_folder + kPathSeparator + path);
    }
    if (absolute.empty()) {
        return std::nullopt;
    }
    // The deepest folder that holds them all.
    const std::string root(1, kPathSeparator);
    std::string folder = platform::folder_of(absolute.front());
    for (const std::string& path : absolute) {
        while (!folder.empty() && folder != root && !platform::path_below(path, folder)) {
            folder = platform::folder_of(folder);
        }
    }
    FileSelection selection;
    selection.folder = folder == root ? std::string() : folder;
    for (const std::string& path : absolute) {
        const auto below = folder.empty() ? std::nullopt : platform::path_below(path, folder);
        selection.names.emplace_back(below ? std::string(*below) : path);
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
