// Archive PDFs (/pdfa) through the real program, judged by readers we did not write: every
// PDF/A-1b output passes Apache PDFBox's Preflight; the 2b and 3b outputs pass the rules that
// scripts/check-pdfa reads through qpdf (no validator for those parts is installable), and
// hold the same pages as the validated 1b output; the images are those of the plain PDF and
// Ghostscript renders them to the fax's bitmaps; the fax inside a 3b PDF is the fax, byte for
// byte, as poppler's pdfdetach gives it back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/page_recognition.h"
#include "e2e_run.h"
#include "fax_fixtures.h"
#include "support/bitmap.h"
#include "support/winfax_builder.h"

namespace trelvane::e2e {
namespace {

using testsupport::Coding;
using testsupport::read_file;
using testsupport::run_tool;

const std::string kCheck = std::string(TRELVANE_SOURCE_DIR) + "/scripts/check-pdfa";

// scripts/check-pdfa with the arguments; its report goes into the failure message.
void expect_check(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {kCheck};
    argv.insert(argv.end(), args.begin(), args.end());
    const testsupport::ToolRun run = run_tool(argv);
    EXPECT_EQ(run.exit_code, 0) << "check-pdfa " << args[0] << " " << args[1] << ":\n"
                                << run.output;
}

// 2009-05-12 08:30:00 UTC: 10:30 in Berlin, where the runs below take place.
constexpr int64_t kFaxTime = 1242117000;
const std::map<std::string, std::string> kBerlin = {{"TZ", "Europe/Berlin"}};

void set_modification_time(const std::string& path, int64_t seconds) {
    const timespec times[2] = {{static_cast<time_t>(seconds), 0},
                               {static_cast<time_t>(seconds), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class ArchivePdfs : public ConversionRun {
  protected:
    // Converts the fax into name-LEVEL.pdf (name-plain.pdf without a level) and returns it.
    std::string convert(const std::string& fax, const std::string& level,
                        std::vector<std::string> extra = {}) {
        const std::string pdf = dir.file("out-" + (level.empty() ? "plain" : level) + ".pdf");
        std::vector<std::string> args = {"/q", "/f=" + fax, "/sf=" + pdf, "/log=" + log_path()};
        if (!level.empty())
            args.push_back("/pdfa=" + level);
        args.insert(args.end(), extra.begin(), extra.end());
        std::map<std::string, std::string> env = kBerlin;
        env["TMPDIR"] = tmp.path();
        const RunResult r = run_trelvane(args, env);
        EXPECT_EQ(r.exit_code, 0) << r.err << read_file(log_path());
        return pdf;
    }

    // The fax in all three levels and plain: 1b valid for Preflight, every level valid by
    // the rules (the fax's date, its bytes in 3b), and the same pages throughout.
    void expect_archives_of(const std::string& fax, std::vector<std::string> extra = {}) {
        const std::string plain = convert(fax, "", extra);
        const std::string one = convert(fax, "1b", extra);
        const std::string two = convert(fax, "2b", extra);
        const std::string three = convert(fax, "3b", extra);
        expect_check({"preflight", one});
        expect_check({"rules", "1b", one, fax});
        expect_check({"rules", "2b", two, fax});
        expect_check({"rules", "3b", three, fax});
        expect_check({"same-pages", one, plain});
        expect_check({"same-pages", one, two});
        expect_check({"same-pages", one, three});
    }

    void SetUp() override {
        for (const char* tool : {"qpdf", "java", "gs", "pdfdetach"}) {
            // CI installs all of them: a missing one fails rather than skips.
            ASSERT_TRUE(testsupport::tool_available(tool))
                << tool << " is not installed (scripts/install-deps installs it)";
        }
    }
};

struct FaxCase {
    const char* name;
    Coding coding;
    int pages;
    int height;
    bool damaged;
    bool ocr;
};

class ArchiveLevels : public ArchivePdfs, public ::testing::WithParamInterface<FaxCase> {};

TEST_P(ArchiveLevels, EveryLevelIsValidAndHoldsThePlainPages) {
    const FaxCase& c = GetParam();
    if (c.ocr && !app::recognition_available())
        GTEST_SKIP() << "built without text recognition (TRELVANE_OCR=OFF or no Tesseract)";
    std::vector<FaxPage> pages;
    for (int i = 0; i < c.pages; ++i) {
        pages.push_back(text_page(1728, c.height, 40 + static_cast<uint32_t>(i) % 7, c.coding,
                                  i % 2 == 0 ? kFine : kStandard,
                                  "Archive " + std::string(c.name)));
    }
    const std::string fax = dir.file(std::string(c.name) + ".fxs");
    ASSERT_TRUE(write_fax_file(fax, pages));
    if (c.damaged) {
        // Bytes garbled inside the first page's data: the page is named damaged, not lost.
        std::string bytes = read_file(fax);
        for (size_t at = testsupport::kWinFaxHeaderSize + 200;
             at < testsupport::kWinFaxHeaderSize + 260; ++at)
            bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
        testsupport::write_file(fax, bytes);
    }
    set_modification_time(fax, kFaxTime);
    expect_archives_of(fax, c.ocr ? std::vector<std::string>{"/ocr"} : std::vector<std::string>{});
    if (c.damaged) {
        EXPECT_NE(read_file(log_path()).find("Success ! (page 1: damaged from line"),
                  std::string::npos)
            << read_file(log_path());
    }
    if (!c.damaged && c.pages <= 2)
        expect_pdf_holds(dir.file("out-1b.pdf"), pages);
}

INSTANTIATE_TEST_SUITE_P(
    Faxes, ArchiveLevels,
    ::testing::Values(FaxCase{"group3", Coding::Group3OneDimensional, 2, 300, false, false},
                      FaxCase{"group4", Coding::Group4, 2, 300, false, false},
                      FaxCase{"group3_ocr", Coding::Group3OneDimensional, 1, 500, false, true},
                      FaxCase{"group4_ocr", Coding::Group4, 1, 500, false, true},
                      FaxCase{"damaged", Coding::Group4, 2, 300, true, false},
                      FaxCase{"pages1100", Coding::Group4, 1100, 24, false, false}),
    [](const ::testing::TestParamInfo<FaxCase>& info) { return std::string(info.param.name); });

// The fax's own date, with the zone's offset, in both places; the conversion's as ModDate.
TEST_F(ArchivePdfs, CreationDateIsTheFaxFilesOwn) {
    const std::string fax = dir.file("dated.fxs");
    ASSERT_TRUE(write_small_fax(fax, 3, "Dated"));
    set_modification_time(fax, kFaxTime);
    const int64_t before = time(nullptr);
    const std::string pdf = convert(fax, "1b");
    const std::string bytes = read_file(pdf);
    EXPECT_NE(bytes.find("/CreationDate (D:20090512103000+02'00')"), std::string::npos);
    EXPECT_NE(bytes.find("<xmp:CreateDate>2009-05-12T10:30:00+02:00</xmp:CreateDate>"),
              std::string::npos);
    const size_t mod = bytes.find("/ModDate (D:");
    ASSERT_NE(mod, std::string::npos);
    EXPECT_EQ(bytes.substr(mod + 12, 4), std::to_string(1900 + [&] {
                  const time_t t = before;
                  tm local{};
                  localtime_r(&t, &local);
                  return local.tm_year;
              }()));
    expect_check({"preflight", pdf});
    expect_check({"rules", "1b", pdf, fax});
}

// Header texts with bytes beyond ASCII, PDF and XML syntax, a control byte and a byte order
// mark: Info and XMP say the same for qpdf and Preflight alike.
TEST_F(ArchivePdfs, TitlesOfAnyBytesReadTheSameInInfoAndXmp) {
    const std::vector<std::string> titles = {
        "R\xE9union (1/2) <a&b> \\ \"q\" \x80\x92",
        "Tab\there, bell\x07, DEL\x7F and \xAD",
        "\xFE\xFFnot UTF-16",
    };
    for (size_t i = 0; i < titles.size(); ++i) {
        SCOPED_TRACE(i);
        const std::string fax = dir.file("title" + std::to_string(i) + ".fxs");
        ASSERT_TRUE(write_small_fax(fax, 5, titles[i]));
        set_modification_time(fax, kFaxTime);
        const std::string pdf = convert(fax, "1b");
        expect_check({"preflight", pdf});
        expect_check({"rules", "1b", pdf, fax});
    }
}

// The fax inside its 3b PDF, as poppler's pdfdetach gives it back.
TEST_F(ArchivePdfs, ThreeBGivesTheFaxBackByteForByte) {
    const std::string fax = dir.file("Caf\xC3\xA9 order.fxs");
    ASSERT_TRUE(write_small_fax(fax, 9, "Order"));
    set_modification_time(fax, kFaxTime);
    const std::string pdf = convert(fax, "3b");
    const testsupport::ToolRun list = run_tool({"pdfdetach", "-list", pdf});
    EXPECT_EQ(list.output, "1 embedded files\n1: Caf\xC3\xA9 order.fxs\n");
    const std::string back = dir.file("back.fxs");
    ASSERT_EQ(run_tool({"pdfdetach", "-save", "1", "-o", back, pdf}).exit_code, 0);
    EXPECT_EQ(read_file(back), read_file(fax));
    // Compressed, the fax adds less than its own size to the PDF.
    const std::string two = convert(fax, "2b");
    const auto size = [](const std::string& p) {
        struct stat st {};
        return stat(p.c_str(), &st) == 0 ? st.st_size : -1;
    };
    EXPECT_LT(size(pdf) - size(two), size(fax));
}

// /skip keeps its record in archive PDFs (in XMP under a described schema too), and the
// next run finds it there.
TEST_F(ArchivePdfs, SkipRecordStaysWithinTheRulesAndIsFoundAgain) {
    const std::string in = dir.file("in");
    const std::string out = dir.file("out");
    ASSERT_EQ(mkdir(in.c_str(), 0755), 0);
    const std::string fax = in + "/na\xEFve%20\xFF.fxs";
    ASSERT_TRUE(write_small_fax(fax, 11, "Record"));
    set_modification_time(fax, kFaxTime);
    const std::vector<std::string> args = {"/q",    "/d=" + in, "/sd=" + out,
                                           "/skip", "/pdfa=1b", "/log=" + log_path()};
    ASSERT_EQ(run_trelvane(args, {{"TMPDIR", tmp.path()}}).exit_code, 0);
    const std::string pdf = out + "/na\xEFve%20\xFF.pdf";
    expect_check({"preflight", pdf});
    expect_check({"rules", "1b", pdf, fax});
    const RunResult again =
        run_trelvane({"/d=" + in, "/sd=" + out, "/skip", "/pdfa=1b", "/log=" + log_path()},
                     {{"TMPDIR", tmp.path()}});
    EXPECT_NE(again.out.find("Skipped : "), std::string::npos) << again.out;
}

// A page beyond 200 inches: PDF/A-1 cannot hold it and the line says why; 2b gives the page
// a user unit, its image unchanged.
TEST_F(ArchivePdfs, PagesBeyondTheFirstPartsLimitFailOneBAndFitTwoB) {
    FaxPage page;
    page.bitmap = testsupport::text_like(1728, 20500, 12);  // 205 inches at 100 lines an inch
    page.coding = Coding::Group4;
    page.resolution = kStandard;
    page.title = "Long";
    const std::string fax = dir.file("long.fxs");
    ASSERT_TRUE(write_fax_file(fax, {page}));
    const std::string one = dir.file("long-1b.pdf");
    const RunResult r = run({"/q", "/f=" + fax, "/sf=" + one, "/pdfa=1b"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(read_file(log_path())
                  .find("Failed : " + fax +
                        " - Error in converting to pdf (page 1 measures 205 inches, PDF/A-1 allows "
                        "200; /pdfa=2b takes it)\r\n"),
              std::string::npos)
        << read_file(log_path());
    EXPECT_FALSE(std::filesystem::exists(one));

    const std::string two = convert(fax, "2b");
    EXPECT_NE(read_file(two).find("/UserUnit 2 \r"), std::string::npos);
    expect_check({"rules", "2b", two, fax});
    const std::string plain = convert(fax, "");
    const testsupport::ToolRun same = run_tool({kCheck, "same-pages", two, plain});
    EXPECT_NE(same.output.find("ok: page 1: the same images, byte for byte"), std::string::npos)
        << same.output;
}

// The checks above can fail: a plain PDF, or one of another level, does not pass them.
TEST_F(ArchivePdfs, TheChecksRejectWhatIsNotOfTheirLevel) {
    const std::string fax = dir.file("other.fxs");
    ASSERT_TRUE(write_small_fax(fax, 13, "Other"));
    const std::string plain = convert(fax, "");
    const std::string two = convert(fax, "2b");
    const std::string three = convert(fax, "3b");
    const struct {
        std::vector<std::string> args;
        const char* named;
    } wrong[] = {
        {{"preflight", plain}, "FAIL: Preflight PDF/A-1b"},
        {{"rules", "2b", plain}, "FAIL: catalog /Metadata is a stream"},
        {{"rules", "1b", two}, "FAIL: pdfaid:part 2"},
        {{"rules", "2b", three}, "FAIL: no embedded file in PDF/A-2"},
        {{"rules", "3b", three, dir.file("a.fxs")}, "FAIL: its bytes are the fax's"},
    };
    ASSERT_TRUE(write_small_fax(dir.file("a.fxs"), 14));
    for (const auto& w : wrong) {
        std::vector<std::string> argv = {kCheck};
        argv.insert(argv.end(), w.args.begin(), w.args.end());
        const testsupport::ToolRun run = run_tool(argv);
        EXPECT_EQ(run.exit_code, 1) << w.named;
        EXPECT_NE(run.output.find(w.named), std::string::npos) << run.output;
    }
}

TEST_F(ArchivePdfs, LevelsThisProgramCannotMakeRefuseTheRun) {
    const std::string fax = dir.file("a.fxs");
    ASSERT_TRUE(write_small_fax(fax, 1));
    for (const char* level : {"/pdfa=4", "/pdfa=1a", "/pdfa=", "/PDFA=2u"}) {
        SCOPED_TRACE(level);
        const RunResult r = run({"/f=" + fax, "/sf=" + dir.file("a.pdf"), level});
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_NE(r.err.find("names no PDF/A level this program makes"), std::string::npos)
            << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir.file("a.pdf")));
    }
}

}  // namespace
}  // namespace trelvane::e2e
