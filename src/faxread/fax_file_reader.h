// The part every fax format reader shares: the open file, its size, the table of page offsets
// found in it and the coded data of the page loaded last.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "faxread/stdio_file.h"

namespace trelvane::faxread {

class FaxFileReader {
  public:
    // Pages a file may have: as many as a PDF's page tree and the TIFF files between the
    // stages number with 16 bits, and never more than the file can hold at kMinPageBytes each
    // (a last page whose header the end of the file cuts still counting).
    static constexpr uint16_t kMaxPages = 65535;
    static constexpr int32_t kMinPageBytes = 128;

    FaxFileReader() = default;
    virtual ~FaxFileReader() = default;
    FaxFileReader(const FaxFileReader&) = delete;
    FaxFileReader& operator=(const FaxFileReader&) = delete;

    // Closes any open file and opens path for binary reading; stays without a file on failure.
    void open_file(const std::string& path);
    void close_file();
    bool is_open() const { return file_ != nullptr; }
    // The errno of the last failed open, or of the output that the last write could not make;
    // 0 after a success or a failure that is not the system's.
    int system_error() const { return system_error_; }

    // 0 when stored, -1 when the table is full (page_limit() pages).
    int32_t add_page_offset(int32_t offset);
    // The most pages this file can have.
    uint16_t page_limit() const;
    // The stored offset, or 0 for an index at or past the page count.
    int32_t page_offset(uint16_t index) const;
    uint16_t page_count() const { return page_count_; }

    int32_t file_size() const { return file_size_; }
    int32_t page_data_length() const { return static_cast<int32_t>(page_data_.size()); }
    std::span<const uint8_t> page_data() const { return page_data_; }

  protected:
    // Reads up to buffer.size() bytes at offset; returns how many arrived (0 when the seek fails).
    size_t read_at(int64_t offset, std::span<uint8_t> buffer);
    void clear_page_offsets() {
        page_offsets_.clear();
        page_count_ = 0;
    }

    FilePtr file_;
    int system_error_ = 0;
    int32_t file_size_ = 0;
    std::vector<int32_t> page_offsets_;
    uint16_t page_count_ = 0;
    std::vector<uint8_t> page_data_;
};

}  // namespace trelvane::faxread
