// One folder run shared out over several runs (/shard=K/N), as batch systems start them: the
// shares together give the PDFs of one run, each fax converted once, a killed share is completed
// by running it again with /skip, and a share that cannot be meant refuses to start.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "child_run_test.h"
#include "e2e_run.h"
#include "fax_fixtures.h"
#include "support/pdf_tools.h"

namespace trelvane::e2e {
namespace {

namespace fs = std::filesystem;
using testsupport::read_file;

class Shards : public ChildRunTest {
  protected:
    Shards() : ChildRunTest(300) {}
};

// The PDF's bytes with what differs from run to run (the dates of its information dictionary
// and its file identifier) overwritten in place, so that the rest compares byte for byte.
std::string without_dates_and_identifier(std::string pdf) {
    const auto blank = [&](const std::string& key, size_t length) {
        size_t at = pdf.find(key);
        ASSERT_NE(at, std::string::npos) << key;
        at += key.size();
        ASSERT_LE(at + length, pdf.size());
        pdf.replace(at, length, std::string(length, '#'));
    };
    blank("/CreationDate (D:", 14);
    blank("/ModDate (D:", 14);
    blank("/ID[<", 32);
    blank("><", 32);
    return pdf;
}

// The report lines of the one log record in the file (its stamp and separator taken off).
std::vector<std::string> record_lines(const std::string& log) {
    const std::string record = read_file(log);
    std::vector<std::string> lines;
    size_t at = record.find('\n') + 1;  // after the time stamp
    const size_t end = record.rfind(std::string(50, '-'));
    while (at < end) {
        const size_t line_end = record.find("\r\n", at);
        lines.push_back(record.substr(at, line_end - at));
        at = line_end + 2;
    }
    return lines;
}

bool is_file_line(const std::string& line) {
    return line.find(" --> ") != std::string::npos;
}

void replace_all(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
}

// Faxes whose PDF names clash in any case, in several folders, so that "(2)" and "(3)" depend
// on the whole walk; then enough plain ones to give every share several.
void write_clashing_tree(const std::string& in) {
    ASSERT_TRUE(fs::create_directories(in + "/sub/deep"));
    const std::vector<std::string> clashing = {"Invoice.fxs", "sub/invoice.fxs", "INVOICE.fxm",
                                               "memo.fxs", "sub/deep/Memo.fxr"};
    uint32_t seed = 1;
    for (const std::string& name : clashing)
        ASSERT_TRUE(write_small_fax(in + "/" + name, seed++, name));
    for (int i = 0; i < 13; ++i) {
        const std::string name =
            (i % 3 == 0 ? "sub/" : "") + std::string("fax") + std::to_string(1000 + i) + ".fxs";
        ASSERT_TRUE(write_small_fax(in + "/" + name, seed++, name));
    }
}

// Every share is started by GNU parallel at once, writing into one save folder; the PDFs are
// those of one run without shares (names and bytes but for dates and identifiers), and each
// share's report is the whole run's lines at its positions: each fax converted once, its "(2)"
// note naming the PDF the whole run gives that name.
TEST_F(Shards, FourSharesThroughGnuParallelMakeTheWholeRunsPdfs) {
    ASSERT_TRUE(testsupport::tool_available("parallel"))
        << "GNU parallel is needed (scripts/install-deps installs it)";
    const std::string in = dir.file("in");
    write_clashing_tree(in);
    const std::string whole = dir.file("whole");
    const std::string shared = dir.file("shared");

    const testsupport::ChildResult one =
        run({"/q", "/i", "/d=" + in, "/sd=" + whole, "/log=" + dir.file("whole.txt")});
    ASSERT_EQ(one.exit_code, 0) << one.err;

    const testsupport::ToolRun shares = testsupport::run_tool({"parallel",
                                                               "--will-cite",
                                                               "--halt",
                                                               "never",
                                                               "--joblog",
                                                               dir.file("jobs.txt"),
                                                               "-j",
                                                               "4",
                                                               "-q",
                                                               "env",
                                                               "TMPDIR=" + tmp.path(),
                                                               TRELVANE_EXE,
                                                               "/q",
                                                               "/i",
                                                               "/SHARD={}/4",
                                                               "/d=" + in,
                                                               "/sd=" + shared,
                                                               "/log=" + dir.file("log-{}.txt"),
                                                               ":::",
                                                               "1",
                                                               "2",
                                                               "3",
                                                               "4"});
    ASSERT_EQ(shares.exit_code, 0) << shares.output << read_file(dir.file("jobs.txt"));
    EXPECT_EQ(shares.output, "");

    const std::vector<std::string> pdfs = pdfs_below(whole);
    ASSERT_EQ(pdfs.size(), 18u);
    // INVOICE.fxm, Invoice.fxs, then sub/ (after MEMO.FXS, depth first): sub/deep/Memo.fxr and
    // sub/invoice.fxs.
    for (const char* numbered : {"Invoice (2).pdf", "invoice (3).pdf", "Memo (2).pdf"})
        EXPECT_EQ(std::count(pdfs.begin(), pdfs.end(), numbered), 1) << numbered;
    ASSERT_EQ(pdfs_below(shared), pdfs);
    for (const std::string& pdf : pdfs) {
        SCOPED_TRACE(pdf);
        const std::string ours = read_file(shared + "/" + pdf);
        EXPECT_EQ(without_dates_and_identifier(ours),
                  without_dates_and_identifier(read_file(whole + "/" + pdf)));
    }

    std::vector<std::string> whole_lines;
    for (const std::string& line : record_lines(dir.file("whole.txt"))) {
        if (is_file_line(line))
            whole_lines.push_back(line);
    }
    ASSERT_EQ(whole_lines.size(), pdfs.size());
    size_t converted = 0;
    std::set<std::string> plans;
    for (size_t k = 1; k <= 4; ++k) {
        SCOPED_TRACE("share " + std::to_string(k));
        const std::vector<std::string> lines =
            record_lines(dir.file("log-" + std::to_string(k) + ".txt"));
        std::vector<std::string> expected;
        for (size_t p = k - 1; p < whole_lines.size(); p += 4) {
            std::string line = whole_lines[p];
            replace_all(line, whole + "/", shared + "/");
            expected.push_back(line);
        }
        ASSERT_GE(lines.size(), 4u);
        const std::string shard_line = "Shard " + std::to_string(k) +
                                       " of 4: " + std::to_string(expected.size()) +
                                       " of the 18 WinFax files found (plan ";
        EXPECT_EQ(lines[3].substr(0, shard_line.size()), shard_line);
        plans.insert(lines[3].substr(shard_line.size()));
        const std::vector<std::string> mine(lines.begin() + 4, lines.end() - 3);
        EXPECT_EQ(mine, expected);
        EXPECT_EQ(lines.back(), "Total converted FAX files: " + std::to_string(expected.size()));
        converted += expected.size();
    }
    EXPECT_EQ(converted, pdfs.size());
    EXPECT_EQ(plans.size(), 1u) << "every share names the same plan";
}

void set_modified_an_hour_ago(const std::string& folder) {
    const auto hour_ago = std::chrono::duration_cast<std::chrono::seconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count() -
                          3600;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const timespec times[2] = {{hour_ago, 0}, {hour_ago, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, entry.path().c_str(), times, 0), 0);
    }
}

std::set<std::string> as_set(const std::vector<std::string>& names) {
    return {names.begin(), names.end()};
}

// A share killed outright (a node lost, a job over its time limit) keeps the PDFs it finished;
// running it again with /skip keeps those and converts the rest, and the three shares then hold
// exactly what one run makes.
TEST_F(Shards, KilledShareIsCompletedByRunningItAgain) {
    const std::string in = dir.file("in");
    write_fax_folder(in, 60);
    // Faxes that changed in the last seconds wait for the next run under /skip.
    set_modified_an_hour_ago(in);
    const std::string out = dir.file("out");
    const std::vector<std::string> share2 = {"/skip",    "/jobs=1",    "/shard=2/3",
                                             "/d=" + in, "/sd=" + out, "/log=" + log()};

    testsupport::ChildOptions killed;
    killed.args = share2;
    killed.signal_number = SIGKILL;
    killed.signal_mark = " : Success !";
    killed.signal_after_marks = 2;
    const testsupport::ChildResult first = run(killed);
    ASSERT_TRUE(first.signal_sent);
    if (first.signal != SIGKILL)
        GTEST_SKIP() << "the share finished before the signal reached it";
    const std::set<std::string> kept = as_set(pdfs_below(out));
    ASSERT_GE(kept.size(), 2u);
    ASSERT_LT(kept.size(), 20u);
    std::map<std::string, std::string> kept_bytes;
    for (const std::string& pdf : kept)
        kept_bytes[pdf] = read_file(out + "/" + pdf);
    EXPECT_TRUE(fs::is_empty(tmp.path()));

    const testsupport::ChildResult again = run(share2);
    ASSERT_EQ(again.exit_code, 0) << again.err;
    size_t skipped = 0;
    size_t converted = 0;
    for (size_t at = 0; (at = again.out.find(" --> ", at)) != std::string::npos; ++at) {
        const size_t line_start = again.out.rfind('\n', at) + 1;
        const std::string pdf =
            fs::path(again.out.substr(at + 5, again.out.find(" : ", at) - at - 5))
                .filename()
                .string();
        const std::string outcome = again.out.substr(again.out.find(" : ", at) + 3, 9);
        if (kept.contains(pdf)) {
            EXPECT_EQ(outcome, "Skipped :") << again.out.substr(line_start, 200);
            ++skipped;
        } else {
            EXPECT_EQ(outcome, "Success !") << again.out.substr(line_start, 200);
            ++converted;
        }
    }
    EXPECT_EQ(skipped, kept.size());
    EXPECT_EQ(skipped + converted, 20u);
    EXPECT_NE(again.out.find("Total converted FAX files: " + std::to_string(converted) + "\n"),
              std::string::npos);
    for (const auto& [pdf, bytes] : kept_bytes)
        EXPECT_EQ(read_file(out + "/" + pdf), bytes) << pdf << " was converted again";

    for (const char* share : {"/shard=1/3", "/shard=3/3"}) {
        const testsupport::ChildResult other =
            run({"/q", "/skip", share, "/d=" + in, "/sd=" + out, "/log=" + log()});
        EXPECT_EQ(other.exit_code, 0) << other.err;
    }
    const std::string whole = dir.file("whole");
    const testsupport::ChildResult one =
        run({"/q", "/skip", "/d=" + in, "/sd=" + whole, "/log=" + log()});
    ASSERT_EQ(one.exit_code, 0) << one.err;
    const std::vector<std::string> pdfs = pdfs_below(whole);
    ASSERT_EQ(pdfs.size(), 60u);
    ASSERT_EQ(pdfs_below(out), pdfs);
    for (const std::string& pdf : pdfs) {
        EXPECT_EQ(without_dates_and_identifier(read_file(out + "/" + pdf)),
                  without_dates_and_identifier(read_file(whole + "/" + pdf)))
            << pdf;
    }
}

// A share that cannot be meant would, ignored, have every run convert every fax, or none: it is
// refused before anything happens, with exit status 2 and no log record.
TEST_F(Shards, ShareThatCannotBeMeantIsRefused) {
    const std::string in = dir.file("in");
    write_fax_folder(in, 2);
    const std::string out = dir.file("out");
    const std::string limits =
        "; write /shard=K/N for run K of N over one folder, 1 <= K <= N <= 100000\n";
    const std::string folder_only =
        "trelvane: /shard= shares out a folder run: give /d=FOLDER and /sd=FOLDER, or leave "
        "/shard= out\n";
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"/shard=0/4"}, "trelvane: '/shard=0/4': K and N count from 1" + limits},
        {{"/Shard=/4"},
         "trelvane: '/Shard=/4': K is missing (is the variable that gives it set?)" + limits},
        {{"/shard"}, "trelvane: '/shard': the share goes after an equals sign" + limits},
        {{"/shard=1/2", "/shard=3/2"}, "trelvane: '/shard=3/2': K is greater than N" + limits},
        {{"/shard=1/4", "/f=" + in + "/fax1000.fxs", "/sf=" + out + "/a.pdf"}, folder_only},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        std::vector<std::string> args = c.args;
        if (args.size() == 1 || args[1].starts_with("/shard"))
            args.insert(args.end(), {"/d=" + in, "/sd=" + out});
        args.push_back("/log=" + log());
        const testsupport::ChildResult r = run(args);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
        EXPECT_FALSE(fs::exists(out));
        EXPECT_FALSE(fs::exists(log()));
    }
    // --help says how, and that a bad share stops the run.
    const testsupport::ChildResult help = run({"--help"});
    EXPECT_NE(help.out.find("\n  /shard=K/N "), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("a bad /shard="), std::string::npos) << help.out;
    // Without a save option there is no folder run to share, and no window either.
    const testsupport::ChildResult bare = run({"/shard=1/4", "/d=" + in});
    EXPECT_EQ(bare.exit_code, 2);
    EXPECT_EQ(bare.out, "");
    EXPECT_EQ(bare.err, folder_only);
}

// The text with the plan's fingerprint, which the shares compare, as "P".
std::string without_plan(const std::string& text) {
    return std::regex_replace(text, std::regex("\\(plan [0-9a-f]{16}\\)"), "(plan P)");
}

// A share with no file of its own still reports and exits 0; a source folder that cannot be
// read is every share's failure, since its faxes might have been any share's.
TEST_F(Shards, EveryShareReportsItsPartAndTheFoldersTheWalkCouldNotRead) {
    const std::string in = dir.file("in");
    write_fax_folder(in, 2);
    const std::string missing = dir.file("missing");
    const std::string out = dir.file("out");
    struct Case {
        std::string share;
        std::string source;
        std::string report;
        int status;
    };
    const Case cases[] = {
        {"3/3", in,
         folder_header(in, out) + "Shard 3 of 3: 0 of the 2 WinFax files found (plan P)\r\n" +
             folder_total(0),
         0},
        {"2/2", in,
         folder_header(in, out) + "Shard 2 of 2: 1 of the 2 WinFax files found (plan P)\r\n" +
             report_line(in + "/fax1001.fxs", out + "/fax1001.pdf", "Success !") + folder_total(1),
         0},
        {"2/3", missing,
         folder_header(missing, out) + "Shard 2 of 3: 0 of the 0 WinFax files found (plan P)\r\n" +
             "Failed to read folder: " + missing + " (No such file or directory)\r\n" +
             folder_total(0),
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.share + " of " + c.source);
        const testsupport::ChildResult r =
            run({"/shard=" + c.share, "/d=" + c.source, "/sd=" + out, "/log=" + log()});
        EXPECT_EQ(r.exit_code, c.status) << r.err;
        EXPECT_EQ(without_plan(r.out), "Please Wait...\n" + as_shown(c.report));
        EXPECT_EQ(without_plan(read_file(log()).substr(20)),
                  c.report + std::string(50, '-') + "\n");
        fs::remove(log());
    }
}

}  // namespace
}  // namespace trelvane::e2e
