// The options that change what a run does to the files (/l, /relines, /m=1), the exit status of
// every kind of run, and two runs at once.
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "e2e_run.h"
#include "fax_fixtures.h"
#include "support/winfax_builder.h"

namespace trelvane::e2e {
namespace {

using testsupport::Bitmap;
using testsupport::Coding;
using testsupport::read_file;
using testsupport::TempDir;
using testsupport::write_file;
namespace fs = std::filesystem;

struct Times {
    timespec access;
    timespec modification;
};

bool set_times(const std::string& path, const Times& t) {
    const timespec values[2] = {t.access, t.modification};
    return utimensat(AT_FDCWD, path.c_str(), values, 0) == 0;
}

Times times_of(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return {st.st_atim, st.st_mtim};
}

bool same(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

using KeepTimes = ConversionRun;

TEST_F(KeepTimes, PdfsCarryTheTimesTheSourcesHadBeforeTheRun) {
    const std::string in = dir.file("in");
    ASSERT_TRUE(fs::create_directory(in));
    // Access after modification and long ago: reading the file moves its access time on
    // (relatime), so a copy taken after the conversion would carry today's.
    const std::pair<const char*, Times> sources[] = {
        {"a.fxs", {{1200000000, 123456789}, {1100000000, 987654321}}},
        {"b.fxd", {{1300000000, 5}, {1000000000, 0}}},
    };
    for (const auto& [name, times] : sources) {
        ASSERT_TRUE(write_small_fax(in + "/" + name, 20));
        ASSERT_TRUE(set_times(in + "/" + name, times));
    }
    const RunResult r = run({"/q", "/l", "/d=" + in, "/sd=" + dir.file("out")});
    EXPECT_EQ(r.exit_code, 0);
    for (const auto& [name, times] : sources) {
        SCOPED_TRACE(name);
        const Times pdf = times_of(dir.file("out/") + std::string(name).substr(0, 1) + ".pdf");
        EXPECT_TRUE(same(pdf.modification, times.modification)) << pdf.modification.tv_sec;
        EXPECT_TRUE(same(pdf.access, times.access)) << pdf.access.tv_sec;
    }
    EXPECT_NE(read_file(log_path()).find("Total converted FAX files: 2\r\n"), std::string::npos);

    // A single-file run does the same.
    const Times single_times = {{1250000000, 0}, {1150000000, 0}};
    ASSERT_TRUE(set_times(in + "/a.fxs", single_times));
    const RunResult single = run({"/q", "/l", "/f=" + in + "/a.fxs", "/sf=" + dir.file("a.pdf")});
    EXPECT_EQ(single.exit_code, 0);
    const Times pdf = times_of(dir.file("a.pdf"));
    EXPECT_TRUE(same(pdf.modification, single_times.modification));
    EXPECT_TRUE(same(pdf.access, single_times.access)) << pdf.access.tv_sec;
}

TEST_F(KeepTimes, WithoutTheOptionPdfsAreNew) {
    ASSERT_TRUE(write_small_fax(dir.file("a.fxs"), 21));
    ASSERT_TRUE(set_times(dir.file("a.fxs"), {{1200000000, 0}, {1100000000, 0}}));
    const auto before = std::chrono::system_clock::now() - std::chrono::seconds(5);
    const RunResult r = run({"/q", "/f=" + dir.file("a.fxs"), "/sf=" + dir.file("a.pdf")});
    EXPECT_EQ(r.exit_code, 0);
    const Times pdf = times_of(dir.file("a.pdf"));
    EXPECT_GE(pdf.modification.tv_sec, std::chrono::system_clock::to_time_t(before));
}

// A one-page fax whose header gives `header_lines` while its data codes the bitmap's rows.
bool write_fax_with_header_lines(const std::string& path, const Bitmap& bitmap, Coding coding,
                                 uint16_t header_lines) {
    testsupport::WinFaxPage page;
    page.data = testsupport::encode_page(bitmap, coding, 2).data;
    page.width = static_cast<uint16_t>(bitmap.width);
    page.length = header_lines;
    page.coding = coding == Coding::Group4 ? 1 : 0;
    page.resolution = kFine;
    return testsupport::write_winfax(path, {page, page});
}

// The bitmap cut or padded with white rows to the given height.
Bitmap with_height(const Bitmap& bitmap, int height) {
    Bitmap out(bitmap.width, height);
    const size_t rows = static_cast<size_t>(std::min(height, bitmap.height));
    std::copy_n(bitmap.bits.begin(), rows * static_cast<size_t>(bitmap.row_bytes()),
                out.bits.begin());
    return out;
}

struct RelinesCase {
    Coding coding;
    int data_rows;
    uint16_t header_lines;
    int rows_without;  // the PDF page's rows without /relines
    int rows_with;     // and with it
};

using Relines = ConversionRun;

TEST_F(Relines, RecountedPagesAreAsLongAsTheirData) {
    TRELVANE_REQUIRE_PDF_TOOLS();
    const RelinesCase cases[] = {
        // The header promises more rows than the data holds: the rest would be white.
        {Coding::Group4, 300, 600, 600, 300},
        {Coding::Group3OneDimensional, 300, 600, 600, 300},
        // The data holds more rows than the header says: the header's count stands.
        {Coding::Group4, 300, 200, 200, 200},
        {Coding::Group3OneDimensional, 300, 200, 200, 200},
    };
    for (const RelinesCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.data_rows) + " rows, header " +
                     std::to_string(c.header_lines));
        const Bitmap bitmap = testsupport::text_like(1728, c.data_rows, 22);
        ASSERT_TRUE(
            write_fax_with_header_lines(dir.file("r.fxs"), bitmap, c.coding, c.header_lines));
        for (const bool relines : {false, true}) {
            std::vector<std::string> args = {"/q", "/f=" + dir.file("r.fxs"),
                                             "/sf=" + dir.file("r.pdf")};
            if (relines)
                args.insert(args.begin(), "/relines");
            const RunResult r = run(args);
            EXPECT_EQ(r.exit_code, 0);
            FaxPage page;
            page.bitmap = with_height(bitmap, relines ? c.rows_with : c.rows_without);
            page.resolution = kFine;
            expect_pdf_holds(dir.file("r.pdf"), {page, page});
        }
    }
}

using PageFileMode = ConversionRun;

TEST_F(PageFileMode, ConvertsAsUsualAndLeavesNoPageFilesBehind) {
    TRELVANE_REQUIRE_PDF_TOOLS();
    const std::vector<FaxPage> pages = {
        text_page(1728, 200, 23, Coding::Group4, kFine, "pages"),
        text_page(1728, 200, 24, Coding::Group3OneDimensional, kStandard),
        text_page(1728, 200, 25, Coding::Group4, kSuperfine)};
    const std::string in = dir.file("in");
    ASSERT_TRUE(fs::create_directory(in));
    ASSERT_TRUE(write_fax_file(in + "/three.fxs", pages));
    ASSERT_TRUE(write_small_fax(in + "/two.fxr", 26));

    const RunResult folder = run({"/q", "/m=1", "/d=" + in, "/sd=" + dir.file("out")});
    EXPECT_EQ(folder.exit_code, 0);
    expect_pdf_holds(dir.file("out/three.pdf"), pages);
    EXPECT_NE(read_file(log_path()).find("Total converted FAX files: 2\r\n"), std::string::npos);
    // The page files of both faxes went with the run.
    EXPECT_TRUE(left_in_tmp().empty());

    const RunResult single =
        run({"/q", "/m=1", "/f=" + in + "/three.fxs", "/sf=" + dir.file("single.pdf")});
    EXPECT_EQ(single.exit_code, 0);
    expect_pdf_holds(dir.file("single.pdf"), pages);
    EXPECT_TRUE(left_in_tmp().empty());
}

struct ExitCase {
    const char* what;
    std::vector<std::string> faxes;    // good WinFax files to make in "in"
    std::vector<std::string> damaged;  // files with a WinFax name but no fax inside
    bool single_file;                  // convert in/<first fax or damaged> alone
    int exit_code;
};

using ExitStatus = ConversionRun;

TEST_F(ExitStatus, ZeroOnlyWhenEveryWinFaxFileConverted) {
    const ExitCase cases[] = {
        {"folder, all good", {"a.fxs", "b.fxm"}, {}, false, 0},
        {"folder, one bad", {"a.fxs"}, {"b.fxm"}, false, 1},
        {"folder, nothing to convert", {}, {}, false, 0},
        {"single, good", {"a.fxs"}, {}, true, 0},
        {"single, not a fax", {}, {"b.fxm"}, true, 1},
    };
    for (const ExitCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir in;
        for (const std::string& name : c.faxes)
            ASSERT_TRUE(write_small_fax(in.file(name), 27));
        for (const std::string& name : c.damaged)
            ASSERT_TRUE(write_file(in.file(name), std::string(300, '\x0b')));
        std::vector<std::string> args = {"/q"};
        if (c.single_file) {
            const std::string name = c.faxes.empty() ? c.damaged.front() : c.faxes.front();
            args.push_back("/f=" + in.file(name));
            args.push_back("/sf=" + dir.file("single.pdf"));
        } else {
            args.push_back("/d=" + in.path());
            args.push_back("/sd=" + dir.file("out"));
        }
        EXPECT_EQ(run(args).exit_code, c.exit_code);
    }
}

// Splits a log into its records (each ends with the separator line).
std::vector<std::string> records_of(const std::string& log) {
    const std::string separator = std::string(50, '-') + "\n";
    std::vector<std::string> records;
    size_t start = 0;
    size_t end;
    while ((end = log.find(separator, start)) != std::string::npos) {
        records.push_back(log.substr(start, end + separator.size() - start));
        start = end + separator.size();
    }
    if (start != log.size())
        records.push_back(log.substr(start));
    return records;
}

using ConcurrentRuns = ConversionRun;

TEST_F(ConcurrentRuns, TwoRunsAtOnceBothProduceCorrectPdfs) {
    TRELVANE_REQUIRE_PDF_TOOLS();
    // Same temporary folder, same log: only the work files' unique names keep them apart.
    const int kFiles = 4;
    std::vector<FaxPage> pages[2][kFiles];
    for (int run_index = 0; run_index < 2; ++run_index) {
        const std::string in = dir.file("in" + std::to_string(run_index));
        ASSERT_TRUE(fs::create_directory(in));
        for (int f = 0; f < kFiles; ++f) {
            const auto seed = static_cast<uint32_t>(100 * run_index + 10 * f);
            pages[run_index][f] = {
                text_page(1728, 1100, seed, Coding::Group3OneDimensional, kFine,
                          "run " + std::to_string(run_index) + " file " + std::to_string(f)),
                text_page(2048, 800, seed + 1, Coding::Group4, kStandard)};
            ASSERT_TRUE(
                write_fax_file(in + "/f" + std::to_string(f) + ".fxs", pages[run_index][f]));
        }
    }
    RunResult results[2];
    std::thread runs[2];
    for (int i = 0; i < 2; ++i) {
        runs[i] = std::thread([this, i, &results] {
            results[i] = run({"/q", "/d=" + dir.file("in" + std::to_string(i)),
                              "/sd=" + dir.file("out" + std::to_string(i))});
        });
    }
    for (std::thread& t : runs)
        t.join();

    std::vector<std::string> expected_reports;
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(results[i].exit_code, 0);
        const std::string in = dir.file("in" + std::to_string(i));
        const std::string out = dir.file("out" + std::to_string(i));
        std::string report = folder_header(in, out);
        for (const std::string& name : walk_order(in)) {
            report += report_line(
                in + "/" + name, out + "/" + name.substr(0, name.rfind('.')) + ".pdf", "Success !");
        }
        expected_reports.push_back(report + folder_total(kFiles));
        for (int f = 0; f < kFiles; ++f)
            expect_pdf_holds(out + "/f" + std::to_string(f) + ".pdf", pages[i][f]);
    }
    // Two whole records, one per run, in either order.
    const std::vector<std::string> records = records_of(read_file(log_path()));
    ASSERT_EQ(records.size(), 2u);
    std::vector<std::string> reports;
    for (const std::string& record : records)
        reports.push_back(record.substr(20, record.size() - 20 - 51));
    if (reports[0] != expected_reports[0])
        std::swap(reports[0], reports[1]);
    EXPECT_EQ(reports, expected_reports);
    EXPECT_TRUE(left_in_tmp().empty());
}

}  // namespace
}  // namespace trelvane::e2e
