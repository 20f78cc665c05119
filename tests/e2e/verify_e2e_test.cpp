// /verify through the real program: every PDF read back and compared with its fax, kept PDFs
// included, so that /skip /verify audits an archive. Each tampering of a PDF is found, made good
// and named on its line; PDFs that hold their faxes are left untouched.
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_run.h"
#include "fax_fixtures.h"
#include "support/libtiff_codec.h"
#include "support/winfax_builder.h"

namespace trelvane::e2e {
namespace {

using testsupport::Bitmap;
using testsupport::Coding;
using testsupport::read_file;
using testsupport::write_file;

using VerifyE2e = ConversionRun;

// Gives the file a modification time `offset` seconds from now.
void set_modified(const std::string& path, int64_t offset) {
    const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    const timespec times[2] = {{now + offset, 0}, {now + offset, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// A Group 3 page with a damaged line in its middle, and the file cut inside its second page.
void write_damaged_faxes(const std::string& folder) {
    const Bitmap page = testsupport::text_like(1728, 60, 6);
    std::vector<uint8_t> data = testsupport::libtiff_encode(page, Coding::Group3OneDimensional, 2);
    data[data.size() / 2] ^= 0xFF;
    testsupport::WinFaxPage damaged;
    damaged.data = data;
    damaged.width = 1728;
    damaged.length = 60;
    damaged.coding = 0;
    damaged.resolution = kFine;
    ASSERT_TRUE(testsupport::write_winfax(folder + "/damaged.fxr", {damaged}));

    std::vector<uint8_t> file =
        testsupport::build_winfax({damaged, [] {
                                       const Bitmap two = testsupport::text_like(1728, 80, 8);
                                       testsupport::WinFaxPage p;
                                       p.data = testsupport::libtiff_encode(two, Coding::Group4, 2);
                                       p.width = 1728;
                                       p.length = 80;
                                       p.coding = 1;
                                       p.resolution = kFine;
                                       return p;
                                   }()});
    file.resize(file.size() - 300);
    ASSERT_TRUE(write_file(folder + "/cut.fxd", std::string(file.begin(), file.end())));
}

// The middle byte of page `page`'s image data (from 1) in one of our PDFs.
size_t middle_of_image(const std::string& pdf, int page) {
    size_t at = 0;
    for (int i = 0; i < page; ++i) {
        at = pdf.find("/CCITTFaxDecode", at + 1);
        if (at == std::string::npos)
            return at;
    }
    const size_t start = pdf.find("stream", at) + 8;
    return (start + pdf.find("endstream", start)) / 2;
}

std::map<std::string, std::string> lines_by_pdf(const std::string& report) {
    std::map<std::string, std::string> lines;
    size_t start = 0;
    for (size_t end; (end = report.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = report.substr(start, end - start);
        const size_t arrow = line.find(" --> ");
        const size_t colon = line.find(" : ", arrow);
        if (arrow != std::string::npos && colon != std::string::npos)
            lines[line.substr(arrow + 5, colon - arrow - 5)] = line.substr(colon + 3);
    }
    return lines;
}

struct Tampering {
    const char* what;
    std::string pdf;  // below out/
    // Changes the PDF (given its path and the folders in/ and out/).
    std::function<void(const std::string& pdf, const std::string& in, const std::string& scratch)>
        change;
    std::string found;  // what the line says of the PDF that was there
};

TEST_F(VerifyE2e, EveryTamperedPdfIsFoundAndMadeGoodTheRestLeftAlone) {
    TRELVANE_REQUIRE_TOOL("qpdf");
    const std::string in = dir.file("in");
    const std::string out = dir.file("out");
    const std::string scratch = dir.file("scratch");
    ASSERT_TRUE(std::filesystem::create_directories(in) &&
                std::filesystem::create_directories(scratch));
    ASSERT_TRUE(write_fax_file(in + "/a.fxs", {text_page(1728, 90, 1), text_page(1728, 70, 2)}));
    ASSERT_TRUE(write_fax_file(in + "/b.fxs",
                               {text_page(1728, 50, 3, Coding::Group3OneDimensional, kStandard)}));
    write_damaged_faxes(in);
    // Received long ago: /skip leaves no fax for a later run.
    for (const auto& entry : std::filesystem::directory_iterator(in))
        set_modified(entry.path().string(), -3600);

    // Converted and checked: the damaged faxes' PDFs hold what their lines document.
    RunResult r = run({"/d=" + in, "/sd=" + out, "/verify", "/q"});
    ASSERT_EQ(r.exit_code, 0) << read_file(log_path());
    std::map<std::string, std::string> lines = lines_by_pdf(read_file(log_path()));
    ASSERT_EQ(lines.size(), 4u);
    for (const auto& [pdf, outcome] : lines) {
        EXPECT_TRUE(outcome.starts_with("Success !")) << pdf << ": " << outcome;
        EXPECT_TRUE(outcome.ends_with("verified)")) << pdf << ": " << outcome;
    }
    EXPECT_NE(lines[out + "/damaged.pdf"].find("damaged line"), std::string::npos);
    EXPECT_NE(lines[out + "/cut.pdf"].find("file cut short"), std::string::npos);

    const Tampering cases[] = {
        {"one bit flipped in a page's image", "a.pdf",
         [](const std::string& pdf, const std::string&, const std::string&) {
             std::string bytes = read_file(pdf);
             const size_t at = middle_of_image(bytes, 2);
             ASSERT_NE(at, std::string::npos);
             bytes[at] = static_cast<char>(bytes[at] ^ 0x08);
             ASSERT_TRUE(write_file(pdf, bytes));
         },
         "page 2"},
        {"a page removed", "a.pdf",
         [](const std::string& pdf, const std::string&, const std::string& scratch) {
             const std::string shorter = scratch + "/shorter.pdf";
             ASSERT_EQ(
                 testsupport::run_tool({"qpdf", pdf, "--pages", pdf, "1", "--", shorter}).exit_code,
                 0);
             ASSERT_EQ(std::rename(shorter.c_str(), pdf.c_str()), 0);
         },
         "the PDF has 1 pages, the fax 2"},
        {"another fax's PDF without a record", "b.pdf",
         [](const std::string& pdf, const std::string& in, const std::string&) {
             ASSERT_EQ(run_trelvane({"/f=" + in + "/a.fxs", "/sf=" + pdf, "/q", "/log=/dev/null"})
                           .exit_code,
                       0);
         },
         "the PDF has 2 pages, the fax 1"},
        {"a page one row short", "b.pdf",
         [](const std::string& pdf, const std::string&, const std::string& scratch) {
             const std::string fax = scratch + "/short.fxs";
             ASSERT_TRUE(write_fax_file(
                 fax, {text_page(1728, 49, 3, Coding::Group3OneDimensional, kStandard)}));
             ASSERT_EQ(run_trelvane({"/f=" + fax, "/sf=" + pdf, "/q", "/log=/dev/null"}).exit_code,
                       0);
         },
         "page 1 is 1728 x 49 pixels, the fax's 1728 x 50 pixels"},
    };
    for (const Tampering& c : cases) {
        SCOPED_TRACE(c.what);
        std::map<std::string, std::string> before;
        for (const auto& [pdf, outcome] : lines)
            before[pdf] = read_file(pdf);
        const std::string target = out + "/" + c.pdf;
        c.change(target, in, scratch);
        set_modified(target, 0);  // as a copy or an edit leaves it: newer than its fax
        ASSERT_EQ(std::remove(log_path().c_str()), 0);
        r = run({"/d=" + in, "/sd=" + out, "/skip", "/verify", "/q"});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        const std::map<std::string, std::string> audit = lines_by_pdf(read_file(log_path()));
        ASSERT_EQ(audit.size(), 4u);
        for (const auto& [pdf, outcome] : audit) {
            if (pdf == target) {
                EXPECT_TRUE(
                    outcome.starts_with("Success ! (verified; the PDF there before did "
                                        "not match the fax: " +
                                        c.found))
                    << outcome;
            } else {
                EXPECT_EQ(outcome, "Skipped : " + pdf + " already exist! (verified)");
                EXPECT_EQ(read_file(pdf), before[pdf]) << pdf << " was touched";
            }
        }
    }
    // What was made good now holds its fax.
    ASSERT_EQ(std::remove(log_path().c_str()), 0);
    r = run({"/d=" + in, "/sd=" + out, "/skip", "/verify", "/q"});
    EXPECT_EQ(r.exit_code, 0);
    for (const auto& [pdf, outcome] : lines_by_pdf(read_file(log_path())))
        EXPECT_EQ(outcome, "Skipped : " + pdf + " already exist! (verified)");
}

}  // namespace
}  // namespace trelvane::e2e
