#include "faxread/tiff_page_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "faxread/little_endian.h"
#include "platform/clock.h"

namespace trelvane::faxread {
namespace {

constexpr uint16_t kTypeAscii = 2;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeRational = 5;

constexpr uint16_t kTagNewSubfileType = 254;
constexpr uint16_t kTagImageWidth = 256;
constexpr uint16_t kTagImageLength = 257;
constexpr uint16_t kTagBitsPerSample = 258;
constexpr uint16_t kTagCompression = 259;
constexpr uint16_t kTagPhotometric = 262;
constexpr uint16_t kTagFillOrder = 266;
constexpr uint16_t kTagStripOffsets = 273;
constexpr uint16_t kTagOrientation = 274;
constexpr uint16_t kTagSamplesPerPixel = 277;
constexpr uint16_t kTagRowsPerStrip = 278;
constexpr uint16_t kTagStripByteCounts = 279;
constexpr uint16_t kTagXResolution = 282;
constexpr uint16_t kTagYResolution = 283;
constexpr uint16_t kTagPlanarConfig = 284;
constexpr uint16_t kTagT4Options = 292;
constexpr uint16_t kTagT6Options = 293;
constexpr uint16_t kTagResolutionUnit = 296;
constexpr uint16_t kTagPageNumber = 297;
constexpr uint16_t kTagSoftware = 305;
constexpr uint16_t kTagDateTime = 306;

constexpr uint32_t kSoftwareSize = 22;
constexpr uint32_t kDateTimeSize = 20;

struct CodingTags {
    uint8_t kind;
    uint16_t compression;
    uint16_t options_tag;
    uint32_t options;
};

// Coding kinds of the shared enumeration and how TIFF names them.
constexpr CodingTags kCodingTable[] = {
    {1, 1, kTagT4Options, 0},      // uncompressed
    {3, 2, kTagT4Options, 4},      // modified Huffman run lengths
    {4, 32771, kTagT4Options, 4},  // the same, word-aligned
    {5, 3, kTagT4Options, 4},      // Group 3 one-dimensional, fill bits before EOL
    {6, 3, kTagT4Options, 5},      // Group 3 two-dimensional, fill bits
    {7, 4, kTagT6Options, 0},      // Group 4
    {8, 32773, kTagT4Options, 0},  // PackBits
};

}  // namespace

std::tm current_local_time() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    platform::local_time(now, local);
    return local;
}

TiffPageWriter::TiffPageWriter(const std::string& path) {
    file_ = open_stdio_file(path, "wb");
    if (!file_)
        file_ = open_stdio_file(path, "wb");
    if (!file_)
        system_error_ = errno;
}

void TiffPageWriter::fail(int error) {
    if (!failed_ && system_error_ == 0)
        system_error_ = error;
    failed_ = true;
}

void TiffPageWriter::write_header() {
    directory_offset_ = kHeaderSize;
    std::array<uint8_t, kHeaderSize> header{};
    le::put_u16(header, 0, kLittleEndianMark);
    le::put_u16(header, 2, 42);
    le::put_u32(header, 4, directory_offset_);
    if (!file_) {
        fail(0);  // the create failed and said why
        return;
    }
    if (std::fwrite(header.data(), 1, header.size(), file_.get()) != header.size())
        fail(errno);
}

void TiffPageWriter::set_entry(int number, uint16_t tag, uint16_t type, uint32_t count,
                               uint32_t value) {
    entries_[static_cast<size_t>(number - 1)] = Entry{tag, type, count, value};
}

void TiffPageWriter::set_fixed_entries() {
    set_entry(1, kTagNewSubfileType, kTypeLong, 1, 2);  // page of a multi-page document
    set_entry(2, kTagImageWidth, kTypeLong, 1, 0);
    set_entry(3, kTagImageLength, kTypeLong, 1, 0);
    set_entry(4, kTagBitsPerSample, kTypeShort, 1, 1);
    set_entry(5, kTagCompression, kTypeShort, 1, 1);
    set_entry(6, kTagPhotometric, kTypeShort, 1, 0);
    set_entry(7, kTagFillOrder, kTypeShort, 1, 1);
    set_entry(8, kTagStripOffsets, kTypeLong, 1, 0);
    set_entry(9, kTagOrientation, kTypeShort, 1, 1);
    set_entry(10, kTagSamplesPerPixel, kTypeShort, 1, 1);
    set_entry(11, kTagRowsPerStrip, kTypeLong, 1, 0);
    set_entry(12, kTagStripByteCounts, kTypeLong, 1, 0);
    set_entry(13, kTagXResolution, kTypeRational, 1, 0);
    set_entry(14, kTagYResolution, kTypeRational, 1, 0);
    set_entry(15, kTagPlanarConfig, kTypeShort, 1, 1);
    set_entry(16, kTagT4Options, kTypeLong, 1, 0);
    set_entry(17, kTagResolutionUnit, kTypeShort, 1, 2);
    set_entry(18, kTagPageNumber, kTypeShort, 2, 0 + 1 * 65536);
    set_entry(19, kTagSoftware, kTypeAscii, kSoftwareSize, 0);
    set_entry(20, kTagDateTime, kTypeAscii, kDateTimeSize, 0);
}

bool TiffPageWriter::set_coding(uint8_t coding_kind, uint16_t photometric) {
    for (const CodingTags& c : kCodingTable) {
        if (c.kind == coding_kind) {
            set_entry(5, kTagCompression, kTypeShort, 1, c.compression);
            set_entry(16, c.options_tag, kTypeLong, 1, c.options);
            set_entry(6, kTagPhotometric, kTypeShort, 1, photometric);
            return true;
        }
    }
    return false;
}

void TiffPageWriter::set_fill_order(uint16_t fill_order) {
    set_entry(7, kTagFillOrder, kTypeShort, 1, fill_order);
}

void TiffPageWriter::set_dimensions(uint32_t width, uint32_t length) {
    set_entry(2, kTagImageWidth, kTypeLong, 1, width);
    set_entry(3, kTagImageLength, kTypeLong, 1, length);
    set_entry(11, kTagRowsPerStrip, kTypeLong, 1,
              rows_per_strip_override_ != 0 ? rows_per_strip_override_ : length);
}

void TiffPageWriter::set_page_number(uint16_t index, uint16_t total) {
    set_entry(18, kTagPageNumber, kTypeShort, 2,
              static_cast<uint32_t>(index) + static_cast<uint32_t>(total) * 65536u);
}

bool TiffPageWriter::write_at_end(std::span<const uint8_t> bytes) {
    if (bytes.empty())
        return true;
    return std::fseek(file_.get(), 0, SEEK_END) == 0 &&
           std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) == bytes.size();
}

uint32_t TiffPageWriter::append_strip(std::span<const uint8_t> data, uint16_t x_resolution,
                                      uint16_t y_resolution, uint16_t resolution_unit) {
    if (!file_ || failed_) {
        fail(0);
        return 0;
    }
    const std::tm now = time_source_ ? time_source_() : current_local_time();
    // Room for any field values; the file keeps 19 characters and a zero byte.
    char date_text[64] = {};
    std::snprintf(date_text, sizeof date_text, "%4d:%02d:%02d %02d:%02d:%02d", now.tm_year + 1900,
                  now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);

    if (std::fseek(file_.get(), 0, SEEK_END) != 0) {
        fail(errno);
        return 0;
    }
    const long end = std::ftell(file_.get());
    // TIFF offsets are 32 bits: a page that would end past them cannot be addressed.
    const uint64_t page_end =
        static_cast<uint64_t>(end < 0 ? 0 : end) + data.size() + kBlocksAfterStrip + kDirectorySize;
    if (end < 0) {
        fail(errno);
        return 0;
    }
    if (end < static_cast<long>(kHeaderSize) || page_end > std::numeric_limits<uint32_t>::max()) {
        fail(0);
        return 0;
    }
    const uint32_t s = static_cast<uint32_t>(end);
    const uint32_t length = static_cast<uint32_t>(data.size());
    directory_offset_ = s + length + kBlocksAfterStrip;

    // The last four bytes are the header's first-directory offset in a new file and the
    // previous page's next-directory offset afterwards.
    std::array<uint8_t, 4> link{};
    le::put_u32(link, 0, directory_offset_);
    if (std::fseek(file_.get(), end - 4, SEEK_SET) != 0 ||
        std::fwrite(link.data(), 1, link.size(), file_.get()) != link.size()) {
        fail(errno);
        return 0;
    }

    std::array<uint8_t, kBlocksAfterStrip> blocks{};
    le::put_u32(blocks, 0, x_resolution);
    le::put_u32(blocks, 4, 1);
    le::put_u32(blocks, 8, y_resolution);
    le::put_u32(blocks, 12, 1);
    std::memcpy(blocks.data() + 16, kSoftwareText, sizeof kSoftwareText);
    std::memcpy(blocks.data() + 16 + kSoftwareSize, date_text,
                std::min<size_t>(std::strlen(date_text), kDateTimeSize - 1));
    if (!write_at_end(data) || !write_at_end(blocks)) {
        fail(errno);
        return 0;
    }

    set_entry(8, kTagStripOffsets, kTypeLong, 1, s);
    set_entry(12, kTagStripByteCounts, kTypeLong, 1, length);
    set_entry(13, kTagXResolution, kTypeRational, 1, s + length);
    set_entry(14, kTagYResolution, kTypeRational, 1, s + length + 8);
    set_entry(17, kTagResolutionUnit, kTypeShort, 1, resolution_unit);
    set_entry(19, kTagSoftware, kTypeAscii, kSoftwareSize, s + length + 16);
    set_entry(20, kTagDateTime, kTypeAscii, kDateTimeSize, s + length + 16 + kSoftwareSize);
    return directory_offset_;
}

void TiffPageWriter::write_directory(uint32_t offset) {
    // After a failed append the offset is meaningless; writing there could hit the header.
    if (!file_ || failed_ || offset < kHeaderSize) {
        fail(0);
        return;
    }
    std::array<uint8_t, kDirectorySize> directory{};
    le::put_u16(directory, 0, kEntryCount);
    size_t at = 2;
    for (const Entry& e : entries_) {
        le::put_u16(directory, at, e.tag);
        le::put_u16(directory, at + 2, e.type);
        le::put_u32(directory, at + 4, e.count);
        le::put_u32(directory, at + 8, e.value);
        at += 12;
    }
    le::put_u32(directory, at, 0);
    if (std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0 ||
        std::fwrite(directory.data(), 1, directory.size(), file_.get()) != directory.size() ||
        std::fflush(file_.get()) != 0) {
        fail(errno);
    }
}

bool TiffPageWriter::close() {
    if (file_ && !close_stdio_file(file_))
        fail(errno);
    return !failed_;
}

}  // namespace trelvane::faxread
