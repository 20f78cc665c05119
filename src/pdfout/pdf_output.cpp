#include "pdfout/pdf_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

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
    size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failed_ = true;
            error_ = n < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<size_t>(n);
    }
    buffer_.clear();
    return !failed_;
}

}  // namespace trelvane::pdfout
