#include "app/folder_batch.h"

#include <algorithm>
#include <unordered_set>

#include "app/pipeline.h"
#include "app/printable_name.h"
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

// "name (n).pdf" for a path "name.pdf" (the number goes before the file name's extension).
std::string numbered_path(const std::string& path, size_t n) {
    std::string stem = path;
    std::string extension;
    const size_t dot = stem.rfind('.');
    const size_t last_separator = stem.rfind(kSeparator);
    if (dot != std::string::npos && (last_separator == std::string::npos || dot > last_separator)) {
        extension = stem.substr(dot);
        stem.resize(dot);
    }
    return stem + " (" + std::to_string(n) + ")" + extension;
}

template <typename Taken>
std::string first_free(const std::string& destination, const Taken& taken) {
    if (!taken(destination))
        return destination;
    for (size_t n = 2;; ++n) {
        std::string candidate = numbered_path(destination, n);
        if (!taken(candidate))
            return candidate;
    }
}

}  // namespace

void collect_fax_files(BatchJob& job, const std::string& folder, bool recurse) {
    std::string pattern = folder;
    if (pattern.empty() || pattern.back() != kSeparator)
        pattern += kSeparator;
    pattern += job.filter;

    int error = 0;
    const std::vector<platform::DirectoryEntry> entries =
        platform::find_matching_entries(pattern, &error);
    if (error != 0)
        job.folder_problems.push_back(FolderProblem{job.files.size(), folder, error});
    for (const platform::DirectoryEntry& entry : entries) {
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
    return first_free(destination, [&](const std::string& path) {
        return std::find(job.written_pdfs.begin(), job.written_pdfs.end(), path) !=
               job.written_pdfs.end();
    });
}

std::vector<PlannedFile> plan_conversions(const BatchJob& job, const std::string& source_folder) {
    std::vector<PlannedFile> plan;
    plan.reserve(job.files.size());
    std::unordered_set<std::string> claimed;
    for (const std::string& relative : job.files) {
        PlannedFile file;
        file.source = source_folder + kSeparator + relative;
        file.wanted = pdf_path_for(job, file.source);
        file.destination =
            first_free(file.wanted, [&](const std::string& path) { return claimed.contains(path); });
        claimed.insert(file.destination);
        plan.push_back(std::move(file));
    }
    return plan;
}

std::string folder_header(const BatchJob& job) {
    return "Vuvod Trelvane command line mode : convert folder\r\nSource Folder: " +
           printable_name(job.source) + "\r\nSave Folder: " + printable_name(job.destination) +
           "\r\n";
}

std::string folder_total(int converted) {
    return "\r\n---------\r\nTotal converted FAX files: " + std::to_string(converted) + "\r\n";
}

int convert_folder(BatchJob& job, const RunHooks& hooks) {
    BatchRun run;
    RunOutcome outcome;
    return convert_folder(job, run, hooks, outcome);
}

int convert_folder(BatchJob& job, BatchRun& run, const RunHooks& hooks, RunOutcome& outcome) {
    if (job.destination.empty())
        return -1;
    job.log_text = folder_header(job);
    if (hooks.report)
        hooks.report(job.log_text);
    outcome = run.run(job, plan_conversions(job, job.source), hooks);
    if (outcome.workspace_error == 0) {
        const std::string total = folder_total(outcome.converted);
        job.log_text += total;
        if (hooks.report)
            hooks.report(total);
    }
    return 0;
}

}  // namespace trelvane::app
