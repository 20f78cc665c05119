#include "faxread/fax_file_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>

namespace trelvane::faxread {

void FaxFileReader::open_file(const std::string& path) {
    close_file();
    file_size_ = 0;
    system_error_ = 0;
    file_ = open_stdio_file(path, "rb");
    if (!file_) {
        system_error_ = errno;
        return;
    }
    if (std::fseek(file_.get(), 0, SEEK_END) == 0) {
        const long end = std::ftell(file_.get());
        // Page offsets are 32-bit: bytes past 2 GiB cannot hold a page anyway.
        if (end > 0) {
            file_size_ = end > std::numeric_limits<int32_t>::max()
                             ? std::numeric_limits<int32_t>::max()
                             : static_cast<int32_t>(end);
        }
    }
    std::fseek(file_.get(), 0, SEEK_SET);
}

void FaxFileReader::close_file() {
    file_.reset();
}

uint16_t FaxFileReader::page_limit() const {
    const int64_t room = (int64_t{file_size_} + kMinPageBytes - 1) / kMinPageBytes;
    return static_cast<uint16_t>(std::min<int64_t>(kMaxPages, room));
}

int32_t FaxFileReader::add_page_offset(int32_t offset) {
    if (page_count_ >= page_limit())
        return -1;
    page_offsets_.push_back(offset);
    ++page_count_;
    return 0;
}

int32_t FaxFileReader::page_offset(uint16_t index) const {
    return index < page_count_ ? page_offsets_[index] : 0;
}

size_t FaxFileReader::read_at(int64_t offset, std::span<uint8_t> buffer) {
    if (!file_ || offset < 0 || offset > std::numeric_limits<long>::max())
        return 0;
    if (std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0)
        return 0;
    return std::fread(buffer.data(), 1, buffer.size(), file_.get());
}

}  // namespace trelvane::faxread
