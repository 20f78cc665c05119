// Finding, loading and naming the pages of WinFax files, sound and damaged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "faxread/little_endian.h"
#include "faxread/winfax_reader.h"
#include "support/temp_dir.h"
#include "support/winfax_builder.h"

namespace trelvane::faxread {
namespace {

using testsupport::build_winfax;
using testsupport::TempDir;
using testsupport::winfax_page_offsets;
using testsupport::WinFaxPage;
using testsupport::write_winfax;

WinFaxPage page_of(size_t size, uint8_t fill) {
    WinFaxPage p;
    p.data.assign(size, fill);
    p.length = 100;
    return p;
}

class WinFaxContainer : public ::testing::Test {
  protected:
    // Writes the pages and opens them; returns the page count.
    uint16_t open(const std::vector<WinFaxPage>& pages) {
        EXPECT_TRUE(write_winfax(path_, pages));
        reader_.open_file(path_);
        EXPECT_TRUE(reader_.is_open());
        return reader_.count_pages();
    }
    std::vector<uint8_t> loaded(uint16_t index) {
        EXPECT_EQ(reader_.load_page(index), WinFaxReader::kOk);
        return {reader_.page_data().begin(), reader_.page_data().end()};
    }

    TempDir dir_;
    std::string path_ = dir_.file("fax.fxd");
    WinFaxReader reader_;
};

TEST_F(WinFaxContainer, OnePageWhoseNextOffsetIsTheFileSize) {
    const WinFaxPage p = page_of(300, 0x11);
    ASSERT_EQ(open({p}), 1);
    EXPECT_EQ(reader_.file_size(), 428);
    EXPECT_EQ(reader_.page_offset(0), 0);
    EXPECT_EQ(loaded(0), p.data);
}

TEST_F(WinFaxContainer, FollowsTheChainOverGapsThatAreNeverRead) {
    std::vector<WinFaxPage> pages = {page_of(10, 1), page_of(0, 2), page_of(33, 3), page_of(7, 4)};
    pages[0].gap = 50;
    pages[2].gap = 3;
    ASSERT_EQ(open(pages), 4);
    const std::vector<uint32_t> offsets = winfax_page_offsets(pages);
    for (uint16_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(reader_.page_offset(i), static_cast<int32_t>(offsets[i]));
        EXPECT_EQ(loaded(i), pages[i].data);
    }
}

TEST_F(WinFaxContainer, ChainEndsAtABadSignatureAndKeepsThePagesBefore) {
    std::vector<WinFaxPage> pages = {page_of(10, 1), page_of(10, 2), page_of(10, 3)};
    pages[2].bad_signature = true;
    EXPECT_EQ(open(pages), 2);
}

TEST_F(WinFaxContainer, ChainEndsWhenTheNextOffsetPointsAtOtherBytes) {
    std::vector<WinFaxPage> pages = {page_of(10, 1), page_of(40, 0x0B)};
    pages[0].t105 = 20;  // into page 1's header, past its signature
    EXPECT_EQ(open(pages), 1);
}

TEST_F(WinFaxContainer, ChainEndsAtOrPastTheEndOfTheFile) {
    for (int32_t beyond : {0, 1, 1000000}) {
        SCOPED_TRACE(beyond);
        std::vector<WinFaxPage> pages = {page_of(10, 1), page_of(10, 2)};
        // The second header's own terms point exactly at, or past, the end.
        pages[1].t105 = beyond;
        EXPECT_EQ(open(pages), 2);
    }
}

TEST_F(WinFaxContainer, ChainsThatPointBackOrAtThemselvesEnd) {
    std::vector<WinFaxPage> self = {page_of(10, 1), page_of(10, 2)};
    self[0].t89 = -(128 + 10);  // next = 0, the page itself
    EXPECT_EQ(open(self), 1);

    std::vector<WinFaxPage> back = {page_of(10, 1), page_of(10, 2), page_of(10, 3)};
    back[2].t89 = 0;  // the third page points back at the second (offset 138)
    EXPECT_EQ(open(back), 3);
}

TEST_F(WinFaxContainer, EveryPageCountsUpToTheLargestPageNumber) {
    std::vector<WinFaxPage> pages(1500, page_of(4, 0x55));
    ASSERT_EQ(open(pages), 1500);
    EXPECT_EQ(reader_.page_offset(1499), 1499 * 132);
    EXPECT_EQ(reader_.pages_left_out(), 0u);

    // Past 65535 pages the rest are counted, not kept.
    pages.assign(65535 + 1234, page_of(0, 0));
    ASSERT_EQ(open(pages), 65535);
    EXPECT_EQ(reader_.page_offset(65534), 65534 * 128);
    EXPECT_EQ(reader_.pages_left_out(), 1234u);
    EXPECT_EQ(reader_.add_page_offset(5), -1);
}

TEST_F(WinFaxContainer, OverlappingHeadersCountNoMorePagesThanTheFileHolds) {
    // Headers 64 bytes apart, each one's chain term inside the next one's text: 41 headers in
    // a file of 2688 bytes, which holds 21 pages of at least 128 bytes.
    std::vector<uint8_t> bytes(40 * 64 + 128, 0);
    for (uint32_t at = 0; at + 128 <= bytes.size(); at += 64) {
        bytes[at] = 0x0B;
        bytes[at + 1] = 0x23;
        le::put_u32(bytes, at + 89, at + 64);
    }
    ASSERT_TRUE(testsupport::write_file(path_, std::string(bytes.begin(), bytes.end())));
    reader_.open_file(path_);
    ASSERT_EQ(reader_.count_pages(), 21);
    EXPECT_EQ(reader_.page_offset(20), 20 * 64);
    EXPECT_EQ(reader_.pages_left_out(), 20u);
}

TEST_F(WinFaxContainer, DataLengthIsCutToTheRestOfTheFile) {
    for (int32_t declared : {1000000, 2147483647, -1, -2147483647 - 1}) {
        SCOPED_TRACE(declared);
        std::vector<WinFaxPage> pages = {page_of(20, 1), page_of(30, 2)};
        pages[1].declared_length = declared;
        ASSERT_EQ(open(pages), 2);
        EXPECT_EQ(loaded(1), pages[1].data);
        EXPECT_EQ(reader_.page_data_length(), 30);
        // The header itself is fixed up, so nothing ever sizes a buffer by the claim.
        EXPECT_EQ(reader_.header().data_length, 30);
    }
    // In the middle of the file the rest includes the pages after it.
    std::vector<WinFaxPage> pages = {page_of(20, 1), page_of(30, 2)};
    pages[0].declared_length = 999999;
    ASSERT_EQ(open(pages), 2);
    EXPECT_EQ(loaded(0).size(), 20u + 128u + 30u);
}

TEST_F(WinFaxContainer, HeaderCutShortByTheEndOfTheFileHasNoData) {
    std::vector<uint8_t> bytes = build_winfax({page_of(0, 0)});
    bytes.resize(60);
    ASSERT_TRUE(testsupport::write_file(path_, std::string(bytes.begin(), bytes.end())));
    reader_.open_file(path_);
    ASSERT_EQ(reader_.count_pages(), 1);
    EXPECT_TRUE(loaded(0).empty());
}

TEST_F(WinFaxContainer, ZeroWidthAndLengthMeanAStandardPage) {
    WinFaxPage p = page_of(10, 1);
    p.width = 0;
    p.length = 0;
    ASSERT_EQ(open({p}), 1);
    ASSERT_EQ(reader_.load_page(0), WinFaxReader::kOk);
    EXPECT_EQ(reader_.page_width(), 1728);
    EXPECT_EQ(reader_.page_length(), 3432);
}

TEST_F(WinFaxContainer, ResolutionCodes) {
    const struct {
        uint8_t code;
        uint16_t lines_per_inch;
    } table[] = {{0, 100}, {1, 200}, {2, 400}, {3, 400}, {255, 400}};
    for (const auto& row : table) {
        SCOPED_TRACE(static_cast<int>(row.code));
        WinFaxPage p = page_of(10, 1);
        p.resolution = row.code;
        ASSERT_EQ(open({p}), 1);
        ASSERT_EQ(reader_.load_page(0), WinFaxReader::kOk);
        EXPECT_EQ(reader_.horizontal_resolution(), 200);
        EXPECT_EQ(reader_.vertical_resolution(), row.lines_per_inch);
    }
}

TEST_F(WinFaxContainer, TitleIsTheHeaderTextUpToItsFirstZero) {
    std::vector<WinFaxPage> pages = {page_of(10, 1), page_of(10, 2), page_of(10, 3)};
    pages[0].title = "Order 4471";
    pages[1].title = "";
    pages[2].title = std::string("abc\0def", 7);
    ASSERT_EQ(open(pages), 3);
    FaxMetadata m;
    m.author_text = "stale";
    ASSERT_EQ(reader_.read_title(0, m), 0);
    EXPECT_EQ(m.title_text, "Order 4471");
    EXPECT_FALSE(m.author_text.has_value());
    ASSERT_EQ(reader_.read_title(1, m), 0);
    EXPECT_FALSE(m.title_text.has_value());
    ASSERT_EQ(reader_.read_title(2, m), 0);
    EXPECT_EQ(m.title_text, "abc");
}

TEST_F(WinFaxContainer, TitleOf119BytesRunsOverTheFieldsToTheEndOfTheHeader) {
    WinFaxPage p = page_of(10, 1);
    p.title = std::string(119, 'T');
    p.title_over_fields = true;
    ASSERT_EQ(open({p}), 1);
    FaxMetadata m;
    ASSERT_EQ(reader_.read_title(0, m), 0);
    ASSERT_TRUE(m.title_text.has_value());
    EXPECT_EQ(*m.title_text, std::string(119, 'T'));
}

TEST_F(WinFaxContainer, EmptyFileHasNoPagesAndIsClosed) {
    ASSERT_TRUE(testsupport::write_file(path_, ""));
    reader_.open_file(path_);
    ASSERT_TRUE(reader_.is_open());
    EXPECT_EQ(reader_.count_pages(), 0);
    EXPECT_FALSE(reader_.is_open());
    EXPECT_EQ(reader_.load_page(0), WinFaxReader::kNoFile);
    EXPECT_EQ(reader_.read_page_header(0), WinFaxReader::kNoFile);
    FaxMetadata m;
    m.title_text = "kept";
    EXPECT_EQ(reader_.read_title(0, m), 0);
    EXPECT_EQ(m.title_text, "kept");
}

TEST_F(WinFaxContainer, MissingFileLeavesTheReaderWithoutFile) {
    reader_.open_file(dir_.file("absent.fxd"));
    EXPECT_FALSE(reader_.is_open());
    EXPECT_EQ(reader_.count_pages(), 0);
}

TEST(WinFaxPageFileName, NumbersPagesAfterTheNameWithoutExtension) {
    const struct {
        const char* path;
        uint16_t index;
        const char* name;
    } table[] = {
        {"/tmp/tvnintif.tmp", 0, "/tmp/tvnintif001.tif"},
        {"/tmp/tvnintif.tmp", 1, "/tmp/tvnintif002.tif"},
        {"/tmp/tvnintif.tmp", 998, "/tmp/tvnintif999.tif"},
        {"/tmp/tvnintif.tmp", 999, "/tmp/tvnintif1000.tif"},
        {"/tmp/tvnintif.tmp", 1023, "/tmp/tvnintif1024.tif"},
        {"/tmp/noext", 4, "/tmp/noext005.tif"},
        {"/tmp/my.dir/work", 0, "/tmp/my.dir/work001.tif"},
        {"a.b.c", 0, "a.b001.tif"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(WinFaxReader::page_file_name(row.path, row.index), row.name);
    }
}

}  // namespace
}  // namespace trelvane::faxread
