// What every end-to-end test of a conversion run needs: a private temporary folder for the
// program (which must be empty again after the run), a folder for faxes and PDFs, and the exact
// comparison of a run's report on standard output and in its log record.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run_binary.h"
#include "support/temp_dir.h"

namespace trelvane::e2e {

class ConversionRun : public ::testing::Test {
  protected:
    // Runs the program with TMPDIR set to tmp and /log= pointing at log_path().
    RunResult run(std::vector<std::string> args, const std::string& working_folder = {});
    std::string log_path() const { return dir.file("log.txt"); }
    // Names of what the program left in its temporary folder.
    std::vector<std::string> left_in_tmp() const;

    testsupport::TempDir tmp;
    testsupport::TempDir dir;
};

// The report as the console shows it: CR LF line ends become line feeds.
std::string as_shown(const std::string& report);

// The header of a folder run's report, and its closing lines.
std::string folder_header(const std::string& source, const std::string& destination);
std::string folder_total(int converted);
// One report line: source --> destination : outcome, CR LF.
std::string report_line(const std::string& source, const std::string& destination,
                        const std::string& outcome);
extern const char* const kSingleFileHeader;

// The run printed exactly the report (after "Please Wait...\n" for a folder run), or nothing
// when quiet,
// and the log holds exactly one record: a time stamp line, the report, the separator.
void expect_reported(const RunResult& run, const std::string& log_file, const std::string& report,
                     bool folder_run, bool quiet = false);

// The files of the folder tree (relative names), in the order a depth-first walk meets them
// when each folder lists its names as NTFS does: the order in which a folder run lists its files.
std::vector<std::string> walk_order(const std::string& root);

}  // namespace trelvane::e2e
