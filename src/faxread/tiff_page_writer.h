// The program's own minimal TIFF writer for the intermediate file handed to the TIFF copy
// stage: little-endian, one directory of 20 fixed entries and one strip per page, the strip
// holding the caller's coded data unchanged. Pages are chained by patching the previous
// next-directory offset, so the file is a complete TIFF file after every page.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <span>
#include <string>

#include "faxread/stdio_file.h"

namespace trelvane::faxread {

// Supplies the local time stamped into every page; replaceable so that tests are repeatable.
using LocalTimeSource = std::function<std::tm()>;
std::tm current_local_time();

class TiffPageWriter {
  public:
    static constexpr int kEntryCount = 20;
    static constexpr uint32_t kHeaderSize = 8;
    // Resolutions, Software and DateTime that follow every strip.
    static constexpr uint32_t kBlocksAfterStrip = 58;
    // Entry count, the entries and the next-directory offset.
    static constexpr uint32_t kDirectorySize = 2 + kEntryCount * 12 + 4;
    static constexpr uint16_t kLittleEndianMark = 0x4949;  // "II"
    static constexpr char kSoftwareText[] = "Corvenna Studio";

    // Creates or truncates path for writing (one retry). The writer writes little-endian only.
    explicit TiffPageWriter(const std::string& path);
    ~TiffPageWriter() = default;
    TiffPageWriter(const TiffPageWriter&) = delete;
    TiffPageWriter& operator=(const TiffPageWriter&) = delete;

    bool is_open() const { return file_ != nullptr; }
    // True once any write, seek or flush has failed, or a page would not fit 32-bit offsets.
    bool failed() const { return failed_; }
    // The errno of the first failure (the create included); 0 when there was none or it was
    // not the system's (a page past 32-bit offsets).
    int system_error() const { return system_error_; }
    void set_time_source(LocalTimeSource source) { time_source_ = std::move(source); }

    void write_header();
    void set_fixed_entries();
    // Compression and T4/T6 options from the coding kind; false for a kind without a mapping.
    bool set_coding(uint8_t coding_kind, uint16_t photometric);
    void set_fill_order(uint16_t fill_order);
    void set_dimensions(uint32_t width, uint32_t length);
    void set_page_number(uint16_t index, uint16_t total);
    // Writes the strip and the blocks after it, links the new directory into the chain and
    // returns its offset (0 when nothing could be written).
    uint32_t append_strip(std::span<const uint8_t> data, uint16_t x_resolution,
                          uint16_t y_resolution, uint16_t resolution_unit);
    void write_directory(uint32_t offset);
    // Closes the file; true when the whole file was written without error.
    bool close();

  private:
    struct Entry {
        uint16_t tag = 0;
        uint16_t type = 0;
        uint32_t count = 0;
        uint32_t value = 0;
    };
    void set_entry(int number, uint16_t tag, uint16_t type, uint32_t count, uint32_t value);
    bool write_at_end(std::span<const uint8_t> bytes);
    // Marks the writer failed; the first failure's reason is the one worth reporting.
    void fail(int error);

    FilePtr file_;
    bool failed_ = false;
    int system_error_ = 0;
    uint32_t directory_offset_ = 0;
    uint16_t rows_per_strip_override_ = 0;  // 0: the whole page in one strip
    std::array<Entry, kEntryCount> entries_{};
    LocalTimeSource time_source_ = current_local_time;
};

}  // namespace trelvane::faxread
