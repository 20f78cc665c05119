// /manifest= through the real program: the CSV read back by a parser of its own, every
// checksum against sha256sum, every row against the report.
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_run.h"
#include "fax_fixtures.h"

namespace trelvane::e2e {
namespace {

using testsupport::read_file;
using testsupport::write_file;

using ManifestE2e = ConversionRun;

// RFC 4180 records: fields split at commas outside quotes, "" inside quotes is a quote, CR LF
// ends a record.
std::vector<std::vector<std::string>> parse_csv(const std::string& text) {
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::string& field = records.back().back();
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            records.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            records.emplace_back(1);
        } else {
            field += c;
        }
    }
    if (records.back().size() == 1 && records.back()[0].empty())
        records.pop_back();
    return records;
}

std::string sha256sum(const std::string& path) {
    const testsupport::ToolRun run = testsupport::run_tool({"sha256sum", path});
    return run.exit_code == 0 ? run.output.substr(0, 64) : "sha256sum failed";
}

void set_modified_ago(const std::string& path, int64_t seconds) {
    const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    const timespec times[2] = {{now - seconds, 0}, {now - seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Each row says of its fax and its PDF what sha256sum and the file system say, in the order
// and with the words of the report.
void expect_manifest_matches(const std::string& manifest, const std::string& report,
                             const std::map<std::string, std::string>& result_of) {
    const std::vector<std::vector<std::string>> rows = parse_csv(read_file(manifest));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], (std::vector<std::string>{"source", "source_bytes", "source_sha256",
                                                 "source_modified", "pages", "result", "notes",
                                                 "pdf", "pdf_bytes", "pdf_sha256", "verified"}));
    size_t line_start = 0;
    for (size_t r = 1; r < rows.size(); ++r) {
        const std::vector<std::string>& row = rows[r];
        ASSERT_EQ(row.size(), 11u) << r;
        const std::string& source = row[0];
        SCOPED_TRACE(source);
        // The report's next file line is this row's: the same fax, PDF and words.
        line_start = report.find(source + " --> ", line_start);
        ASSERT_NE(line_start, std::string::npos);
        const size_t line_end = report.find("\r\n", line_start);
        EXPECT_EQ(report.substr(line_start, line_end - line_start),
                  source + " --> " + row[7] + " : " + row[6]);
        line_start = line_end;
        EXPECT_EQ(row[5], result_of.at(std::filesystem::path(source).filename()));
        EXPECT_EQ(row[1], std::to_string(std::filesystem::file_size(source)));
        EXPECT_EQ(row[2], sha256sum(source));
        EXPECT_EQ(row[3].size(), std::string("2024-05-01T10:20:30.123456789Z").size());
        if (row[5] == "failed") {
            EXPECT_EQ(row[9], "");
            continue;
        }
        EXPECT_EQ(row[8], std::to_string(std::filesystem::file_size(row[7])));
        EXPECT_EQ(row[9], sha256sum(row[7]));
        if (row[5] == "converted") {
            EXPECT_EQ(row[4], std::to_string(qpdf_page_count(row[7])));
        }
    }
    EXPECT_EQ(report.find(" --> ", line_start), std::string::npos) << "a file without a row";
}

TEST_F(ManifestE2e, RowsHoldTheChecksumsOfWhatWentInAndCameOut) {
    TRELVANE_REQUIRE_TOOL("qpdf");
    TRELVANE_REQUIRE_TOOL("sha256sum");
    const std::string in = dir.file("in");
    const std::string out = dir.file("out");
    ASSERT_TRUE(std::filesystem::create_directories(in));
    ASSERT_TRUE(write_small_fax(in + "/a.fxs", 1));
    ASSERT_TRUE(write_small_fax(in + "/with, \"quotes\".fxs", 2));  // a name CSV must quote
    ASSERT_TRUE(write_file(in + "/junk.fxr", "not a fax at all"));
    for (const auto& entry : std::filesystem::directory_iterator(in))
        set_modified_ago(entry.path().string(), 3600);
    const std::string manifest = dir.file("manifest.csv");

    RunResult r = run({"/d=" + in, "/sd=" + out, "/manifest=" + manifest, "/q"});
    EXPECT_EQ(r.exit_code, 1);  // junk.fxr failed
    expect_manifest_matches(
        manifest, read_file(log_path()),
        {{"a.fxs", "converted"}, {"with, \"quotes\".fxs", "converted"}, {"junk.fxr", "failed"}});

    // Kept PDFs are recorded as they are; /verify fills the last column.
    ASSERT_EQ(std::remove(log_path().c_str()), 0);
    r = run({"/d=" + in, "/sd=" + out, "/skip", "/verify", "/manifest=" + manifest, "/q"});
    expect_manifest_matches(
        manifest, read_file(log_path()),
        {{"a.fxs", "skipped"}, {"with, \"quotes\".fxs", "skipped"}, {"junk.fxr", "failed"}});
    const std::vector<std::vector<std::string>> rows = parse_csv(read_file(manifest));
    ASSERT_EQ(rows.size(), 4u);
    for (size_t i = 1; i < rows.size(); ++i)
        EXPECT_EQ(rows[i][10], rows[i][5] == "skipped" ? "yes" : "no");
}

// The manifest must not take the place of a fax.
TEST_F(ManifestE2e, AManifestOverAFaxIsRefusedBeforeAnything) {
    const std::string in = dir.file("in");
    ASSERT_TRUE(std::filesystem::create_directories(in));
    ASSERT_TRUE(write_small_fax(in + "/a.fxs", 1));
    const std::string before = read_file(in + "/a.fxs");
    const RunResult r = run({"/d=" + in, "/sd=" + dir.file("out"), "/manifest=" + in + "/a.fxs"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("the manifest " + in + "/a.fxs is a WinFax file"), std::string::npos)
        << r.err;
    EXPECT_EQ(read_file(in + "/a.fxs"), before);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
}

}  // namespace
}  // namespace trelvane::e2e
