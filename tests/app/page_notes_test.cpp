// The notes after "Success !": which pages are not whole and how, merged from what the reader
// and the copy stage met, in one line a user can read.
#include "app/page_notes.h"
#include "app/report_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trelvane::app {
namespace {

using faxcodec::StripCoding;
using faxcodec::StripDecodeStatus;

StripDecodeStatus decoded(StripCoding coding, uint32_t damaged, int64_t first, bool cut) {
    StripDecodeStatus s;
    s.coding = coding;
    s.damaged_rows = damaged;
    s.first_damaged_row = first;
    s.cut_short = cut;
    return s;
}

pdfout::CopiedPage copied(uint32_t index, StripDecodeStatus decode, bool unreadable = false,
                          bool left_out = false) {
    pdfout::CopiedPage p;
    p.index = index;
    p.decode = decode;
    p.rows_held = decode.content_rows;
    p.unreadable = unreadable;
    p.left_out = left_out;
    return p;
}

faxread::PageReadStatus read(uint16_t index, bool file_cut, bool recounted = false,
                             StripDecodeStatus decode = {}) {
    faxread::PageReadStatus s;
    s.index = index;
    s.file_cut_short = file_cut;
    s.recounted = recounted;
    s.decode = decode;
    return s;
}

struct NotesCase {
    const char* name;
    std::vector<faxread::PageReadStatus> read;
    std::vector<pdfout::CopiedPage> copied;
    uint32_t kept;
    uint32_t left_out;
    std::string expected;
    std::vector<uint32_t> without_text = {};  // /ocr: pages whose recognition failed
    std::vector<uint16_t> declared = {};      // the headers' line counts
};

class SuccessText : public ::testing::TestWithParam<NotesCase> {};

TEST_P(SuccessText, NamesThePagesThatAreNotWhole) {
    const NotesCase& c = GetParam();
    pdfout::TiffCopyReport report;
    report.pages = c.copied;
    FileNotes notes = collect_page_notes(c.read, report, c.kept, c.left_out, c.declared);
    add_pages_without_text(notes, c.without_text);
    EXPECT_EQ(success_text(notes), c.expected);
}

const StripDecodeStatus kClean{};

// A clean page whose data holds `rows` lines.
StripDecodeStatus holding(uint32_t rows, bool cut = false) {
    StripDecodeStatus s;
    s.rows_decoded = rows;
    s.content_rows = rows;
    s.cut_short = cut;
    return s;
}

faxread::PageReadStatus found_no_rows(uint16_t index) {
    faxread::PageReadStatus s = read(index, false, true, holding(0));
    s.no_rows = true;
    return s;
}
const StripCoding kG3 = StripCoding::kGroup3OneDimensional;
const StripCoding kG4 = StripCoding::kGroup4;

INSTANTIATE_TEST_SUITE_P(
    Files, SuccessText,
    ::testing::Values(
        NotesCase{"Whole", {}, {copied(0, kClean), copied(1, kClean)}, 2, 0, "Success !"},
        NotesCase{"TheIssuesExample",
                  {},
                  {copied(2, decoded(kG3, 4, 10, false)), copied(6, decoded(kG4, 0, -1, true))},
                  9,
                  0,
                  "Success ! (page 3: 4 damaged lines; page 7: data cut short)"},
        NotesCase{"OneDamagedLine",
                  {},
                  {copied(0, decoded(kG3, 1, 33, false))},
                  1,
                  0,
                  "Success ! (page 1: 1 damaged line)"},
        NotesCase{"GroupFourFromItsFirstDamagedLine",
                  {},
                  {copied(1, decoded(kG4, 7, 120, true))},
                  2,
                  0,
                  "Success ! (page 2: damaged from line 121, data cut short)"},
        // The file's end explains the data's; the recount's status joins the copy stage's.
        NotesCase{"FileCutShort",
                  {read(3, true, true, decoded(kG3, 0, -1, true))},
                  {copied(3, decoded(kG3, 2, 5, false))},
                  4,
                  0,
                  "Success ! (page 4: 2 damaged lines, file cut short)"},
        NotesCase{"RecountSawTheCut",
                  {read(0, false, true, decoded(kG4, 0, -1, true))},
                  {copied(0, kClean)},
                  1,
                  0,
                  "Success ! (page 1: data cut short)"},
        NotesCase{"Unreadable",
                  {},
                  {copied(0, kClean, true)},
                  1,
                  0,
                  "Success ! (page 1: unreadable, left blank)"},
        NotesCase{"CopyFailed",
                  {read(1, true)},
                  {copied(1, kClean, false, true)},
                  2,
                  0,
                  "Success ! (page 2: left out)"},
        NotesCase{"PagesLeftOut", {}, {}, 65535, 1234, "Success ! (pages 65536 to 66769 left out)"},
        NotesCase{"OnePageLeftOut",
                  {},
                  {copied(0, decoded(kG3, 3, 0, false))},
                  21,
                  1,
                  "Success ! (page 1: 3 damaged lines; page 22 left out)"},
        NotesCase{"NoTextLayer",
                  {},
                  {copied(0, kClean), copied(3, kClean)},
                  5,
                  0,
                  "Success ! (page 4: no text layer)",
                  {3}},
        NotesCase{"NoTextLayerBesideDamage",
                  {},
                  {copied(1, decoded(kG3, 3, 0, false))},
                  2,
                  0,
                  "Success ! (page 1: no text layer; page 2: 3 damaged lines, no text layer)",
                  {1, 0}},
        // The lines each page's data holds against its header's count.
        NotesCase{"NoUsableData",
                  {},
                  {copied(0, holding(80)), copied(1, holding(0))},
                  2,
                  0,
                  "Success ! (page 2: no usable data, left blank)",
                  {},
                  {80, 80}},
        NotesCase{"TheRecountFoundNoLine",
                  {found_no_rows(1)},
                  {copied(0, holding(80)), copied(1, holding(0))},
                  2,
                  0,
                  "Success ! (page 2: no usable data, left blank)",
                  {},
                  {80, 80}},
        NotesCase{"FarShort",
                  {},
                  {copied(2, holding(349))},
                  3,
                  0,
                  "Success ! (page 3: 751 of 1100 lines missing)",
                  {},
                  {80, 80, 1100}},
        NotesCase{"FarShortAndCut",
                  {},
                  {copied(0, holding(349, true))},
                  1,
                  0,
                  "Success ! (page 1: 751 of 1100 lines missing, data cut short)",
                  {},
                  {1100}},
        NotesCase{"TallHeader",
                  {},
                  {copied(0, holding(2200))},
                  1,
                  0,
                  "Success ! (page 1: 63335 of 65535 lines missing)",
                  {},
                  {65535}},
        // A twentieth of the declared count is slack; more is named.
        NotesCase{"ATwentiethShort",
                  {},
                  {copied(0, holding(95)), copied(1, holding(80))},
                  2,
                  0,
                  "Success ! (page 2: 5 of 85 lines missing)",
                  {},
                  {100, 85}},
        NotesCase{"UndeclaredOrExact",
                  {},
                  {copied(0, holding(80)), copied(1, holding(80))},
                  2,
                  0,
                  "Success !",
                  {},
                  {0, 80}},
        // Lines past the page's length are not in it.
        NotesCase{"LinesPastTheHeader",
                  {},
                  {copied(0, holding(120)), copied(1, holding(3500))},
                  2,
                  0,
                  "Success ! (page 1: 40 lines past line 80 left out; page 2: 68 lines past "
                  "line 3432 left out)",
                  {},
                  {80, 0}},
        NotesCase{"LeftOutSaysAll",
                  {found_no_rows(0)},
                  {copied(0, kClean, false, true)},
                  1,
                  0,
                  "Success ! (page 1: left out)",
                  {},
                  {65535}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SuccessText, NotesOnTheFileComeAfterThePages) {
    pdfout::TiffCopyReport report;
    report.pages = {copied(0, decoded(kG3, 2, 0, false))};
    EXPECT_EQ(success_text(collect_page_notes({}, report, 1, 0), {"file times not kept: x"}),
              "Success ! (page 1: 2 damaged lines; file times not kept: x)");
    EXPECT_EQ(success_text(FileNotes{}, {"file times not kept: x"}),
              "Success ! (file times not kept: x)");
}

TEST(SuccessText, ManyPagesNotWholeAreNamedUpToTwentyAndCountedAfter) {
    pdfout::TiffCopyReport report;
    for (uint32_t i = 0; i < 25; ++i)
        report.pages.push_back(copied(i, decoded(kG3, 1, 0, false)));
    const std::string text = success_text(collect_page_notes({}, report, 25, 0));
    EXPECT_EQ(text.rfind("Success ! (page 1: 1 damaged line; page 2: ", 0), 0u) << text;
    EXPECT_NE(text.find("; page 20: 1 damaged line; 5 more pages not whole)"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("page 21:"), std::string::npos);
}

}  // namespace
}  // namespace trelvane::app
