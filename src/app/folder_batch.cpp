#include "app/folder_batch.h"

#include <algorithm>

#include "app/pipeline.h"
#include "faxread/fax_type.h"
#include "platform/directory.h"
#include "platform/paths.h"

namespace trelvane::app {

namespace {

constexpr char kSeparator = platform::kPathSeparator;

void replace_all(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty())
        return;
    size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
}

bool already_written(const BatchJob& job, const std::string& path) {
    return std::find(job.written_pdfs.begin(), job.written_pdfs.end(), path) !=
           job.written_pdfs.end();
}

}  // namespace

void collect_fax_files(BatchJob& job, const std::string& folder, bool recurse) {
    std::string pattern = folder;
    if (pattern.empty() || pattern.back() != kSeparator)
        pattern += kSeparator;
    pattern += job.filter;

    for (const platform::DirectoryEntry& entry : platform::find_matching_entries(pattern)) {
        if (entry.name == "." || entry.name == "..")
            continue;
        const std::string path = folder + kSeparator + entry.name;
        if (entry.is_folder) {
            // Links to folders are not followed: they can lead back up the tree.
            if (recurse && !entry.is_link)
                collect_fax_files(job, path, recurse);
            continue;
        }
        if (entry.is_special)
            continue;
        const size_t prefix = job.source.size() + 1;
        const std::string relative = path.size() > prefix ? path.substr(prefix) : path;
        if (faxread::classify_fax_file(relative) == faxread::kFaxTypeWinFax) {
            job.files.push_back(relative);
        }
    }
}

std::string pdf_path_for(const BatchJob& job, const std::string& source_path) {
    std::string pdf_name = source_path;
    if (job.keep_extension == 0) {
        const size_t dot = pdf_name.rfind('.');
        if (dot != std::string::npos && dot > 0)
            pdf_name.resize(dot);
    }
    pdf_name += ".pdf";

    if (job.keep_hierarchy == 1) {
        replace_all(pdf_name, job.source, job.destination);
        return pdf_name;
    }
    const size_t last_separator = pdf_name.rfind(kSeparator);
    const std::string name = (last_separator == std::string::npos || last_separator == 0)
                                 ? pdf_name
                                 : pdf_name.substr(last_separator + 1);
    return job.destination + kSeparator + name;
}

std::string unclaimed_pdf_path(const BatchJob& job, const std::string& destination) {
    if (!already_written(job, destination))
        return destination;
    std::string stem = destination;
    std::string extension;
    const size_t dot = stem.rfind('.');
    const size_t last_separator = stem.rfind(kSeparator);
    if (dot != std::string::npos && (last_separator == std::string::npos || dot > last_separator)) {
        extension = stem.substr(dot);
        stem.resize(dot);
    }
    for (size_t n = 2;; ++n) {
        std::string candidate = stem + " (" + std::to_string(n) + ")" + extension;
        if (!already_written(job, candidate))
            return candidate;
    }
}

int convert_folder(BatchJob& job, const FolderProgress& progress) {
    if (job.destination.empty())
        return -1;

    job.log_text =
        "Vuvod Trelvane command line mode : convert folder\r\nSource Folder: " + job.source +
        "\r\nSave Folder: " + job.destination + "\r\n";
    job.skip_existing = 0;  // a folder run converts every file, overwriting older PDFs

    int converted = 0;
    const size_t total = job.files.size();
    for (size_t i = 0; i < total; ++i) {
        const std::string& relative = job.files[i];
        if (progress)
            progress(i, total, relative);
        const std::string source_path = job.source + kSeparator + relative;
        const std::string wanted = pdf_path_for(job, source_path);
        // Two sources mapping to one PDF would silently replace each other's output: same names
        // in different subfolders, or a.fxs beside a.fxm (also when the hierarchy is kept).
        const std::string destination = unclaimed_pdf_path(job, wanted);

        const int code = convert_fax_file(job, source_path, destination);
        if (code == kConverted)
            ++converted;
        if (destination != wanted && job.log_text.size() >= 2 &&
            job.log_text.compare(job.log_text.size() - 2, 2, "\r\n") == 0) {
            job.log_text.insert(job.log_text.size() - 2,
                                " (" + wanted + " was already written in this run)");
        }
    }
    if (progress)
        progress(total, total, std::string());

    job.log_text +=
        "\r\n---------\r\nTotal converted FAX files: " + std::to_string(converted) + "\r\n";
    return 0;
}

}  // namespace trelvane::app
