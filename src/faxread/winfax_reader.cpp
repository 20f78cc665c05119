#include "faxread/winfax_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>

#include "faxcodec/coded_strip.h"
#include "faxcodec/group3_decoder.h"
#include "faxcodec/group4_decoder.h"
#include "platform/paths.h"

namespace trelvane::faxread {
namespace {

constexpr uint8_t kLsbFirst = 2;           // TIFF fill order 2
constexpr uint16_t kResolutionInch = 2;    // TIFF resolution unit
constexpr uint16_t kWhiteIsZero = 0;       // TIFF photometric interpretation
constexpr uint8_t kGroup4MarkerCount = 3;  // resynchronisation marker length after bad codes

// The strip of a page that has no data at all: a Group 4 end-of-facsimile block (two
// end-of-line codes, first bit in the least significant bit), which decodes to no row. A strip
// of no bytes is one the TIFF library takes for a missing byte count and replaces with a guess
// that runs on into the file's next directories.
constexpr uint8_t kEmptyGroup4Page[] = {0x00, 0x08, 0x80};

}  // namespace

int32_t WinFaxReader::read_page_header(int32_t offset) {
    if (!is_open())
        return kNoFile;
    std::array<uint8_t, kHeaderSize> raw{};
    read_at(offset, raw);  // a short read leaves the rest zero
    header_ = WinFaxPageHeader::read(raw);
    return header_.signature_ok ? kOk : kBadSignature;
}

uint16_t WinFaxReader::count_pages() {
    clear_page_offsets();
    pages_left_out_ = 0;
    chain_cut_in_header_ = false;
    int32_t offset = 0;
    int32_t r = read_page_header(0);
    while (r == kOk) {
        // Pages past what the file can hold are only counted, for the report to name.
        if (add_page_offset(offset) != 0)
            ++pages_left_out_;
        // The next header's absolute offset, from the terms as stored (32-bit wrap-around).
        const int32_t next = header_.next_offset();
        if (next >= file_size())
            break;
        // A chain that points back or at itself would never end.
        if (next <= offset)
            break;
        offset = next;
        r = read_page_header(next);
        // The file ends inside the next header's signature: cut there. (A header cut later
        // keeps its signature and is a page whose data the file cuts.)
        if (r == kBadSignature && int64_t{next} + 2 > file_size())
            chain_cut_in_header_ = true;
    }
    if (page_count() == 0)
        close_file();
    return page_count();
}

int32_t WinFaxReader::load_page(uint16_t index) {
    if (!is_open())
        return kNoFile;
    const int32_t offset = page_offset(index);
    std::array<uint8_t, kHeaderSize> raw{};
    read_at(offset, raw);
    header_ = WinFaxPageHeader::read(raw);

    declared_length_ = header_.length;
    if (header_.width == 0)
        header_.width = kDefaultWidth;
    if (header_.length == 0)
        header_.length = kDefaultLength;
    // The data cannot reach past the end of the file, whatever the header claims.
    const int64_t remainder = static_cast<int64_t>(file_size()) - offset - int64_t{kHeaderSize};
    int32_t length = header_.data_length;
    page_data_cut_ = remainder < 0 || length > remainder;
    if (length < 0 || length > remainder) {
        length = remainder < 0 ? 0 : static_cast<int32_t>(remainder);
        header_.data_length = length;
    }

    std::vector<uint8_t>().swap(page_data_);  // only one page in memory at a time
    try {
        page_data_.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
    const size_t got = read_at(int64_t{offset} + int64_t{kHeaderSize}, page_data_);
    if (got < page_data_.size())
        page_data_cut_ = true;
    page_data_.resize(got);  // a file that shrank since it was measured: keep what is there

    horizontal_resolution_ = kHorizontalResolution;
    vertical_resolution_ = header_.vertical_resolution();
    return kOk;
}

int32_t WinFaxReader::read_title(uint16_t index, FaxMetadata& metadata) {
    if (!is_open())
        return kOk;
    std::array<uint8_t, kHeaderSize> raw{};
    read_at(page_offset(index), raw);
    metadata.clear();
    try {
        std::string text = WinFaxPageHeader::read(raw).text;
        if (!text.empty())
            metadata.title_text = std::move(text);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return kOk;
}

void WinFaxReader::decode_loaded_page(faxcodec::FaxPageImage& image, PageDecode decode) {
    const bool count_only = decode != PageDecode::kFullBitmap;
    const bool first_line_only = decode == PageDecode::kFirstLine;
    const auto size = static_cast<int32_t>(page_data_.size());
    if (page_coding() == 0) {
        faxcodec::Group3Decoder decoder(page_data_.data(), size, kLsbFirst,
                                        faxcodec::kGroup3OneDimensional, 0);
        decoder.set_coding_kind(faxcodec::kGroup3OneDimensional);
        decoder.set_dimensions(page_width(), page_length());
        decoder.set_count_only(count_only);
        decoder.set_first_line_only(first_line_only);
        decoder.decode_page(image);
    } else {
        faxcodec::Group4Decoder decoder(page_data_.data(), size, kLsbFirst, 0, 0,
                                        kGroup4MarkerCount);
        decoder.set_dimensions(page_width(), page_length());
        decoder.set_count_only(count_only);
        decoder.set_first_line_only(first_line_only);
        decoder.decode_g4_page(image);
    }
    image.resolution_unit = kResolutionInch;
    image.x_resolution = horizontal_resolution_;
    image.y_resolution = static_cast<int16_t>(vertical_resolution_);
}

int32_t WinFaxReader::describe_page(uint16_t index, faxcodec::FaxPageImage& image,
                                    PageDecode decode) {
    if (!is_open())
        return kNoFile;
    const int32_t loaded = load_page(index);
    if (loaded == kOk)
        decode_loaded_page(image, decode);
    return loaded;
}

int32_t WinFaxReader::write_page(TiffPageWriter& writer, uint16_t index, uint16_t count,
                                 uint8_t recount) {
    // Writing the previous page's data under this page's number would be worse than failing.
    const int32_t loaded = load_page(index);
    if (loaded != kOk)
        return loaded;
    PageReadStatus status;
    status.index = index;
    declared_lengths_.push_back(declared_length_);
    status.file_cut_short = page_data_cut_ || (chain_cut_in_header_ && index + 1 == page_count());
    if (recount != 0) {
        // The copy stage's own decoder, so that the count is exactly the rows it will take
        // from the data: damaged lines included, the end-of-page codes not.
        const faxcodec::CodedStrip strip(std::span<const uint8_t>(page_data_), kLsbFirst);
        status.recounted = true;
        status.decode = faxcodec::StripDecoder::count_rows(
            strip,
            page_coding() == 0 ? faxcodec::StripCoding::kGroup3OneDimensional
                               : faxcodec::StripCoding::kGroup4,
            page_width(), page_length());
        // A page whose data yields no row keeps the size its header gives: a length of 0
        // is no page at all to the TIFF library, and every page after it would be lost.
        status.no_rows = status.decode.content_rows == 0;
        if (!status.no_rows) {
            header_.length = static_cast<uint16_t>(
                std::min<uint32_t>(status.decode.content_rows, page_length()));
        }
    }
    if (status.file_cut_short || status.no_rows || (status.recounted && !status.decode.clean()))
        page_statuses_.push_back(status);
    const bool no_data = page_data_.empty();
    const bool group4 = no_data || page_coding() != 0;
    writer.set_coding(group4 ? faxcodec::kGroup4 : faxcodec::kGroup3OneDimensional, kWhiteIsZero);
    writer.set_fill_order(kLsbFirst);
    writer.set_dimensions(page_width(), page_length());
    writer.set_page_number(index, count);
    const std::span<const uint8_t> strip =
        no_data ? std::span<const uint8_t>(kEmptyGroup4Page) : std::span<const uint8_t>(page_data_);
    writer.write_directory(
        writer.append_strip(strip, horizontal_resolution_, vertical_resolution_, kResolutionInch));
    return writer.failed() ? kOutputFailed : kOk;
}

int32_t WinFaxReader::write_pages_to(const std::string& path, uint16_t first, uint16_t end,
                                     uint16_t count, uint8_t recount) {
    system_error_ = 0;
    TiffPageWriter writer(path);
    if (!writer.is_open()) {
        system_error_ = writer.system_error();
        return kOutputFailed;
    }
    writer.set_time_source(time_source_);
    writer.write_header();
    writer.set_fixed_entries();
    int32_t result = kOk;
    for (uint32_t i = first; i < end && result == kOk; ++i)
        result = write_page(writer, static_cast<uint16_t>(i), count, recount);
    // A page that could not be loaded must not pass for a file that holds every page.
    if (result == kOutOfMemory)
        system_error_ = ENOMEM;
    if (!writer.close() && result == kOk)
        result = kOutputFailed;
    if (result == kOutputFailed)
        system_error_ = writer.system_error();
    return result;
}

int32_t WinFaxReader::write_multipage_tiff(const std::string& path, uint16_t count,
                                           uint8_t recount) {
    page_statuses_.clear();
    declared_lengths_.clear();
    return write_pages_to(path, 0, count, count, recount);
}

int32_t WinFaxReader::write_page_files(const std::string& path, uint16_t count, uint8_t recount) {
    page_statuses_.clear();
    declared_lengths_.clear();
    for (uint32_t i = 0; i < count; ++i) {
        const auto index = static_cast<uint16_t>(i);
        const int32_t r = write_pages_to(page_file_name(path, index), index,
                                         static_cast<uint16_t>(i + 1), count, recount);
        if (r != kOk)
            return r;
    }
    return kOk;
}

std::string WinFaxReader::page_file_name(const std::string& path, uint16_t index) {
    // Only a dot in the file name starts the extension; one in a folder name is kept, so the
    // page files land in the same folder as path.
    const size_t name_start = path.size() - platform::name_of(path).size();
    const size_t dot = path.rfind('.');
    const bool has_extension = dot != std::string::npos && dot >= name_start;
    std::string name = has_extension ? path.substr(0, dot) : path;
    // 001 to 999, then as many digits as it takes, so no page file replaces another.
    char number[16];
    std::snprintf(number, sizeof number, "%03u", static_cast<unsigned>(index) + 1u);
    name += number;
    name += ".tif";
    return name;
}

}  // namespace trelvane::faxread
