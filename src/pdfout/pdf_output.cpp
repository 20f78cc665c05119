#include "pdfout/pdf_output.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/file_io.h"

namespace trelvane::pdfout {

size_t PdfOutput::write(std::string_view bytes) {
    if (failed_)
        return 0;
    buffer_.append(bytes);
    bytes_written_ += bytes.size();
    if (fd_ >= 0 && buffer_.size() >= kFlushThreshold && !flush())
        return 0;
    return bytes.size();
}

size_t PdfOutput::format(const char* format, ...) {
    char small[256];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    size_t written = 0;
    if (needed >= 0 && static_cast<size_t>(needed) < sizeof small) {
        written = write(std::string_view(small, static_cast<size_t>(needed)));
    } else if (needed >= 0) {
        std::vector<char> big(static_cast<size_t>(needed) + 1);
        std::vsnprintf(big.data(), big.size(), format, copy);
        written = write(std::string_view(big.data(), static_cast<size_t>(needed)));
    }
    va_end(copy);
    return written;
}

bool PdfOutput::flush() {
    if (fd_ < 0 || failed_)
        return !failed_;
    if (hash_ != nullptr)
        hash_->add(buffer_);
    if (!platform::write_all(fd_, buffer_)) {
        failed_ = true;
        error_ = errno;
    }
    buffer_.clear();
    return !failed_;
}

}  // namespace trelvane::pdfout
