// Sharing a folder run out: which values /shard= takes, and that the shares of a plan are the
// whole run's report cut apart, each file in exactly one share.
#include <set>

#include <gtest/gtest.h>

#include "app/batch_job.h"
#include "app/command_line.h"
#include "app/folder_batch.h"
#include "app/report_text.h"
#include "app/shard.h"

namespace trelvane::app {
namespace {

TEST(ReadShard, TakesOnlyKOfNWithinTheLimits) {
    struct Case {
        const char* value;
        const char* problem;  // empty: accepted
        uint32_t k, n;
    };
    const Case cases[] = {
        {"1/1", "", 1, 1},
        {"3/4", "", 3, 4},
        {"100000/100000", "", 100000, 100000},
        {"007/0010", "", 7, 10},
        {"4", "give the share as K/N", 0, 0},
        {"", "give the share as K/N", 0, 0},
        {"/4", "K is missing (is the variable that gives it set?)", 0, 0},
        {"2/", "N is missing (is the variable that gives it set?)", 0, 0},
        {"0/4", "K and N count from 1", 0, 0},
        {"1/0", "K and N count from 1", 0, 0},
        {"5/4", "K is greater than N", 0, 0},
        {"1/100001", "N may be at most 100000", 0, 0},
        {"1/99999999999999999999", "N may be at most 100000", 0, 0},
        {"99999999999/4", "K is greater than N", 0, 0},
        {"-1/4", "K and N are whole numbers", 0, 0},
        {"+1/4", "K and N are whole numbers", 0, 0},
        {"1/4/2", "K and N are whole numbers", 0, 0},
        {" 1/4", "K and N are whole numbers", 0, 0},
        {"1.5/4", "K and N are whole numbers", 0, 0},
        {"0x1/4", "K and N are whole numbers", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        Shard shard{9, 9};
        EXPECT_EQ(read_shard(c.value, shard), c.problem);
        if (std::string(c.problem).empty()) {
            EXPECT_EQ(shard.number, c.k);
            EXPECT_EQ(shard.count, c.n);
        } else {
            EXPECT_EQ(shard.number, 9u) << "a refused value changes nothing";
        }
    }
}

// The command line as one string (as Windows hands it over) takes /shard= as argv does.
TEST(ReadShard, CommandLineTextTakesTheShareOrRefusesTheRun) {
    struct Case {
        const char* text;
        int result;
        uint32_t k, n;
    };
    const Case cases[] = {
        {"/d=in /SHARD=2/4 /sd=out", kCommandLineAccepted, 2, 4},
        {"/shard=1/1 /f=a.fxs /sf=a.pdf", kCommandLineAccepted, 1, 1},
        {"/shard=3/2 /d=in /sd=out", kCommandLineRefused, 1, 1},
        {"/shard=2/4 /f=a.fxs /sf=a.pdf", kCommandLineRefused, 2, 4},
        {"/shard=2/4 /d=in", kCommandLineRefused, 2, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        BatchJob job;
        reset_batch_job(job);
        faxread::ConversionSettings settings;
        std::string log;
        EXPECT_EQ(parse_command_line(c.text, job, settings, log), c.result);
        EXPECT_EQ(job.shard.number, c.k);
        EXPECT_EQ(job.shard.count, c.n);
    }
}

// The lines of a report between its header and its total.
std::vector<std::string> body_lines(const std::string& report, size_t header_size) {
    std::vector<std::string> lines;
    const size_t end = report.rfind("\r\n---------\r\n");
    for (size_t at = header_size; at < end;) {
        const size_t line_end = report.find("\r\n", at) + 2;
        lines.push_back(report.substr(at, line_end - at));
        at = line_end;
    }
    return lines;
}

// Every share reports the folders the walk could not read (its files may have been its own), and
// its own files, each where the whole run has it: the whole run's lines with the other shares'
// files taken out. Names and "(2)" notes are those of the whole run.
TEST(ConvertFolder, SharesAreTheWholeRunCutApart) {
    BatchJob whole;
    reset_batch_job(whole);
    whole.source = "/in";
    whole.destination = "/out";
    whole.jobs = 2;
    whole.files = {"a.fxs", "sub/A.fxs", "b.fxs", "sub/b.fxd", "c.fxs", "B.fxm", "d.fxs"};
    const std::vector<FolderProblem> problems = {
        {0, "/in/locked", 13}, {2, "/in/x", 13}, {2, "/in/y", 5}, {7, "/in/z", 13}};
    whole.folder_problems = problems;
    RunHooks hooks;
    hooks.convert = [](BatchJob&, const std::string& source, const std::string& pdf,
                       ConversionWorkspace&) {
        return status_outcome(source, pdf, FileStatus::Converted);
    };
    ASSERT_EQ(convert_folder(whole, hooks), 0);
    const std::string header = folder_header("/in", "/out");
    const std::vector<std::string> whole_lines = body_lines(whole.log_text, header.size());
    ASSERT_EQ(whole_lines.size(), whole.files.size() + problems.size());
    ASSERT_NE(whole.log_text.find("/out/B (3).pdf : Success ! (/out/b.pdf is the PDF"),
              std::string::npos)
        << whole.log_text;

    std::set<std::string> fingerprints;
    for (uint32_t n : {2u, 3u, 7u, 9u}) {
        std::vector<int> converted_by(whole.files.size(), 0);
        for (uint32_t k = 1; k <= n; ++k) {
            SCOPED_TRACE(std::to_string(k) + "/" + std::to_string(n));
            BatchJob job = whole;
            job.log_text.clear();
            job.failed_files = 0;
            job.folder_problems = problems;
            job.shard = Shard{k, n};
            ASSERT_EQ(convert_folder(job, hooks), 0);

            std::vector<std::string> expected;
            size_t file = 0;
            for (const std::string& line : whole_lines) {
                const bool is_file = line.find(" --> ") != std::string::npos;
                if (!is_file || file % n == k - 1)
                    expected.push_back(line);
                if (is_file && file % n == k - 1)
                    ++converted_by[file];
                file += is_file ? 1 : 0;
            }
            const size_t mine = expected.size() - problems.size();
            const std::string line = "Shard " + std::to_string(k) + " of " + std::to_string(n) +
                                     ": " + std::to_string(mine) +
                                     " of the 7 WinFax files found (plan ";
            ASSERT_EQ(job.log_text.substr(0, header.size() + line.size()), header + line);
            const size_t line_end = job.log_text.find("\r\n", header.size()) + 2;
            fingerprints.insert(job.log_text.substr(header.size() + line.size(),
                                                    line_end - header.size() - line.size()));
            EXPECT_EQ(body_lines(job.log_text, line_end), expected);
            EXPECT_TRUE(job.log_text.ends_with(folder_total(static_cast<int>(mine))));
            EXPECT_EQ(job.failed_files, static_cast<int>(problems.size()));
        }
        EXPECT_EQ(converted_by, std::vector<int>(whole.files.size(), 1)) << n << " shares";
    }
    // One plan, one fingerprint; another tree, or other names for its PDFs, another.
    ASSERT_EQ(fingerprints.size(), 1u);
    EXPECT_EQ(fingerprints.begin()->size(), 16u + 3u);  // 16 hex digits, ")\r\n"
    const auto fingerprint_of = [&](BatchJob job) {
        job.shard = Shard{1, 2};
        job.log_text.clear();
        job.folder_problems.clear();
        convert_folder(job, hooks);
        const size_t at = job.log_text.find("(plan ") + 6;
        return job.log_text.substr(at, job.log_text.find(")", at) - at + 3);
    };
    EXPECT_EQ(fingerprint_of(whole), *fingerprints.begin());
    BatchJob arrived = whole;
    arrived.files.insert(arrived.files.begin() + 1, "new.fxs");
    BatchJob kept_extension = whole;
    kept_extension.keep_extension = 1;
    BatchJob moved = whole;
    moved.files[1] = "sub2/A.fxs";  // the same PDFs from another tree
    for (const BatchJob& other : {arrived, kept_extension, moved})
        EXPECT_NE(fingerprint_of(other), *fingerprints.begin());
}

}  // namespace
}  // namespace trelvane::app
