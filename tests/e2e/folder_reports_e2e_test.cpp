// Reports of real runs, byte for byte on the console and in the log, together with the PDFs
// the runs leave behind: single files, folders, names that collide, the walk's options.
#include <tiffio.h>

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "e2e_run.h"
#include "fax_fixtures.h"
#include "support/libtiff_codec.h"
#include "support/winfax_builder.h"

namespace trelvane::e2e {
namespace {

using testsupport::Coding;
using testsupport::read_file;
using testsupport::write_file;
namespace fs = std::filesystem;

bool exists(const std::string& path) {
    return fs::exists(path);
}

using SingleFileReports = ConversionRun;

TEST_F(SingleFileReports, ConvertedFile) {
    TRELVANE_REQUIRE_PDF_TOOLS();
    const std::vector<FaxPage> pages = {
        text_page(1728, 300, 1, Coding::Group3OneDimensional, kFine, "ACME quote 17"),
        text_page(1728, 200, 2, Coding::Group4, kStandard)};
    ASSERT_TRUE(write_fax_file(dir.file("quote.fxd"), pages));
    const std::string pdf = dir.file("pdf/2024/quote.pdf");  // folders created on the way

    const RunResult r = run({"/f=" + dir.file("quote.fxd"), "/sf=" + pdf});
    EXPECT_EQ(r.exit_code, 0);
    expect_reported(r, log_path(),
                    kSingleFileHeader + report_line(dir.file("quote.fxd"), pdf, "Success !"),
                    false);
    expect_pdf_holds(pdf, pages);
    EXPECT_TRUE(left_in_tmp().empty());
}

struct NotFaxCase {
    const char* name;
    std::string bytes;
};

TEST_F(SingleFileReports, FilesThatAreNotFaxes) {
    testsupport::WinFaxPage no_data;  // a valid header whose page holds no coded data
    no_data.length = 100;
    testsupport::WinFaxPage zero_data = no_data;  // coded data that decodes to no row
    zero_data.data.assign(600, 0);
    zero_data.coding = 1;
    const auto to_string = [](const std::vector<uint8_t>& v) {
        return std::string(v.begin(), v.end());
    };
    const NotFaxCase cases[] = {
        {"text.fxs", "Dear Sir, this is a letter and not a fax.\n"},
        {"empty.fxd", ""},
        {"header-only.fxm", to_string(testsupport::build_winfax({no_data}))},
        {"undecodable.fxr", to_string(testsupport::build_winfax({zero_data}))},
    };
    for (const NotFaxCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = dir.file(c.name);
        ASSERT_TRUE(write_file(source, c.bytes));
        const std::string pdf = dir.file("out.pdf");
        const RunResult r = run({"/f=" + source, "/sf=" + pdf});
        EXPECT_EQ(r.exit_code, 1);
        expect_reported(
            r, log_path(),
            kSingleFileHeader + report_line(source, pdf, "Failed : " + source + " - Not Fax"),
            false);
        EXPECT_FALSE(exists(pdf));
        EXPECT_TRUE(left_in_tmp().empty());
        fs::remove(log_path());
    }
}

TEST_F(SingleFileReports, MissingSourceIsNotAFax) {
    const std::string source = dir.file("never-there.fxs");
    const RunResult r = run({"/f=" + source, "/sf=" + dir.file("a.pdf")});
    EXPECT_EQ(r.exit_code, 1);
    expect_reported(r, log_path(),
                    kSingleFileHeader + report_line(source, dir.file("a.pdf"),
                                                    "Failed : " + source +
                                                        " - Not Fax (No such file or directory)"),
                    false);
}

TEST_F(SingleFileReports, DestinationFolderThatCannotBeCreated) {
    ASSERT_TRUE(write_fax_file(dir.file("a.fxs"), {text_page(1728, 100, 3)}));
    ASSERT_TRUE(write_file(dir.file("blocker"), "a file where a folder should be"));
    const std::string pdf = dir.file("blocker/sub/a.pdf");
    const RunResult r = run({"/f=" + dir.file("a.fxs"), "/sf=" + pdf});
    EXPECT_EQ(r.exit_code, 1);
    expect_reported(
        r, log_path(),
        kSingleFileHeader +
            report_line(dir.file("a.fxs"), pdf,
                        "Failed to create dir: " + dir.file("blocker/sub") + " (Not a directory)"),
        false);
    EXPECT_EQ(read_file(dir.file("blocker")), "a file where a folder should be");
}

TEST_F(SingleFileReports, DamagedPageDataConvertsWhatTheDataHoldsAndSaysSo) {
    TRELVANE_REQUIRE_PDF_TOOLS();
    // Page 2's code is overwritten from the middle on, and page 3 is cut short by the end of
    // the file. The PDF must show exactly what libtiff's own decoder recovers from that data,
    // and the line name both pages.
    const testsupport::Bitmap sources[] = {testsupport::text_like(1728, 200, 31),
                                           testsupport::text_like(1728, 400, 32),
                                           testsupport::text_like(1728, 400, 33)};
    const Coding codings[] = {Coding::Group4, Coding::Group4, Coding::Group3OneDimensional};
    std::vector<testsupport::WinFaxPage> fax_pages;
    std::vector<testsupport::CodedPage> coded;
    for (int i = 0; i < 3; ++i) {
        coded.push_back(testsupport::encode_page(sources[i], codings[i], 2));
        testsupport::WinFaxPage page;
        page.data = coded.back().data;
        page.length = static_cast<uint16_t>(sources[i].height);
        page.coding = codings[i] == Coding::Group4 ? 1 : 0;
        page.resolution = kFine;
        fax_pages.push_back(page);
    }
    fax_pages[0].title = "damaged";
    for (size_t b = coded[1].data.size() / 2; b < coded[1].data.size(); ++b)
        coded[1].data[b] = static_cast<uint8_t>(b * 131 + 7);
    fax_pages[1].data = coded[1].data;
    std::vector<uint8_t> file = testsupport::build_winfax(fax_pages);
    const size_t cut = coded[2].data.size() / 3;
    file.resize(file.size() - cut);
    coded[2].data.resize(coded[2].data.size() - cut);
    ASSERT_TRUE(write_file(dir.file("damaged.fxs"), std::string(file.begin(), file.end())));

    std::vector<FaxPage> expected;
    std::string notes[3];
    for (int i = 0; i < 3; ++i) {
        FaxPage page;
        page.resolution = kFine;
        // Rows libtiff cannot decode stay white, as in the program's copy stage.
        const testsupport::CodedPage& c = coded[static_cast<size_t>(i)];
        const testsupport::LibtiffDecode theirs =
            testsupport::libtiff_decode(c.data, c.width, c.height, c.coding, 2);
        page.bitmap = theirs.page;
        expected.push_back(page);
        notes[i] = libtiff_damage_note(theirs.messages, c.coding == Coding::Group4);
        const std::string missing = libtiff_missing_note(theirs.messages, c.height);
        if (!missing.empty())
            notes[i] += (notes[i].empty() ? "" : ", ") + missing;
    }
    expected[0].title = "damaged";
    ASSERT_NE(testsupport::first_difference(expected[1].bitmap, sources[1]), -1);
    ASSERT_NE(testsupport::first_difference(expected[2].bitmap, sources[2]), -1);
    EXPECT_EQ(notes[0], "");
    ASSERT_NE(notes[1], "");

    const std::string pdf = dir.file("damaged.pdf");
    const RunResult r = run({"/f=" + dir.file("damaged.fxs"), "/sf=" + pdf});
    EXPECT_EQ(r.exit_code, 0);
    const std::string said = "Success ! (page 2: " + notes[1] +
                             "; page 3: " + (notes[2].empty() ? "" : notes[2] + ", ") +
                             "file cut short)";
    expect_reported(r, log_path(),
                    kSingleFileHeader + report_line(dir.file("damaged.fxs"), pdf, said), false);
    expect_pdf_holds(pdf, expected);
}

TEST_F(SingleFileReports, SourceWithSpaces) {
    TRELVANE_REQUIRE_PDF_TOOLS();
    ASSERT_TRUE(fs::create_directory(dir.file("Fax In")));
    const std::vector<FaxPage> pages = {text_page(1728, 150, 4, Coding::Group4, kFine, "Spaces")};
    const std::string source = dir.file("Fax In/Offer May.fxs");
    ASSERT_TRUE(write_fax_file(source, pages));
    const std::string pdf = dir.file("PDF Out/Offer May.pdf");
    // The shell keeps each argument whole, spaces included; the program takes it as it stands.
    const RunResult r = run({"/f=" + source, "/sf=" + pdf});
    EXPECT_EQ(r.exit_code, 0);
    expect_reported(r, log_path(), kSingleFileHeader + report_line(source, pdf, "Success !"),
                    false);
    expect_pdf_holds(pdf, pages);
}

TEST_F(SingleFileReports, RelativePathsAreTakenFromTheCurrentFolder) {
    ASSERT_TRUE(write_small_fax(dir.file("here.fxs"), 5));
    const RunResult r = run({"/f=here.fxs", "/sf=there.pdf"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    expect_reported(r, log_path(),
                    kSingleFileHeader + report_line("here.fxs", "there.pdf", "Success !"), false);
    EXPECT_TRUE(exists(dir.file("there.pdf")));
}

// Names in a folder, sorted.
std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(SingleFileReports, PdfsAppearWholeOrNotAtAll) {
    ASSERT_TRUE(write_small_fax(dir.file("good.fxs"), 17));
    ASSERT_TRUE(write_file(dir.file("bad.fxs"), "no fax here"));
    const std::string out = dir.file("out");
    ASSERT_TRUE(fs::create_directory(out));
    ASSERT_TRUE(write_file(out + "/a.pdf", "older PDF"));
    ASSERT_TRUE(fs::create_directory(out + "/taken.pdf"));  // the writer cannot put a PDF there

    // A failed conversion leaves the older PDF as it was.
    EXPECT_EQ(run({"/q", "/f=" + dir.file("bad.fxs"), "/sf=" + out + "/a.pdf"}).exit_code, 1);
    EXPECT_EQ(read_file(out + "/a.pdf"), "older PDF");
    // A writer that fails leaves nothing of its own behind.
    fs::remove(log_path());
    const RunResult r = run({"/f=" + dir.file("good.fxs"), "/sf=" + out + "/taken.pdf"});
    EXPECT_EQ(r.exit_code, 1);
    expect_reported(r, log_path(),
                    kSingleFileHeader + report_line(dir.file("good.fxs"), out + "/taken.pdf",
                                                    "Failed : " + dir.file("good.fxs") +
                                                        " - Error in converting to pdf (Is a "
                                                        "directory)"),
                    false);
    EXPECT_EQ(names_in(out), (std::vector<std::string>{"a.pdf", "taken.pdf"}));
    // A good conversion replaces the older PDF, again without leftovers.
    EXPECT_EQ(run({"/q", "/f=" + dir.file("good.fxs"), "/sf=" + out + "/a.pdf"}).exit_code, 0);
    EXPECT_EQ(read_file(out + "/a.pdf").substr(0, 8), "%PDF-1.1");
    EXPECT_EQ(names_in(out), (std::vector<std::string>{"a.pdf", "taken.pdf"}));
    EXPECT_TRUE(left_in_tmp().empty());
}

using FolderReports = ConversionRun;

TEST_F(FolderReports, TwoFaxesAndATextFile) {
    TRELVANE_REQUIRE_PDF_TOOLS();
    const std::string in = dir.file("in");
    const std::string out = dir.file("out");
    ASSERT_TRUE(fs::create_directory(in));
    const std::vector<FaxPage> first = {text_page(1728, 200, 6, Coding::Group4, kFine, "first")};
    const std::vector<FaxPage> second = {
        text_page(2048, 150, 7, Coding::Group3OneDimensional, kStandard, "second"),
        text_page(2048, 150, 8, Coding::Group4, kSuperfine)};
    ASSERT_TRUE(write_fax_file(in + "/first.fxm", first));
    ASSERT_TRUE(write_fax_file(in + "/Second.FXS", second));
    ASSERT_TRUE(write_file(in + "/readme.txt", "not a fax"));

    const RunResult r = run({"/d=" + in, "/sd=" + out});
    EXPECT_EQ(r.exit_code, 0);
    std::string report = folder_header(in, out);
    for (const std::string& name : walk_order(in)) {
        if (name == "readme.txt")
            continue;  // no trace of other files
        const std::string stem = name.substr(0, name.rfind('.'));
        report += report_line(in + "/" + name, out + "/" + stem + ".pdf", "Success !");
    }
    report += folder_total(2);
    expect_reported(r, log_path(), report, true);
    EXPECT_EQ(pdfs_below(out), (std::vector<std::string>{"Second.pdf", "first.pdf"}));
    expect_pdf_holds(out + "/first.pdf", first);
    expect_pdf_holds(out + "/Second.pdf", second);
    EXPECT_TRUE(left_in_tmp().empty());
}

TEST_F(FolderReports, FailuresAmongGoodFilesAreCountedOut) {
    const std::string in = dir.file("in");
    const std::string out = dir.file("out");
    ASSERT_TRUE(fs::create_directory(in));
    ASSERT_TRUE(write_small_fax(in + "/good.fxs", 9));
    ASSERT_TRUE(write_file(in + "/junk.fxd", std::string(5000, '\x2a')));
    const RunResult r = run({"/q", "/d=" + in, "/sd=" + out});
    EXPECT_EQ(r.exit_code, 1);
    std::string report = folder_header(in, out);
    for (const std::string& name : walk_order(in)) {
        const std::string source = in + "/" + name;
        const std::string pdf = out + "/" + name.substr(0, name.rfind('.')) + ".pdf";
        report += report_line(
            source, pdf, name == "good.fxs" ? "Success !" : "Failed : " + source + " - Not Fax");
    }
    report += folder_total(1);
    expect_reported(r, log_path(), report, true, true);
    EXPECT_EQ(pdfs_below(out), std::vector<std::string>{"good.pdf"});
}

TEST_F(FolderReports, SaveFolderThatCannotBeCreated) {
    const std::string in = dir.file("in");
    ASSERT_TRUE(fs::create_directory(in));
    ASSERT_TRUE(write_small_fax(in + "/a.fxs", 10));
    ASSERT_TRUE(write_file(dir.file("blocker"), "x"));
    const std::string out = dir.file("blocker/out");
    const RunResult r = run({"/d=" + in, "/sd=" + out});
    EXPECT_EQ(r.exit_code, 1);
    expect_reported(r, log_path(),
                    folder_header(in, out) +
                        report_line(in + "/a.fxs", out + "/a.pdf",
                                    "Failed to create dir: " + out + " (Not a directory)") +
                        folder_total(0),
                    true);
}

TEST_F(FolderReports, EmptyFolderReportsATotalOfNothing) {
    ASSERT_TRUE(fs::create_directory(dir.file("empty")));
    const RunResult r = run({"/d=" + dir.file("empty"), "/sd=" + dir.file("out")});
    EXPECT_EQ(r.exit_code, 0);
    expect_reported(r, log_path(),
                    folder_header(dir.file("empty"), dir.file("out")) + folder_total(0), true);
}

// A source folder that is not there is a mistake in the command: nothing could start (exit
// status 2), and the report and the log say why, as does standard error.
TEST_F(FolderReports, MissingSourceFolderCannotStart) {
    ASSERT_TRUE(write_file(dir.file("a-file"), "x"));
    const std::pair<std::string, const char*> cases[] = {
        {dir.file("missing"), "No such file or directory"},
        {dir.file("a-file"), "Not a directory"}};
    for (const auto& [in, reason] : cases) {
        SCOPED_TRACE(in);
        const RunResult r = run({"/d=" + in, "/sd=" + dir.file("out")});
        EXPECT_EQ(r.exit_code, 2);
        const std::string report = folder_header(in, dir.file("out")) +
                                   "Failed to read folder: " + in + " (" + reason + ")\r\n" +
                                   folder_total(0);
        EXPECT_EQ(r.out, "Please Wait...\n" + as_shown(report));
        EXPECT_EQ(r.err, "trelvane: cannot read the source folder " + in + " (" + reason + ")\n");
        EXPECT_NE(read_file(log_path()).find(report), std::string::npos);
        EXPECT_FALSE(exists(dir.file("out")));
        fs::remove(log_path());
    }
}

// in/b.fxs, in/sub/b.fxs and in/sub/deep/b.fxr, each with its own title.
class SameNames : public ConversionRun {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fs::create_directories(in + "/sub/deep"));
        for (const char* name : {"b.fxs", "sub/b.fxs", "sub/deep/b.fxr"}) {
            ASSERT_TRUE(write_small_fax(in + "/" + name, 11, std::string("from ") + name));
        }
    }
    const std::string in = dir.file("in");
    const std::string out = dir.file("out");
};

TEST_F(SameNames, WithoutHierarchyLaterFilesAreNumbered) {
    TRELVANE_REQUIRE_TOOL("pdfinfo");
    const RunResult r = run({"/i", "/d=" + in, "/sd=" + out});
    EXPECT_EQ(r.exit_code, 0);
    std::string report = folder_header(in, out);
    std::vector<std::pair<std::string, std::string>> written;  // PDF, its source
    for (const std::string& name : walk_order(in)) {
        const std::string wanted = out + "/b.pdf";
        std::string pdf = wanted;
        std::string outcome = "Success !";
        if (!written.empty()) {
            pdf = out + "/b (" + std::to_string(written.size() + 1) + ").pdf";
            outcome += " (" + wanted + " is the PDF of an earlier fax in this run)";
        }
        report += report_line(in + "/" + name, pdf, outcome);
        written.emplace_back(pdf, name);
    }
    report += folder_total(3);
    expect_reported(r, log_path(), report, true);
    EXPECT_EQ(pdfs_below(out), (std::vector<std::string>{"b (2).pdf", "b (3).pdf", "b.pdf"}));
    for (const auto& [pdf, name] : written)
        EXPECT_EQ(title_of(pdf), "from " + name);  // nothing was overwritten
}

TEST_F(SameNames, WithHierarchyTheTreeIsMirrored) {
    TRELVANE_REQUIRE_TOOL("pdfinfo");
    const RunResult r = run({"/i", "/kh", "/d=" + in, "/sd=" + out});
    EXPECT_EQ(r.exit_code, 0);
    std::string report = folder_header(in, out);
    for (const std::string& name : walk_order(in)) {
        report += report_line(in + "/" + name, out + "/" + name.substr(0, name.rfind('.')) + ".pdf",
                              "Success !");
    }
    report += folder_total(3);
    expect_reported(r, log_path(), report, true);
    EXPECT_EQ(pdfs_below(out), (std::vector<std::string>{"b.pdf", "sub/b.pdf", "sub/deep/b.pdf"}));
    EXPECT_EQ(title_of(out + "/sub/deep/b.pdf"), "from sub/deep/b.fxr");
}

TEST_F(SameNames, WithHierarchyFilesDifferingOnlyInTheirExtensionAreNumbered) {
    TRELVANE_REQUIRE_TOOL("pdfinfo");
    ASSERT_TRUE(write_small_fax(in + "/sub/b.FXM", 18, "from sub/b.FXM"));
    const RunResult r = run({"/i", "/kh", "/d=" + in, "/sd=" + out});
    EXPECT_EQ(r.exit_code, 0);
    std::string report = folder_header(in, out);
    std::vector<std::pair<std::string, std::string>> written;  // PDF, its source
    bool sub_b_written = false;
    for (const std::string& name : walk_order(in)) {
        const std::string wanted = out + "/" + name.substr(0, name.rfind('.')) + ".pdf";
        std::string pdf = wanted;
        std::string outcome = "Success !";
        if (name.rfind("sub/b.", 0) == 0) {
            if (sub_b_written) {
                pdf = out + "/sub/b (2).pdf";
                outcome += " (" + wanted + " is the PDF of an earlier fax in this run)";
            }
            sub_b_written = true;
        }
        report += report_line(in + "/" + name, pdf, outcome);
        written.emplace_back(pdf, name);
    }
    report += folder_total(4);
    expect_reported(r, log_path(), report, true);
    EXPECT_EQ(pdfs_below(out),
              (std::vector<std::string>{"b.pdf", "sub/b (2).pdf", "sub/b.pdf", "sub/deep/b.pdf"}));
    for (const auto& [pdf, name] : written)
        EXPECT_EQ(title_of(pdf), "from " + name);  // nothing was overwritten
}

TEST_F(SameNames, WithoutSubfoldersOnlyTheTopLevelIsConverted) {
    const RunResult r = run({"/d=" + in, "/sd=" + out});
    EXPECT_EQ(r.exit_code, 0);
    expect_reported(r, log_path(),
                    folder_header(in, out) +
                        report_line(in + "/b.fxs", out + "/b.pdf", "Success !") + folder_total(1),
                    true);
}

TEST_F(SameNames, TrailingSeparatorOnTheSource) {
    // The source paths get a doubled separator; the PDF names are the same as without it.
    for (const bool hierarchy : {false, true}) {
        SCOPED_TRACE(hierarchy);
        std::vector<std::string> args = {"/i", "/d=" + in + "/", "/sd=" + out};
        if (hierarchy)
            args.push_back("/kh");
        const RunResult r = run(args);
        EXPECT_EQ(r.exit_code, 0);
        std::string report = folder_header(in + "/", out);
        int n = 0;
        for (const std::string& name : walk_order(in)) {
            std::string pdf = out + "/" + name.substr(0, name.rfind('.')) + ".pdf";
            std::string outcome = "Success !";
            if (!hierarchy) {
                pdf = n == 0 ? out + "/b.pdf" : out + "/b (" + std::to_string(n + 1) + ").pdf";
                if (n > 0)
                    outcome += " (" + out + "/b.pdf is the PDF of an earlier fax in this run)";
            }
            report += report_line(in + "//" + name, pdf, outcome);
            ++n;
        }
        report += folder_total(3);
        expect_reported(r, log_path(), report, true);
        fs::remove(log_path());
        fs::remove_all(out);
    }
}

TEST_F(FolderReports, FilterDoesNotEnterSubfoldersItDoesNotMatch) {
    const std::string in = dir.file("in");
    const std::string out = dir.file("out");
    ASSERT_TRUE(fs::create_directories(in + "/sub"));
    ASSERT_TRUE(fs::create_directories(in + "/archive.FXS"));  // a folder the filter matches
    for (const char* name :
         {"a.fxs", "b.fxd", "sub/c.fxs", "archive.FXS/d.fxs", "archive.FXS/e.fxm"})
        ASSERT_TRUE(write_small_fax(in + "/" + name, 12));
    const RunResult r = run({"/i", "/filter=*.fxs", "/d=" + in, "/sd=" + out});
    EXPECT_EQ(r.exit_code, 0);
    std::string report = folder_header(in, out);
    for (const std::string& name : walk_order(in)) {
        if (name != "a.fxs" && name != "archive.FXS/d.fxs")
            continue;
        const std::string base = name.substr(name.rfind('/') + 1);
        report += report_line(in + "/" + name, out + "/" + base.substr(0, 1) + ".pdf", "Success !");
    }
    report += folder_total(2);
    expect_reported(r, log_path(), report, true);
    EXPECT_EQ(pdfs_below(out), (std::vector<std::string>{"a.pdf", "d.pdf"}));
}

TEST_F(FolderReports, KeepExtension) {
    const std::string in = dir.file("in");
    const std::string out = dir.file("out");
    ASSERT_TRUE(fs::create_directory(in));
    ASSERT_TRUE(write_small_fax(in + "/a.fxs", 13));
    ASSERT_TRUE(write_small_fax(in + "/a.FXM", 14));  // same stem: two PDFs with /ke
    const RunResult r = run({"/ke", "/d=" + in, "/sd=" + out});
    EXPECT_EQ(r.exit_code, 0);
    std::string report = folder_header(in, out);
    for (const std::string& name : walk_order(in))
        report += report_line(in + "/" + name, out + "/" + name + ".pdf", "Success !");
    report += folder_total(2);
    expect_reported(r, log_path(), report, true);
    EXPECT_EQ(pdfs_below(out), (std::vector<std::string>{"a.FXM.pdf", "a.fxs.pdf"}));
}

TEST_F(FolderReports, SourceFolderWithSpaces) {
    const std::string in = dir.file("Fax In");
    const std::string out = dir.file("PDF Out");
    ASSERT_TRUE(fs::create_directory(in));
    ASSERT_TRUE(write_small_fax(in + "/Week 12.fxs", 15));
    const RunResult r = run({"/d=" + in, "/sd=" + out});
    EXPECT_EQ(r.exit_code, 0);
    expect_reported(r, log_path(),
                    folder_header(in, out) +
                        report_line(in + "/Week 12.fxs", out + "/Week 12.pdf", "Success !") +
                        folder_total(1),
                    true);
    EXPECT_TRUE(exists(out + "/Week 12.pdf"));
}

TEST_F(FolderReports, RunsKeepAppendingToTheLog) {
    const std::string in = dir.file("in");
    ASSERT_TRUE(fs::create_directory(in));
    ASSERT_TRUE(write_small_fax(in + "/a.fxs", 16));
    const RunResult first = run({"/q", "/d=" + in, "/sd=" + dir.file("out")});
    const std::string after_first = read_file(log_path());
    const RunResult second = run({"/q", "/f=" + in + "/a.fxs", "/sf=" + dir.file("one.pdf")});
    EXPECT_EQ(first.exit_code, 0);
    EXPECT_EQ(second.exit_code, 0);
    const std::string log = read_file(log_path());
    ASSERT_EQ(log.substr(0, after_first.size()), after_first);
    const std::string second_record = log.substr(after_first.size());
    EXPECT_EQ(second_record.substr(20),
              kSingleFileHeader + report_line(in + "/a.fxs", dir.file("one.pdf"), "Success !") +
                  std::string(50, '-') + "\n");
}

}  // namespace
}  // namespace trelvane::e2e
