// Every page of a fax is in its PDF, or its report line names it: a folder of faxes whose pages
// hold no data, far fewer lines than their headers declare, or a size the TIFF library refuses,
// converted by the real program with and without /relines and with one job and four. The pages
// and their heights are read from the PDFs by qpdf and poppler's pdfimages, not by our code.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_run.h"
#include "fax_fixtures.h"
#include "support/libtiff_codec.h"
#include "support/pdf_tools.h"
#include "support/winfax_builder.h"

namespace trelvane::e2e {
namespace {

using testsupport::Coding;
using testsupport::WinFaxPage;

// What a page's data is made of.
enum class Data {
    kCoded,           // `rows` lines of text coded by libtiff
    kNone,            // no bytes at all
    kZeros,           // zero bytes only (fill bits to a Group 3 decoder)
    kEndFirst,        // a Group 4 end-of-facsimile block, then `rows` coded lines
    kCodedThenZeros,  // `rows` coded lines, then the zero bytes a crash leaves in a file
    kWhiteLine,       // one white Group 4 line and the end of the block
};

struct PageSpec {
    Data data = Data::kCoded;
    uint32_t rows = 80;  // lines the data codes
    uint16_t declared = 80;
    Coding coding = Coding::Group4;
    uint16_t width = 1728;
};

struct FaxCase {
    std::string name;
    std::vector<PageSpec> pages;
    std::vector<int> heights;          // of the PDF's pages, without /relines
    std::vector<int> relines_heights;  // with /relines
    std::string outcome;               // after "source --> pdf : "
    std::string relines_outcome = {};  // with /relines, when it differs
};

PageSpec coded(uint32_t rows, uint16_t declared, Coding coding = Coding::Group4) {
    return {Data::kCoded, rows, declared, coding};
}

std::vector<uint8_t> page_data(const PageSpec& p, uint32_t seed) {
    // Two end-of-line codes, first bit in the least significant bit.
    static const std::vector<uint8_t> kEndOfBlock = {0x00, 0x08, 0x80};
    std::vector<uint8_t> data;
    switch (p.data) {
        case Data::kNone:
            return {};
        case Data::kZeros:
            return std::vector<uint8_t>(400, 0);
        case Data::kEndFirst:
            data = kEndOfBlock;
            break;
        case Data::kWhiteLine:
            return {0x01, 0x10, 0x00, 0x01};  // a vertical 0 code, then two end-of-line codes
        default:
            break;
    }
    const std::vector<uint8_t> lines = testsupport::libtiff_encode(
        testsupport::text_like(p.width, static_cast<int>(p.rows), seed), p.coding, 2);
    data.insert(data.end(), lines.begin(), lines.end());
    if (p.data == Data::kCodedThenZeros)
        data.resize(data.size() + 3000, 0);
    return data;
}

bool write_case(const std::string& path, const FaxCase& c) {
    std::vector<WinFaxPage> pages;
    uint32_t seed = 1;
    for (const PageSpec& spec : c.pages) {
        WinFaxPage p;
        p.data = page_data(spec, seed++);
        p.width = spec.width;
        p.length = spec.declared;
        p.coding = spec.coding == Coding::Group4 || spec.data == Data::kEndFirst ? 1 : 0;
        p.resolution = kFine;
        pages.push_back(p);
    }
    return testsupport::write_winfax(path, pages);
}

// The image heights of the PDF's pages, in page order, as pdfimages lists them.
std::vector<int> image_heights(const std::string& pdf) {
    const testsupport::ToolRun run = testsupport::run_tool({"pdfimages", "-list", pdf});
    std::vector<int> heights;
    if (run.exit_code != 0)
        return heights;
    std::istringstream lines(run.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        int page = 0, number = 0, width = 0, height = 0;
        std::string type;
        if (fields >> page >> number >> type >> width >> height)
            heights.push_back(height);
    }
    return heights;
}

// The outcome of each file's report line, by the fax's file name.
std::map<std::string, std::string> outcomes(const std::string& report) {
    std::map<std::string, std::string> by_name;
    std::istringstream lines(report);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t arrow = line.find(" --> ");
        const size_t colon = line.find(" : ", arrow);
        if (arrow == std::string::npos || colon == std::string::npos)
            continue;
        const std::string source = line.substr(0, arrow);
        std::string said = line.substr(colon + 3);
        if (!said.empty() && said.back() == '\r')
            said.pop_back();
        by_name[source.substr(source.rfind('/') + 1)] = said;
    }
    return by_name;
}

const std::vector<FaxCase>& cases() {
    static const std::vector<FaxCase> all = {
        {"whole.fxs",
         {coded(80, 80), coded(80, 80, Coding::Group3OneDimensional)},
         {80, 80},
         {80, 80},
         "Success !"},
        // A page of no bytes between whole ones: with /relines its count of 0 lines once ended
        // the PDF there.
        {"empty-page.fxs",
         {coded(80, 80), {Data::kNone, 0, 80}, coded(80, 80), coded(80, 80), coded(80, 80)},
         {80, 80, 80, 80, 80},
         {80, 80, 80, 80, 80},
         "Success ! (page 2: no usable data, left blank)"},
        {"zero-page.fxs",
         {coded(80, 80), {Data::kZeros, 0, 90, Coding::Group3OneDimensional}, coded(80, 80)},
         {80, 90, 80},
         {80, 90, 80},
         "Success ! (page 2: no usable data, left blank)"},
        {"end-first.fxs",
         {coded(80, 80), {Data::kEndFirst, 60, 60}},
         {80, 60},
         {80, 60},
         "Success ! (page 2: no usable data, left blank)"},
        // What a crash leaves of a fax being written: the page's data stops and zero bytes
        // follow.
        {"crash-g4.fxs",
         {coded(80, 80), {Data::kCodedThenZeros, 349, 1100}},
         {80, 1100},
         {80, 349},
         "Success ! (page 2: 751 of 1100 lines missing)"},
        {"crash-g3.fxs",
         {{Data::kCodedThenZeros, 349, 1100, Coding::Group3OneDimensional}},
         {1100},
         {349},
         "Success ! (page 1: 751 of 1100 lines missing)"},
        {"tall-header.fxs",
         {coded(2200, 65535)},
         {65535},
         {2200},
         "Success ! (page 1: 63335 of 65535 lines missing)"},
        // A page the TIFF library will not take: the others convert.
        {"huge-page.fxs",
         {coded(80, 80), {Data::kEndFirst, 0, 65535, Coding::Group4, 65535}, coded(80, 80)},
         {80, 80},
         {80, 80},
         "Success ! (page 2: left out)"},
        // With no page left there is no PDF, and the line says why. With /relines the page is
        // the one line its data holds, which the library takes.
        {"only-huge.fxs",
         {{Data::kWhiteLine, 1, 65535, Coding::Group4, 65535}},
         {},
         {1},
         "Failed : FAX/only-huge.fxs - Error in prearing to pdf conversion (no page could be "
         "copied)",
         "Success ! (page 1: 65534 of 65535 lines missing)"},
        // A header that declares fewer lines than the data holds: the page ends there, and
        // the line says what it does not show.
        {"past-header.fxs",
         {coded(120, 80), coded(90, 60, Coding::Group3OneDimensional)},
         {80, 60},
         {80, 60},
         "Success ! (page 1: 40 lines past line 80 left out; page 2: 30 lines past line 60 left "
         "out)"},
        // Up to a twentieth short is the usual slack of a count, not a loss.
        {"slack.fxs", {coded(80, 84)}, {84}, {80}, "Success !"},
        // A header without a line count declares nothing that could be missing.
        {"undeclared.fxs", {coded(80, 0)}, {3432}, {80}, "Success !"},
    };
    return all;
}

using PageOutcomes = ConversionRun;

TEST_F(PageOutcomes, EveryPageIsInThePdfOrNamedOnItsLine) {
    TRELVANE_REQUIRE_TOOL("qpdf");
    TRELVANE_REQUIRE_TOOL("pdfimages");
    const std::string faxes = dir.file("fax");
    ASSERT_TRUE(std::filesystem::create_directories(faxes));
    for (const FaxCase& c : cases())
        ASSERT_TRUE(write_case(faxes + "/" + c.name, c)) << c.name;

    for (const bool relines : {false, true}) {
        std::string first_report;
        for (const int jobs : {1, 4}) {
            const std::string mode =
                std::string(relines ? "/relines" : "plain") + " /jobs=" + std::to_string(jobs);
            SCOPED_TRACE(mode);
            const std::string out =
                dir.file(relines ? "pdf-relines-" : "pdf-") + std::to_string(jobs);
            std::vector<std::string> args = {"/d=" + faxes, "/sd=" + out, "/q",
                                             "/jobs=" + std::to_string(jobs)};
            if (relines)
                args.push_back("/relines");
            std::filesystem::remove(log_path());  // one record a run
            const RunResult r = run(args);
            bool failures = false;
            for (const FaxCase& c : cases()) {
                const std::string& said =
                    relines && !c.relines_outcome.empty() ? c.relines_outcome : c.outcome;
                failures = failures || said.rfind("Failed", 0) == 0;
            }
            EXPECT_EQ(r.exit_code, failures ? 1 : 0) << r.out << r.err;
            // The record after its time stamp; the runs differ only in their PDF folders.
            std::string report = testsupport::read_file(log_path());
            report = report.substr(report.find('\n') + 1);
            for (size_t at; (at = report.find(out)) != std::string::npos;)
                report.replace(at, out.size(), "OUT");
            for (size_t at; (at = report.find(faxes)) != std::string::npos;)
                report.replace(at, faxes.size(), "FAX");
            if (first_report.empty()) {
                first_report = report;
            } else {
                EXPECT_EQ(report, first_report) << "the report differs with the number of jobs";
            }
            const std::map<std::string, std::string> said = outcomes(report);
            for (const FaxCase& c : cases()) {
                SCOPED_TRACE(c.name);
                ASSERT_EQ(said.count(c.name), 1u) << report;
                EXPECT_EQ(said.at(c.name),
                          relines && !c.relines_outcome.empty() ? c.relines_outcome : c.outcome);
                const std::string pdf = out + "/" + c.name.substr(0, c.name.rfind('.')) + ".pdf";
                const std::vector<int>& heights = relines ? c.relines_heights : c.heights;
                if (heights.empty()) {
                    EXPECT_FALSE(std::filesystem::exists(pdf));
                    continue;
                }
                EXPECT_EQ(qpdf_page_count(pdf), static_cast<int>(heights.size()));
                EXPECT_EQ(image_heights(pdf), heights);
            }
        }
    }
}

}  // namespace
}  // namespace trelvane::e2e
