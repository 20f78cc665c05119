// More than a thousand damaged WinFax files, generated from fixed seeds, converted by the real
// program in folder runs. Whatever the damage: every file gets exactly one report line, no run
// crashes or hangs, memory stays bounded, and no partial PDF is left anywhere.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/bitmap.h"
#include "support/ccitt.h"
#include "support/child_process.h"
#include "support/pdf_tools.h"
#include "support/temp_dir.h"
#include "support/winfax_builder.h"

namespace trelvane::e2e {
namespace {

namespace fs = std::filesystem;
using testsupport::Coding;
using testsupport::TempDir;
using testsupport::WinFaxPage;
using Bytes = std::vector<uint8_t>;

// Hang guard per file of a folder run (the whole run gets this times its file count).
constexpr double kSecondsPerFile = 2.0;
// Peak resident memory of one folder run, whatever the files hold: the program itself, and one
// page's buffers per conversion running at once. The run uses kJobs conversions.
constexpr int kJobs = 2;
constexpr long kPeakRssLimitKb = 24 * 1024 + kJobs * 40 * 1024;

struct CorpusFile {
    std::string name;
    Bytes bytes;
};

// Header fields of the WinFax page header, as the damage below addresses them.
constexpr size_t kTerm89At = 89;
constexpr size_t kTerm105At = 105;
constexpr size_t kDataLengthAt = 116;

void put_i32(Bytes& b, size_t at, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(u >> (8 * i));
}

WinFaxPage coded_page(const std::string& pattern, int width, int height, bool group4,
                      uint8_t resolution = 1, const std::string& title = "Malformed") {
    const testsupport::CodedPage coded =
        testsupport::encode_page(testsupport::make_pattern(pattern, width, height),
                                 group4 ? Coding::Group4 : Coding::Group3OneDimensional, 2);
    WinFaxPage page;
    page.data = coded.data;
    page.width = static_cast<uint16_t>(width);
    page.length = static_cast<uint16_t>(height);
    page.coding = group4 ? 1 : 0;
    page.resolution = resolution;
    page.title = title;
    return page;
}

// Sound files the damage starts from: built ones of both codings, and the bundled samples.
std::vector<Bytes> base_files() {
    std::vector<Bytes> bases;
    bases.push_back(testsupport::build_winfax({coded_page("text1", 1728, 80, false)}));
    bases.push_back(testsupport::build_winfax(
        {coded_page("text2", 1728, 60, true, 0), coded_page("checker", 1728, 40, true, 0)}));
    bases.push_back(testsupport::build_winfax({coded_page("text3", 2048, 50, false, 2),
                                               coded_page("text4", 1728, 50, true, 1),
                                               coded_page("startblack", 2432, 30, false, 1)}));
    for (const char* sample : {"delivery-notice.fxs", "meeting-minutes.fxm", "purchase-order.fxr",
                               "quote-request.fxd"}) {
        const std::string text =
            testsupport::read_file(std::string(TRELVANE_SOURCE_DIR) + "/samples/" + sample);
        if (!text.empty())
            bases.emplace_back(text.begin(), text.end());
    }
    return bases;
}

std::vector<CorpusFile> bit_flips(const std::vector<Bytes>& bases) {
    std::vector<CorpusFile> files;
    for (size_t b = 0; b < bases.size(); ++b) {
        for (int i = 0; i < 60; ++i) {
            std::mt19937 random(static_cast<uint32_t>(1000 * b + i));
            Bytes bytes = bases[b];
            // Half the mutants aim at the first page header, where one bit changes the most.
            const size_t span = (i % 2 == 0) ? std::min<size_t>(bytes.size(), 128) : bytes.size();
            const int flips = 1 + static_cast<int>(random() % 16);
            for (int f = 0; f < flips; ++f) {
                const size_t at = random() % span;
                bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
            }
            files.push_back({"flip-" + std::to_string(b) + "-" + std::to_string(i), bytes});
        }
    }
    return files;
}

std::vector<CorpusFile> truncations(const std::vector<Bytes>& bases) {
    std::vector<CorpusFile> files;
    for (size_t b = 0; b < bases.size(); ++b) {
        const Bytes& whole = bases[b];
        const size_t first_data = size_t{whole[kDataLengthAt]} |
                                  size_t{whole[kDataLengthAt + 1]} << 8 |
                                  size_t{whole[kDataLengthAt + 2]} << 16;
        const size_t second_header = 128 + first_data;
        std::set<size_t> offsets = {0,   1,   2,   3,   4,   5,   6,   7,   8,   9,
                                    10,  64,  88,  89,  92,  93,  104, 105, 108, 109,
                                    112, 113, 114, 115, 116, 117, 118, 119, 120, 126,
                                    127, 128, 129, 130, 131, 135, 136, 192, 256};
        for (size_t d :
             {size_t{0}, size_t{1}, size_t{2}, first_data / 4, first_data / 2, first_data - 1}) {
            offsets.insert(128 + d);
        }
        for (size_t d : {0u, 1u, 2u, 3u, 9u, 115u, 116u, 119u, 127u, 128u, 129u})
            offsets.insert(second_header + d);
        offsets.insert(whole.size() - 2);
        offsets.insert(whole.size() - 1);
        for (size_t at : offsets) {
            if (at >= whole.size())
                continue;
            files.push_back({"cut-" + std::to_string(b) + "-" + std::to_string(at),
                             Bytes(whole.begin(), whole.begin() + static_cast<long>(at))});
        }
    }
    return files;
}

std::vector<CorpusFile> header_extremes() {
    std::vector<CorpusFile> files;
    for (bool group4 : {false, true}) {
        const std::string kind = group4 ? "g4" : "g3";
        const WinFaxPage base = coded_page("text5", 1728, 40, group4);
        const WinFaxPage second = coded_page("text6", 1728, 20, group4);
        auto add = [&](const std::string& name, const std::vector<WinFaxPage>& pages) {
            files.push_back({"hdr-" + kind + "-" + name, testsupport::build_winfax(pages)});
        };
        for (uint16_t width : {0, 1, 7, 8, 9, 1727, 1729, 2048, 4000, 32768, 65535}) {
            for (uint16_t length : {0, 1, 39, 41, 4096, 4097, 65535}) {
                WinFaxPage p = base;
                p.width = width;
                p.length = length;
                add("size-" + std::to_string(width) + "x" + std::to_string(length), {p, second});
            }
        }
        for (int32_t declared : {INT32_MIN, -1000000, -129, -128, -1, 0, 1, 2, 127, 128, 0x10000,
                                 0x7FFFFF80, INT32_MAX}) {
            WinFaxPage p = base;
            p.declared_length = declared;
            add("length-" + std::to_string(declared), {p, second});
        }
        for (int extra : {-1, 1, 128, 256}) {
            WinFaxPage p = base;
            p.declared_length = static_cast<int32_t>(p.data.size()) + extra;
            add("length-data" + std::to_string(extra), {p, second});
        }
        for (uint8_t resolution : {0, 1, 2, 3, 4, 127, 128, 254, 255}) {
            WinFaxPage p = base;
            p.resolution = resolution;
            add("res-" + std::to_string(resolution), {p, second});
        }
        for (uint8_t coding : {0, 1, 2, 5, 7, 128, 255}) {
            WinFaxPage p = base;
            p.coding = coding;
            add("coding-" + std::to_string(coding), {p});
        }
        // Titles without a terminating zero byte, and texts a PDF string must escape.
        const std::vector<std::pair<std::string, std::string>> titles = {
            {"full", std::string(119, 'T')},
            {"highbytes", std::string(119, '\xE9')},
            {"controls", std::string("a\r\nb\tc\x01\x7F") + std::string(100, '\x1B')},
            {"pdfsyntax", "(unbalanced \\ paren ) ( >> endobj %%EOF trailer"},
            {"format", "%s%n%d%x%p%s%s%s%s"},
            {"utf16bom", std::string("\xFE\xFF\0"
                                     "A",
                                     4)},
            {"one", "x"},
        };
        for (const auto& [name, title] : titles) {
            WinFaxPage p = base;
            p.title = title;
            p.title_over_fields = title.size() >= 119;
            add("title-" + name, {p, second});
        }
        // Factors and terms of the chain at their extremes.
        for (uint8_t f113 : {0, 1, 255}) {
            for (uint8_t f114 : {0, 1, 255}) {
                WinFaxPage p = base;
                p.f113 = f113;
                p.f114 = f114;
                add("factors-" + std::to_string(f113) + "-" + std::to_string(f114), {p, second});
            }
        }
    }
    return files;
}

std::vector<CorpusFile> chains() {
    std::vector<CorpusFile> files;
    for (bool group4 : {false, true}) {
        const std::string kind = group4 ? "g4" : "g3";
        const std::vector<WinFaxPage> pages = {coded_page("text7", 1728, 30, group4),
                                               coded_page("text8", 1728, 30, group4),
                                               coded_page("text9", 1728, 30, group4)};
        const std::vector<uint32_t> at = testsupport::winfax_page_offsets(pages);
        const Bytes sound = testsupport::build_winfax(pages);
        // Re-points the chain term of page `page` so that the next header is at `target`
        // (32-bit wrap-around, as the reader adds).
        auto pointing = [&](size_t page, int64_t target) {
            Bytes bytes = sound;
            const size_t h = at[page];
            const uint32_t data_length = static_cast<uint32_t>(pages[page].data.size());
            const uint32_t t105 = static_cast<uint32_t>(target) - 128u - data_length;
            put_i32(bytes, h + kTerm89At, 0);
            put_i32(bytes, h + kTerm105At, static_cast<int32_t>(t105));
            return bytes;
        };
        auto add = [&](const std::string& name, Bytes bytes) {
            files.push_back({"chain-" + kind + "-" + name, std::move(bytes)});
        };
        add("self-0", pointing(0, at[0]));
        add("self-1", pointing(1, at[1]));
        add("back-to-0", pointing(1, 0));
        add("2-back-to-1", pointing(2, at[1]));
        add("2-back-to-0", pointing(2, 0));
        add("into-data", pointing(0, at[0] + 128 + 5));
        add("one-byte-on", pointing(0, at[0] + 1));
        add("skip-page", pointing(0, at[2]));
        add("end-exactly", pointing(0, static_cast<int64_t>(sound.size())));
        add("end-minus-1", pointing(0, static_cast<int64_t>(sound.size()) - 1));
        add("end-minus-127", pointing(0, static_cast<int64_t>(sound.size()) - 127));
        add("negative", pointing(0, -128));
        add("min", pointing(0, INT32_MIN));
        add("max", pointing(0, INT32_MAX));
        add("wrap-small", pointing(0, int64_t{0x100000000} + 128));
        for (int32_t t : {INT32_MIN, -1, INT32_MAX}) {
            Bytes bytes = sound;
            put_i32(bytes, kTerm89At, t);
            put_i32(bytes, kTerm105At, t);
            add("terms-" + std::to_string(t), bytes);
        }
        {
            Bytes bytes = sound;
            bytes[at[1]] = 0x0C;  // the second header lost its signature
            add("second-unsigned", bytes);
        }
        {
            std::vector<WinFaxPage> gapped = pages;
            gapped[0].gap = 300;
            gapped[1].gap = 1;
            add("gaps", testsupport::build_winfax(gapped));
        }
    }
    return files;
}

std::vector<CorpusFile> page_counts() {
    std::vector<CorpusFile> files;
    files.push_back({"none-empty", {}});
    files.push_back({"none-one-byte", {0x0B}});
    files.push_back({"none-signature-only", {0x0B, 0x23}});
    {
        Bytes header(127, 0);
        header[0] = 0x0B;
        header[1] = 0x23;
        files.push_back({"none-short-header", header});
        header.push_back(0);
        files.push_back({"none-header-only", header});
    }
    {
        WinFaxPage p = coded_page("text1", 1728, 20, true);
        p.bad_signature = true;
        files.push_back({"none-bad-signature", testsupport::build_winfax({p, p})});
    }
    // Tiny pages, so that files of more than a thousand pages stay small.
    for (bool group4 : {false, true}) {
        const WinFaxPage tiny = coded_page("checker", 64, 4, group4, 1, "Many");
        for (size_t count : {size_t{1024}, size_t{1025}, size_t{1100}, size_t{2000}}) {
            files.push_back(
                {std::string("many-") + (group4 ? "g4-" : "g3-") + std::to_string(count),
                 testsupport::build_winfax(std::vector<WinFaxPage>(count, tiny))});
        }
    }
    return files;
}

std::vector<CorpusFile> incomplete_first_lines() {
    std::vector<CorpusFile> files;
    const WinFaxPage good = coded_page("text2", 1728, 30, false);
    // "noline-" files have no complete first line for certain. Group 4 has no line ends, so
    // most damage there still yields lines of the width; those files are "badfirst-".
    auto add = [&](bool certain, const std::string& name, const WinFaxPage& first) {
        files.push_back(
            {(certain ? "noline-" : "badfirst-") + name, testsupport::build_winfax({first, good})});
    };
    for (bool group4 : {false, true}) {
        const std::string kind = group4 ? "g4-" : "g3-";
        // Lines coded for one width, declared as another.
        for (int coded_width : {1700, 1729, 2048}) {
            WinFaxPage p = coded_page("text3", coded_width, 20, group4);
            p.width = 1728;
            add(!group4, kind + "width" + std::to_string(coded_width), p);
        }
        WinFaxPage cut = coded_page("black", 1728, 2, group4);
        cut.data.resize(std::min<size_t>(cut.data.size(), 3));
        add(true, kind + "first-bytes", cut);
        for (uint8_t fill : {0x00, 0xFF, 0x80, 0x01, 0x55}) {
            WinFaxPage p = good;
            p.coding = group4 ? 1 : 0;
            p.data.assign(600, fill);
            add(!group4 || fill == 0x00, kind + "fill-" + std::to_string(fill), p);
        }
        WinFaxPage none = good;
        none.coding = group4 ? 1 : 0;
        none.data.clear();
        add(true, kind + "no-data", none);
    }
    // Group 3 data that is nothing but end-of-line codes (with fill), LSB first.
    WinFaxPage eols = good;
    eols.data.clear();
    for (int i = 0; i < 50; ++i) {
        eols.data.push_back(0x00);
        eols.data.push_back(0x80);
    }
    add(true, "g3-only-eols", eols);
    return files;
}

std::vector<CorpusFile> garbage() {
    std::vector<CorpusFile> files;
    std::mt19937 random(424242);
    for (int i = 0; i < 60; ++i) {
        Bytes bytes(16 + random() % 4096);
        for (auto& b : bytes)
            b = static_cast<uint8_t>(random());
        if (i % 3 != 0) {
            bytes[0] = 0x0B;
            bytes[1] = 0x23;
        }
        files.push_back({"garbage-" + std::to_string(i), bytes});
    }
    // A sound header in front of random data of each coding and several widths.
    for (int i = 0; i < 60; ++i) {
        WinFaxPage p;
        p.coding = static_cast<uint8_t>(i % 2);
        p.width = static_cast<uint16_t>(std::vector<int>{1728, 2048, 2432, 1, 64}[i % 5]);
        p.length = static_cast<uint16_t>(random() % 3000);
        p.data.resize(64 + random() % 8192);
        for (auto& b : p.data) {
            // Mostly zero bits, so that runs and end-of-line codes turn up often.
            b = static_cast<uint8_t>(random() & random() & random());
        }
        files.push_back({"randomdata-" + std::to_string(i), testsupport::build_winfax({p, p})});
    }
    return files;
}

using Corpus = std::map<std::string, std::vector<CorpusFile>>;

const Corpus& corpus() {
    static const Corpus groups = [] {
        const std::vector<Bytes> bases = base_files();
        Corpus c;
        c["flips"] = bit_flips(bases);
        c["truncations"] = truncations(bases);
        c["headers"] = header_extremes();
        c["chains"] = chains();
        c["pages"] = page_counts();
        c["first-lines"] = incomplete_first_lines();
        c["garbage"] = garbage();
        return c;
    }();
    return groups;
}

const char* const kExtensions[] = {".fxd", ".fxm", ".fxr", ".fxs"};

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A PDF's own structure: header, trailer, and a startxref that points at the xref table.
std::string structure_fault(const std::string& pdf) {
    if (pdf.rfind("%PDF-1.", 0) != 0)
        return "no PDF header";
    const size_t eof = pdf.rfind("%%EOF");
    if (eof == std::string::npos || pdf.size() - eof > 8)
        return "no %%EOF at the end";
    const size_t startxref = pdf.rfind("startxref");
    if (startxref == std::string::npos)
        return "no startxref";
    const long xref = std::strtol(pdf.c_str() + startxref + 9, nullptr, 10);
    if (xref <= 0 || static_cast<size_t>(xref) >= pdf.size() || pdf.compare(xref, 4, "xref") != 0)
        return "startxref does not point at the xref table";
    return {};
}

class MalformedCorpusTest : public ::testing::TestWithParam<std::string> {};

TEST(MalformedCorpus, HoldsMoreThanAThousandFilesFromEveryKindOfDamage) {
    size_t total = 0;
    for (const auto& [group, files] : corpus()) {
        EXPECT_GE(files.size(), 10u) << group;
        total += files.size();
    }
    EXPECT_GE(total, 1000u);
    std::printf("malformed corpus: %zu files\n", total);
    // The same seeds always give the same files.
    EXPECT_EQ(bit_flips(base_files())[17].bytes, corpus().at("flips")[17].bytes);
}

TEST_P(MalformedCorpusTest, FolderRunReportsEveryFileOnceAndLeavesOnlyWholePdfs) {
    const std::vector<CorpusFile>& files = corpus().at(GetParam());
    TempDir in;
    TempDir out_base;
    TempDir tmp;
    const std::string out = out_base.file("pdf");
    std::vector<std::string> names;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string name = files[i].name + kExtensions[i % 4];
        const std::string bytes(files[i].bytes.begin(), files[i].bytes.end());
        ASSERT_TRUE(testsupport::write_file(in.file(name), bytes)) << name;
        names.push_back(name);
    }

    testsupport::ChildOptions options;
    options.args = {"/d=" + in.path(), "/sd=" + out, "/log=" + out_base.file("log.txt"),
                    "/jobs=" + std::to_string(kJobs)};
    options.env = {{"TMPDIR", tmp.path()}};
    options.timeout_seconds = kSecondsPerFile * static_cast<double>(files.size()) + 10;
    const testsupport::ChildResult run = testsupport::run_child(TRELVANE_EXE, options);

    ASSERT_TRUE(run.started);
    ASSERT_FALSE(run.timed_out) << "the folder run hung (" << run.seconds << " s)";
    ASSERT_EQ(run.signal, 0) << run.err;

    // Exactly one report line per file, and a PDF exactly for each success.
    std::map<std::string, std::string> outcome;
    int line_count = 0;
    for (const std::string& line : lines_of(run.out)) {
        const size_t arrow = line.find(" --> ");
        if (arrow == std::string::npos)
            continue;
        ++line_count;
        const std::string source = line.substr(0, arrow);
        EXPECT_EQ(outcome.count(source), 0u) << "two lines for " << source;
        outcome[source] = line.substr(line.find(" : ", arrow) + 3);
    }
    EXPECT_EQ(line_count, static_cast<int>(files.size()));
    int converted = 0;
    for (const std::string& name : names) {
        const std::string source = in.file(name);
        const std::string pdf = out + "/" + name.substr(0, name.rfind('.')) + ".pdf";
        ASSERT_EQ(outcome.count(source), 1u) << "no report line for " << name;
        const std::string& said = outcome[source];
        // Damage whose outcome is certain: no page at all, or a first page without one
        // complete line, is no fax; thousands of sound pages all convert.
        if (name.rfind("none-", 0) == 0 || name.rfind("noline-", 0) == 0) {
            EXPECT_EQ(said, "Failed : " + source + " - Not Fax") << name;
        }
        if (name.rfind("many-", 0) == 0) {
            EXPECT_EQ(said, "Success !") << name;
            if (testsupport::tool_available("qpdf")) {
                const testsupport::ToolRun pages =
                    testsupport::run_tool({"qpdf", "--show-npages", pdf});
                const size_t count_at = name.rfind('-') + 1;
                EXPECT_EQ(pages.output, name.substr(count_at, name.rfind('.') - count_at) + "\n")
                    << name;
            }
        }
        // A converted file's line starts "Success !", and says so when a page is not whole.
        if (said.rfind("Success !", 0) == 0) {
            ++converted;
            EXPECT_TRUE(fs::exists(pdf)) << name;
        } else {
            EXPECT_EQ(said.rfind("Failed : " + source + " - ", 0), 0u) << name << ": " << said;
            EXPECT_FALSE(fs::exists(pdf)) << name;
        }
    }
    EXPECT_NE(run.out.find("Total converted FAX files: " + std::to_string(converted) + "\n"),
              std::string::npos);
    EXPECT_EQ(run.exit_code, converted == static_cast<int>(files.size()) ? 0 : 1);
    // Only the number of failures, nothing else (also: no sanitizer report).
    const size_t failed = files.size() - static_cast<size_t>(converted);
    EXPECT_EQ(run.err, failed == 0 ? std::string()
                                   : "trelvane: " + std::to_string(failed) +
                                         " not converted; the report says why (it is also in " +
                                         out_base.file("log.txt") + ")\n");

    std::printf("%s: %zu files, %d converted, %.1f s, peak RSS %ld KB\n", GetParam().c_str(),
                files.size(), converted, run.seconds, run.peak_rss_kb);
    if (!testsupport::built_with_address_sanitizer()) {
        EXPECT_LT(run.peak_rss_kb, kPeakRssLimitKb);
    }

    // Nothing half-written anywhere: no temporary PDF, no work file left, and every PDF whole.
    const bool have_qpdf = testsupport::tool_available("qpdf");
    for (const auto& entry : fs::recursive_directory_iterator(out_base.path())) {
        const std::string path = entry.path().string();
        EXPECT_EQ(path.find(".tmp-"), std::string::npos) << path;
        if (entry.path().extension() != ".pdf")
            continue;
        const std::string fault = structure_fault(testsupport::read_file(path));
        EXPECT_EQ(fault, "") << path;
        if (have_qpdf && fault.empty()) {
            const testsupport::ToolRun check = testsupport::qpdf_check(path);
            EXPECT_EQ(check.exit_code, 0) << path << "\n" << check.output;
        }
    }
    EXPECT_TRUE(fs::is_empty(tmp.path())) << "work files left behind";
}

INSTANTIATE_TEST_SUITE_P(Damage, MalformedCorpusTest,
                         ::testing::Values("flips", "truncations", "headers", "chains", "pages",
                                           "first-lines", "garbage"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace trelvane::e2e
