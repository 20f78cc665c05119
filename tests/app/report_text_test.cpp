// Every outcome a file can have, as its report line and its window row: one golden report,
// checked in, so that a change to any text the logs and scripts rely on shows in review.
#include "app/report_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/file_outcome.h"

namespace trelvane::app {
namespace {

const std::string kGolden =
    std::string(TRELVANE_SOURCE_DIR) + "/tests/app/golden/every_outcome.txt";

struct Labelled {
    std::string label;
    FileOutcome outcome;
};

FileOutcome converted(FileNotes notes = {}) {
    FileOutcome o = status_outcome("/in/a.fxs", "/out/a.pdf", FileStatus::Converted);
    o.notes = std::move(notes);
    return o;
}

FileOutcome failed(FileFailure failure, int error = 0, std::string detail = {}) {
    return failed_outcome("/in/a.fxs", "/out/a.pdf", failure, error, std::move(detail));
}

PageNote note_on(uint32_t page) {
    PageNote n;
    n.page = page;
    return n;
}

FileNotes every_page_note() {
    FileNotes notes;
    notes.pages_kept = 12;
    notes.pages_left_out = 3;
    PageNote n = note_on(0);
    n.damaged_lines = 1;
    notes.pages.push_back(n);
    n = note_on(1);
    n.damaged_lines = 4;
    n.data_cut_short = true;
    notes.pages.push_back(n);
    n = note_on(2);
    n.damaged_from_line = 99;
    n.file_cut_short = true;
    n.data_cut_short = true;
    notes.pages.push_back(n);
    n = note_on(3);
    n.lines_missing = 751;
    n.lines_declared = 1100;
    notes.pages.push_back(n);
    n = note_on(4);
    n.lines_beyond = 20;
    n.lines_declared = 2200;
    n.no_text_layer = true;
    notes.pages.push_back(n);
    n = note_on(5);
    n.no_data = true;
    notes.pages.push_back(n);
    n = note_on(6);
    n.no_data = true;
    n.file_cut_short = true;
    notes.pages.push_back(n);
    n = note_on(7);
    n.unreadable = true;
    notes.pages.push_back(n);
    n = note_on(8);
    n.left_out = true;
    notes.pages.push_back(n);
    n = note_on(9);
    n.no_text_layer = true;
    notes.pages.push_back(n);
    return notes;
}

std::vector<Labelled> every_outcome() {
    std::vector<Labelled> all;
    all.push_back({"converted, every page whole", converted()});
    all.push_back({"converted, every kind of page note", converted(every_page_note())});
    FileNotes many;
    for (uint32_t page = 0; page < 23; ++page) {
        PageNote n = note_on(page);
        n.damaged_lines = 2;
        many.pages.push_back(n);
    }
    many.pages_kept = 23;
    all.push_back({"converted, more pages not whole than a line names", converted(many)});
    FileOutcome times = converted();
    times.times_error = EPERM;
    times.committed = true;
    all.push_back({"converted, file times not kept", times});
    FileOutcome renamed = converted();
    renamed.pdf = "/out/a (2).pdf";
    renamed.renamed_from = "/out/A.pdf";
    all.push_back({"converted under a numbered name", renamed});
    all.push_back({"skipped", status_outcome("/in/a.fxs", "/out/a.pdf", FileStatus::Skipped)});
    FileOutcome verified = converted(every_page_note());
    verified.notes.pages.resize(1);
    verified.verified = true;
    all.push_back({"converted and verified", verified});
    FileOutcome kept = status_outcome("/in/a.fxs", "/out/a.pdf", FileStatus::Skipped);
    kept.verified = true;
    all.push_back({"skipped and verified", kept});
    FileOutcome remade = converted();
    remade.verified = true;
    remade.earlier_mismatch = "page 2 differs from the fax from line 37 on";
    all.push_back({"converted again, the kept PDF did not match", remade});
    all.push_back({"new PDF did not match",
                   failed(FileFailure::NotVerified, 0, "the PDF has 1 pages, the fax 2")});
    FileOutcome stays = failed(FileFailure::FaxReader, ENOSPC);
    stays.earlier_mismatch = "the PDF has 1 pages, the fax 2";
    all.push_back({"failed, the kept PDF did not match", stays});
    all.push_back(
        {"not a WinFax file", status_outcome("/in/a.txt", "/out/a.pdf", FileStatus::NotWinFax)});
    all.push_back({"left for the next run",
                   status_outcome("/in/a.fxs", "/out/a.pdf", FileStatus::LeftForNextRun)});
    all.push_back({"left for the next pass",
                   status_outcome("/in/a.fxs", "/out/a.pdf", FileStatus::LeftForNextPass)});
    all.push_back({"folder not made", failed(FileFailure::FolderNotMade, ENOTDIR, "/out")});
    all.push_back({"not a fax", failed(FileFailure::NotFax)});
    all.push_back({"not a fax, unreadable", failed(FileFailure::NotFax, EACCES)});
    all.push_back({"not a fax, no file", failed(FileFailure::NotFax, 0, "a pipe, not a file")});
    all.push_back({"reader failed", failed(FileFailure::FaxReader, ENOENT)});
    all.push_back({"copy stage failed", failed(FileFailure::CopyStage, ENOSPC)});
    all.push_back(
        {"copy stage kept no page", failed(FileFailure::CopyStage, 0, "no page could be copied")});
    all.push_back({"PDF writer failed", failed(FileFailure::PdfWriter, EIO)});
    all.push_back({"PDF in the way of a WinFax file",
                   failed(FileFailure::PdfWriter, 0, "the PDF would replace a WinFax file")});
    all.push_back({"system ran short", failed(FileFailure::SystemShortage, EMFILE)});
    all.push_back({"exception", failed(FileFailure::Exception)});
    all.push_back({"pass cancelled before the file",
                   status_outcome("/in/a.fxs", "/out/a.pdf", FileStatus::CancelledBeforeStart)});
    all.push_back({"window closed before the file",
                   status_outcome("/in/a.fxs", "/out/a.pdf", FileStatus::ClosedBeforeStart)});
    all.push_back({"window closed during the file",
                   status_outcome("/in/a.fxs", "/out/a.pdf", FileStatus::ClosedWhileConverting)});
    FileOutcome odd = failed(FileFailure::NotFax);
    odd.source = "/in/a\r\nb.fxs";
    odd.pdf = "/out/a\r\nb.pdf";
    all.push_back({"names with line breaks", odd});
    return all;
}

std::string golden_report() {
    std::string report;
    for (const Labelled& l : every_outcome()) {
        const std::string line = report_line(l.outcome);
        report += "## " + l.label + " (code " + std::to_string(result_code(l.outcome)) +
                  (pdf_in_place(l.outcome) ? ", PDF in place" : "") + ")\n";
        // Every line but a non-WinFax file's is one CR LF line.
        if (!line.empty()) {
            EXPECT_TRUE(line.ends_with("\r\n")) << l.label;
            EXPECT_EQ(line.find_first_of("\r\n"), line.size() - 2) << l.label;
            report += line.substr(0, line.size() - 2) + "\n";
        }
        report += "row: " + row_text(l.outcome) + "\n";
    }
    return report;
}

TEST(ReportText, EveryOutcomeReadsAsTheGoldenReport) {
    const std::string report = golden_report();
    if (std::getenv("TRELVANE_WRITE_GOLDEN") != nullptr)
        std::ofstream(kGolden, std::ios::binary) << report;
    std::ifstream in(kGolden, std::ios::binary);
    ASSERT_TRUE(in) << kGolden;
    std::ostringstream golden;
    golden << in.rdbuf();
    EXPECT_EQ(report, golden.str())
        << "a report text changed; if that was meant, rewrite " << kGolden
        << " with TRELVANE_WRITE_GOLDEN=1 and review the difference";
}

bool stopped_before_done(FileStatus status) {
    return status == FileStatus::CancelledBeforeStart || status == FileStatus::ClosedBeforeStart ||
           status == FileStatus::ClosedWhileConverting;
}

// What a caller of the result code must be able to tell apart. Outcomes that differ only in
// their detail, their reason or who left them (a run or a window pass) are one meaning.
std::string meaning_of(const FileOutcome& o) {
    if (o.status == FileStatus::LeftForNextRun || o.status == FileStatus::LeftForNextPass)
        return "left for later";
    if (stopped_before_done(o.status))
        return "stopped before done";
    return std::to_string(static_cast<int>(o.status)) + "/" +
           std::to_string(static_cast<int>(o.failure)) + (o.times_error != 0 ? "/times" : "");
}

// Each meaning has a code of its own, and only what was not converted as asked is a failure.
TEST(ReportText, EachMeaningHasACodeOfItsOwn) {
    std::map<int, std::string> meaning_with_code;
    std::map<std::string, int> code_of_meaning;
    for (const Labelled& l : every_outcome()) {
        const int code = result_code(l.outcome);
        const std::string meaning = meaning_of(l.outcome);
        EXPECT_EQ(meaning_with_code.emplace(code, meaning).first->second, meaning)
            << l.label << " shares code " << code;
        EXPECT_EQ(code_of_meaning.emplace(meaning, code).first->second, code) << l.label;
        EXPECT_EQ(is_failure(code), l.outcome.status == FileStatus::Failed ||
                                        l.outcome.times_error != 0 ||
                                        stopped_before_done(l.outcome.status))
            << l.label;
    }
}

}  // namespace
}  // namespace trelvane::app
