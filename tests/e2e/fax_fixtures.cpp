#include "fax_fixtures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "support/pdf_tools.h"
#include "support/winfax_builder.h"

namespace trelvane::e2e {

using testsupport::Bitmap;
using testsupport::Coding;

int vertical_resolution(uint8_t resolution_code) {
    return resolution_code == kStandard ? 100 : resolution_code == kFine ? 200 : 400;
}

FaxPage text_page(int width, int height, uint32_t seed, Coding coding, uint8_t resolution,
                  const std::string& title) {
    FaxPage page;
    page.bitmap = testsupport::text_like(width, height, seed);
    page.coding = coding;
    page.resolution = resolution;
    page.title = title;
    return page;
}

bool write_fax_file(const std::string& path, const std::vector<FaxPage>& pages) {
    std::vector<testsupport::WinFaxPage> fax_pages;
    for (const FaxPage& page : pages) {
        const testsupport::CodedPage coded = testsupport::encode_page(page.bitmap, page.coding, 2);
        if (coded.data.empty())
            return false;
        testsupport::WinFaxPage fax_page;
        fax_page.data = coded.data;
        fax_page.width = static_cast<uint16_t>(page.bitmap.width);
        fax_page.length = static_cast<uint16_t>(page.bitmap.height);
        fax_page.coding = page.coding == Coding::Group4 ? 1 : 0;
        fax_page.resolution = page.resolution;
        fax_page.title = page.title;
        fax_page.title_over_fields = page.title_over_fields;
        fax_pages.push_back(fax_page);
    }
    return testsupport::write_winfax(path, fax_pages);
}

std::string libtiff_damage_note(const std::string& messages, bool group4) {
    std::set<long> damaged;
    std::istringstream in(messages);
    for (std::string m; std::getline(in, m);) {
        const bool bad = m.find("Bad code word") != std::string::npos ||
                         m.find("Line length mismatch") != std::string::npos ||
                         (m.find("Premature EOL") != std::string::npos &&
                          m.find("(got 0,") == std::string::npos);
        const size_t at = m.find(" at line ");
        if (bad && at != std::string::npos)
            damaged.insert(std::strtol(m.c_str() + at + 9, nullptr, 10));
    }
    if (damaged.empty())
        return "";
    if (group4)
        return "damaged from line " + std::to_string(*damaged.begin() + 1);
    return std::to_string(damaged.size()) +
           (damaged.size() == 1 ? " damaged line" : " damaged lines");
}

std::string libtiff_missing_note(const std::string& messages, int declared) {
    long rows = declared;
    std::istringstream in(messages);
    for (std::string m; std::getline(in, m);) {
        const size_t at = m.find(" at line ");
        if (at == std::string::npos)
            continue;
        const long line = std::strtol(m.c_str() + at + 9, nullptr, 10);
        const bool nothing =
            m.find("(x 0)") != std::string::npos || m.find("(got 0,") != std::string::npos;
        rows = nothing ? line : line + 1;
    }
    const long missing = declared - rows;
    if (missing <= 0 || missing * 20 <= declared)
        return "";
    return std::to_string(missing) + " of " + std::to_string(declared) + " lines missing";
}

bool write_small_fax(const std::string& path, uint32_t seed, const std::string& title) {
    return write_fax_file(
        path, {text_page(1728, 120, seed, Coding::Group3OneDimensional, kStandard, title),
               text_page(1728, 90, seed + 1000, Coding::Group4, kFine)});
}

int qpdf_page_count(const std::string& pdf) {
    const testsupport::ToolRun run = testsupport::run_tool({"qpdf", "--show-npages", pdf});
    if (run.exit_code != 0)
        return -1;
    return std::atoi(run.output.c_str());
}

bool read_pdf_summary(const std::string& pdf, PdfSummary& summary) {
    // -f 1 -l a large number: pdfinfo lists every page's size.
    const testsupport::ToolRun run =
        testsupport::run_tool({"pdfinfo", "-enc", "UTF-8", "-f", "1", "-l", "100000", pdf});
    if (run.exit_code != 0)
        return false;
    summary = PdfSummary{};
    std::istringstream lines(run.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("Title:", 0) == 0) {
            const size_t start = line.find_first_not_of(' ', 6);
            summary.has_title = true;
            summary.title = start == std::string::npos ? std::string() : line.substr(start);
            continue;
        }
        int index = 0;
        double width = 0;
        double height = 0;
        if (std::sscanf(line.c_str(), "Page %d size: %lf x %lf pts", &index, &width, &height) ==
            3) {
            summary.page_sizes.emplace_back(width, height);
        }
    }
    return true;
}

void expect_pdf_holds(const std::string& pdf, const std::vector<FaxPage>& pages) {
    SCOPED_TRACE(pdf);
    {
        const testsupport::ToolRun check = testsupport::qpdf_check(pdf);
        EXPECT_EQ(check.exit_code, 0) << check.output;
        EXPECT_EQ(check.output.find("WARNING"), std::string::npos) << check.output;
        ASSERT_EQ(qpdf_page_count(pdf), static_cast<int>(pages.size()));
    }
    {
        PdfSummary summary;
        ASSERT_TRUE(read_pdf_summary(pdf, summary));
        ASSERT_EQ(summary.page_sizes.size(), pages.size());
        for (size_t i = 0; i < pages.size(); ++i) {
            const FaxPage& page = pages[i];
            // pdfinfo prints two decimals.
            EXPECT_NEAR(summary.page_sizes[i].first,
                        page.bitmap.width * 72.0 / kHorizontalResolution, 0.006)
                << "page " << i + 1;
            EXPECT_NEAR(summary.page_sizes[i].second,
                        page.bitmap.height * 72.0 / vertical_resolution(page.resolution), 0.006)
                << "page " << i + 1;
        }
        const std::string& title = pages.front().title;
        EXPECT_EQ(summary.has_title, !title.empty());
        EXPECT_EQ(summary.title, title);
    }
    {
        for (size_t i = 0; i < pages.size(); ++i) {
            const FaxPage& page = pages[i];
            Bitmap rendered;
            std::string log;
            ASSERT_TRUE(
                testsupport::render_page_gs(pdf, static_cast<int>(i + 1), kHorizontalResolution,
                                            vertical_resolution(page.resolution), rendered, &log))
                << log;
            EXPECT_EQ(log, "");
            EXPECT_EQ(testsupport::first_difference(rendered, page.bitmap.normalised()), -1)
                << "page " << i + 1 << ": Ghostscript rendered " << rendered.width << "x"
                << rendered.height << ", the fax page is " << page.bitmap.width << "x"
                << page.bitmap.height;
        }
    }
}

void write_fax_folder(const std::string& folder, int count) {
    ASSERT_TRUE(std::filesystem::create_directories(folder));
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(write_small_fax(folder + "/fax" + std::to_string(1000 + i) + ".fxs",
                                    static_cast<uint32_t>(i)));
    }
}

std::vector<std::string> pdfs_below(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.path().extension() == ".pdf")
            names.push_back(fs::relative(entry.path(), folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string title_of(const std::string& pdf) {
    PdfSummary summary;
    return read_pdf_summary(pdf, summary) ? summary.title : "<unreadable>";
}

}  // namespace trelvane::e2e
