#include "e2e_run.h"

#include <algorithm>
#include <filesystem>
#include <regex>

namespace trelvane::e2e {

const char* const kSingleFileHeader = "Vuvod Trelvane command line mode : convert file\r\n";

RunResult ConversionRun::run(std::vector<std::string> args, const std::string& working_folder) {
    args.push_back("/log=" + log_path());
    return run_trelvane(args, {{"TMPDIR", tmp.path()}}, working_folder);
}

std::vector<std::string> ConversionRun::left_in_tmp() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(tmp.path()))
        names.push_back(entry.path().filename().string());
    return names;
}

std::string as_shown(const std::string& report) {
    std::string shown;
    for (size_t i = 0; i < report.size(); ++i) {
        if (report[i] == '\r' && i + 1 < report.size() && report[i + 1] == '\n')
            continue;
        shown += report[i];
    }
    return shown;
}

std::string folder_header(const std::string& source, const std::string& destination) {
    return "Vuvod Trelvane command line mode : convert folder\r\nSource Folder: " + source +
           "\r\nSave Folder: " + destination + "\r\n";
}

std::string folder_total(int converted) {
    return "\r\n---------\r\nTotal converted FAX files: " + std::to_string(converted) + "\r\n";
}

std::string report_line(const std::string& source, const std::string& destination,
                        const std::string& outcome) {
    return source + " --> " + destination + " : " + outcome + "\r\n";
}

void expect_reported(const RunResult& run, const std::string& log_file, const std::string& report,
                     bool folder_run, bool quiet) {
    std::string shown;
    if (folder_run && !quiet)
        shown += "Please Wait...\n";
    if (!quiet)
        shown += as_shown(report);
    EXPECT_EQ(run.out, shown);
    // A run with failures says so on standard error, with their number, and nothing else.
    size_t failures = 0;
    for (size_t at = 0; at < report.size();) {
        const size_t end = report.find("\r\n", at);
        const std::string line = report.substr(at, end - at);
        if (line.find(" : Failed") != std::string::npos ||
            line.find(" : Exception") != std::string::npos ||
            line.find(" : Success ! (file times not kept") != std::string::npos ||
            line.starts_with("Failed to read folder: ")) {
            ++failures;
        }
        at = end == std::string::npos ? report.size() : end + 2;
    }
    EXPECT_EQ(run.err, failures == 0 ? std::string()
                                     : "trelvane: " + std::to_string(failures) +
                                           " not converted; the report says why (it is also in " +
                                           log_file + ")\n");
    EXPECT_EQ(run.exit_code, failures == 0 ? 0 : 1);

    const std::string record = testsupport::read_file(log_file);
    const size_t stamp_length = 20;  // "YYYY-MM-DD hh:mm:ss\n"
    ASSERT_GE(record.size(), stamp_length) << record;
    EXPECT_TRUE(std::regex_match(record.substr(0, stamp_length),
                                 std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\n")))
        << record;
    EXPECT_EQ(record.substr(stamp_length), report + std::string(50, '-') + "\n");
}

namespace {

// Folders list their names as NTFS does: upper-cased, by code point (these tests use ASCII
// names), names differing only in case by their bytes.
bool listed_before(const std::string& a, const std::string& b) {
    const auto upper = [](std::string s) {
        for (char& c : s)
            c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        return s;
    };
    const std::string ua = upper(a), ub = upper(b);
    return ua != ub ? ua < ub : a < b;
}

void walk(const std::filesystem::path& root, const std::string& prefix,
          std::vector<std::string>& names) {
    std::vector<std::filesystem::directory_entry> entries;
    for (const auto& entry : std::filesystem::directory_iterator(root))
        entries.push_back(entry);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return listed_before(a.path().filename().string(), b.path().filename().string());
    });
    for (const auto& entry : entries) {
        const std::string name = prefix + entry.path().filename().string();
        if (entry.is_directory()) {
            walk(entry.path(), name + "/", names);
        } else {
            names.push_back(name);
        }
    }
}

}  // namespace

std::vector<std::string> walk_order(const std::string& root) {
    std::vector<std::string> names;
    walk(root, "", names);
    return names;
}

}  // namespace trelvane::e2e
