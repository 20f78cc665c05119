// Reader of WinFax fax files: a chain of 128-byte page headers, each followed by the page's
// CCITT-coded data (first coded bit in the least significant bit). Finds the pages, loads one
// page at a time, reads the document title, and writes the pages unchanged into the
// intermediate TIFF file, decoding them only to count their scan lines.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "faxcodec/fax_page_image.h"
#include "faxcodec/strip_decoder.h"
#include "faxread/fax_file_reader.h"
#include "faxread/fax_metadata.h"
#include "faxread/tiff_page_writer.h"
#include "faxread/winfax_page_header.h"

namespace trelvane::faxread {

// How much of a page the decoders keep. The program only ever needs a page's size, so it
// decodes without drawing; the whole bitmap is for callers that look at the pixels. To tell a
// fax it is enough that one line decodes: kFirstLine stops there (the image's lines are then
// 1, or 0 when no line completes), which saves decoding the rest of every first page.
enum class PageDecode { kCountOnly, kFullBitmap, kFirstLine };

// What writing one page met that the file's report line should name.
struct PageReadStatus {
    uint16_t index = 0;
    // The file ends before the data the page's header declares (or inside the header of the
    // page after it): the page, and maybe pages after it, are not all there.
    bool file_cut_short = false;
    // The page's lines were recounted by decoding it; `decode` says what the decoder met.
    bool recounted = false;
    faxcodec::StripDecodeStatus decode;
    // The recount found no row in the data: the page keeps its declared size, and is blank.
    bool no_rows = false;
};

class WinFaxReader : public FaxFileReader {
  public:
    static constexpr size_t kHeaderSize = WinFaxPageHeader::kSize;
    static constexpr uint16_t kDefaultWidth = 1728;
    static constexpr uint16_t kDefaultLength = 3432;
    static constexpr uint16_t kHorizontalResolution = 200;

    // Results.
    static constexpr int32_t kOk = 0;
    static constexpr int32_t kNoFile = -1;
    static constexpr int32_t kBadSignature = -2;
    static constexpr int32_t kOutOfMemory = -3;
    static constexpr int32_t kOutputFailed = -4;  // an output file cannot be created or written

    // 0 with a valid header at offset, kBadSignature without one, kNoFile without a file.
    int32_t read_page_header(int32_t offset);
    // Enumerates the chain from offset 0; closes the file when it holds no page. Pages past
    // page_limit() are not kept but counted (pages_left_out).
    uint16_t count_pages();
    uint32_t pages_left_out() const { return pages_left_out_; }
    // Loads page index's header (with fix-ups) and coded data; sets the resolutions.
    int32_t load_page(uint16_t index);
    // Replaces the metadata with page index's header text as title.
    int32_t read_title(uint16_t index, FaxMetadata& metadata);

    // Loads and decodes page index into image; leaves the image alone when that is impossible.
    // Gives load_page's result.
    int32_t describe_page(uint16_t index, faxcodec::FaxPageImage& image,
                          PageDecode decode = PageDecode::kCountOnly);
    // Writes pages 0 to count - 1 as one multi-page TIFF file; 0, kOutputFailed when the file
    // cannot be created or written, or load_page's result for a page that cannot be loaded.
    // system_error() then says why.
    int32_t write_multipage_tiff(const std::string& path, uint16_t count, uint8_t recount);
    // Writes every page as a TIFF file of its own named page_file_name(path, i); results as
    // write_multipage_tiff.
    int32_t write_page_files(const std::string& path, uint16_t count, uint8_t recount);
    // path without its extension, then 001, 002 ... (wider from 1000 on), then ".tif".
    static std::string page_file_name(const std::string& path, uint16_t index);
    // The pages of the last write that have something to report, in page order.
    const std::vector<PageReadStatus>& page_statuses() const { return page_statuses_; }
    // The line count each page's header declares as stored (0: none, taken as kDefaultLength),
    // for the pages of the last write, in page order.
    const std::vector<uint16_t>& declared_lengths() const { return declared_lengths_; }
    // True when the last load_page found the file shorter than the page's header says.
    bool page_data_cut() const { return page_data_cut_; }

    // The header last read (after fix-ups when load_page read it).
    const WinFaxPageHeader& header() const { return header_; }
    uint16_t page_width() const { return header_.width; }
    uint16_t page_length() const { return header_.length; }
    // 0: Group 3 one-dimensional, else Group 4.
    uint8_t page_coding() const { return header_.coding; }
    uint16_t horizontal_resolution() const { return horizontal_resolution_; }
    uint16_t vertical_resolution() const { return vertical_resolution_; }

    void set_time_source(LocalTimeSource source) { time_source_ = std::move(source); }

  private:
    void decode_loaded_page(faxcodec::FaxPageImage& image, PageDecode decode);
    // 0, or load_page's failure, or kOutputFailed when the writer failed.
    int32_t write_page(TiffPageWriter& writer, uint16_t index, uint16_t count, uint8_t recount);
    int32_t write_pages_to(const std::string& path, uint16_t first, uint16_t end, uint16_t count,
                           uint8_t recount);

    WinFaxPageHeader header_;
    uint32_t pages_left_out_ = 0;
    bool chain_cut_in_header_ = false;  // the file ends inside the next header's signature
    bool page_data_cut_ = false;
    uint16_t declared_length_ = 0;  // the last loaded header's line count before its fix-up
    std::vector<PageReadStatus> page_statuses_;
    std::vector<uint16_t> declared_lengths_;
    uint16_t horizontal_resolution_ = 0;
    uint16_t vertical_resolution_ = 0;
    LocalTimeSource time_source_ = current_local_time;
};

}  // namespace trelvane::faxread
