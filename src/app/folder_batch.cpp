#include "app/folder_batch.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "app/pipeline.h"
#include "app/printable_name.h"
#include "app/report_text.h"
#include "faxread/fax_type.h"
#include "platform/directory.h"
#include "platform/name_case.h"
#include "platform/paths.h"

namespace trelvane::app {

namespace {

constexpr char kSeparator = platform::kPathSeparator;

bool is_separator(char c) {
    return c == kSeparator;
}

// A relative path that stays below the folder it is joined to: not empty, and no ".." among
// its components (a chosen file of the window may be named "../x.fxs").
bool stays_below(std::string_view relative) {
    if (relative.empty())
        return false;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find(kSeparator, start);
        if (end == std::string_view::npos)
            end = relative.size();
        if (relative.substr(start, end - start) == "..")
            return false;
        start = end + 1;
    }
    return true;
}

std::string joined(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || !is_separator(path.back()))
        path += kSeparator;
    path += name;
    return path;
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

// PDF names compare without regard to case: on a share, FAT or NTFS, Invoice.pdf and
// invoice.pdf are one file, and a run must not depend on which file system it writes to.
class ClaimedNames {
  public:
    bool contains(const std::string& path) const {
        return holders_.contains(platform::name_case_key(path));
    }
    void insert(const std::string& path) { holders_.emplace(platform::name_case_key(path), path); }
    // The path, in the case it was claimed in, that holds the same name as `path`.
    const std::string& holder(const std::string& path) const {
        return holders_.at(platform::name_case_key(path));
    }

  private:
    std::unordered_map<std::string, std::string> holders_;  // name key -> the path as claimed
};

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

// What every share of a run must agree on, in 16 hex digits: the faxes (below the source
// folder) in walk order and their PDFs (below the save folder). Shares whose walks found
// different trees (faxes still arriving, another mount) can each be correct alone and still
// give one name to two faxes; comparing this in their reports finds that. FNV-1a is enough:
// it guards against accidents, not against anyone.
std::string plan_fingerprint(const BatchJob& job, const std::vector<PlannedFile>& plan) {
    constexpr uint64_t kOffsetBasis = 0xcbf29ce484222325ULL;
    constexpr uint64_t kPrime = 0x100000001b3ULL;
    uint64_t hash = kOffsetBasis;
    const auto add_byte = [&](unsigned char byte) {
        hash ^= byte;
        hash *= kPrime;
    };
    const auto add = [&](std::string_view text) {
        for (const char c : text)
            add_byte(static_cast<unsigned char>(c));
        add_byte(0);  // a field's end: "ab", "c" and "a", "bc" differ
    };
    for (size_t i = 0; i < plan.size() && i < job.files.size(); ++i) {
        add(job.files[i]);
        std::string_view pdf(plan[i].destination);
        pdf.remove_prefix(std::min(job.destination.size(), pdf.size()));
        while (!pdf.empty() && is_separator(pdf.front()))
            pdf.remove_prefix(1);
        add(pdf);
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
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
        const size_t prefix = job.source.size() + 1;
        const std::string relative = path.size() > prefix ? path.substr(prefix) : path;
        if (faxread::classify_fax_file(relative) != faxread::kFaxTypeWinFax)
            continue;
        job.files.push_back(relative);
        // A fax on a share that is not mounted (a link that leads nowhere), or a pipe named like
        // one, is not converted, but the report must say so: the user may count on it.
        if (entry.is_special)
            job.unreadable_files[relative] = entry.special_reason;
    }
}

std::string pdf_path_for(const BatchJob& job, const std::string& source_path) {
    // The extension is cut from the file name only: a dot in a folder's name, or the dot that
    // starts a name, is no extension.
    std::string pdf_name = source_path;
    const size_t name_start = pdf_name.rfind(kSeparator) + 1;  // 0 without a separator
    if (job.keep_extension == 0) {
        const size_t dot = pdf_name.rfind('.');
        if (dot != std::string::npos && dot > name_start)
            pdf_name.resize(dot);
    }
    pdf_name += ".pdf";

    // The hierarchy is the path below the source folder, put below the save folder. Only the
    // leading folder is replaced: the source's text may occur again further on ("fax/faxes/
    // fax1.fxs"), and a PDF must never land outside the save folder.
    if (job.keep_hierarchy == 1) {
        const std::optional<std::string_view> below = platform::path_below(pdf_name, job.source);
        if (below && stays_below(*below))
            return joined(job.destination, *below);
    }
    const std::string_view name = std::string_view(pdf_name).substr(pdf_name.rfind(kSeparator) + 1);
    return joined(job.destination, name);
}

std::string unclaimed_pdf_path(const BatchJob& job, const std::string& destination) {
    ClaimedNames written;
    for (const std::string& path : job.written_pdfs)
        written.insert(path);
    return first_free(destination, [&](const std::string& path) { return written.contains(path); });
}

std::vector<PlannedFile> plan_conversions(const BatchJob& job, const std::string& source_folder) {
    std::vector<PlannedFile> plan;
    plan.reserve(job.files.size());
    ClaimedNames claimed;
    for (const std::string& relative : job.files) {
        PlannedFile file;
        file.source = source_folder + kSeparator + relative;
        file.wanted = pdf_path_for(job, file.source);
        file.destination = file.wanted;
        // What will not be read claims no name: whether a share is mounted must not move the
        // names of the other faxes.
        if (const auto unreadable = job.unreadable_files.find(relative);
            unreadable != job.unreadable_files.end()) {
            file.unreadable = unreadable->second;
        } else {
            file.destination = first_free(
                file.wanted, [&](const std::string& path) { return claimed.contains(path); });
            // The note names the earlier fax's PDF as it is on the disk (Invoice.pdf, when this
            // fax wanted invoice.pdf).
            if (file.destination != file.wanted)
                file.wanted = claimed.holder(file.wanted);
            claimed.insert(file.destination);
        }
        plan.push_back(std::move(file));
    }
    return plan;
}

std::vector<PlannedFile> shard_of_plan(const Shard& shard, std::vector<PlannedFile> plan,
                                       std::vector<FolderProblem>& folder_problems) {
    if (shard.is_whole())
        return plan;
    std::vector<PlannedFile> taken;
    taken.reserve(plan.size() / shard.count + 1);
    for (size_t position = 0; position < plan.size(); ++position) {
        if (shard.takes(position))
            taken.push_back(std::move(plan[position]));
    }
    for (FolderProblem& problem : folder_problems)
        problem.position = shard.taken_before(problem.position);
    return taken;
}

std::string filter_mistake(const std::string& filter) {
    if (filter.empty()) {
        return "the file filter is empty (/filter= with nothing after it): give a pattern such "
               "as /filter=*.fxs, or leave the option out for every file";
    }
    if (filter.find('"') != std::string::npos) {
        return "the file filter " + printable_name(filter) +
               " holds quotes, which no fax's name has: quote the whole option for the shell "
               "instead ('/filter=*.fxs')";
    }
    return {};
}

std::string nothing_matched_warning(const BatchJob& job) {
    // The default filters take every name; a folder without faxes is then no news (a cron run
    // over an empty inbox).
    if (!job.files.empty() || !job.folder_problems.empty() || job.filter == "*.*" ||
        job.filter == "*") {
        return {};
    }
    return "no WinFax file (.fxd, .fxm, .fxr, .fxs) in " + printable_name(job.source) +
           (job.include_subfolders != 0 ? " or its subfolders" : "") + " matches the filter " +
           printable_name(job.filter) + "; nothing was converted";
}

int convert_folder(BatchJob& job, const RunHooks& hooks) {
    BatchRun run;
    RunOutcome outcome;
    return convert_folder(job, run, hooks, outcome);
}

int convert_folder(BatchJob& job, BatchRun& run, const RunHooks& hooks, RunOutcome& outcome) {
    if (job.destination.empty())
        return -1;
    job.log_text = folder_header(job.source, job.destination);
    if (hooks.report)
        hooks.report(job.log_text);
    // Names are decided over the whole walk, so a share's "(2)" is the one a whole run gives.
    std::vector<PlannedFile> plan = plan_conversions(job, job.source);
    if (!job.shard.is_whole()) {
        const size_t found = plan.size();
        const std::string fingerprint = plan_fingerprint(job, plan);
        plan = shard_of_plan(job.shard, std::move(plan), job.folder_problems);
        const std::string line =
            shard_line(job.shard.number, job.shard.count, plan.size(), found, fingerprint);
        job.log_text += line;
        if (hooks.report)
            hooks.report(line);
    }
    outcome = run.run(job, std::move(plan), hooks);
    if (outcome.workspace_error == 0) {
        const std::string total = folder_total(outcome.converted);
        job.log_text += total;
        if (hooks.report)
            hooks.report(total);
    }
    return 0;
}

}  // namespace trelvane::app
