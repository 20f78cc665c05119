// The byte stream a PDF is written to: counts every byte (object offsets are the running
// count) and either writes to a file descriptor or keeps the bytes in memory.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/sha256.h"

// The printf dialect the C library's formatting functions speak: on Windows the build uses
// MinGW's C99 ones (%zu), not the system's, and the compiler must check against those.
#ifdef __MINGW32__
#define TRELVANE_PRINTF gnu_printf
#else
#define TRELVANE_PRINTF printf
#endif

namespace trelvane::pdfout {

class PdfOutput {
  public:
    PdfOutput() = default;                   // keeps everything in memory
    explicit PdfOutput(int fd) : fd_(fd) {}  // writes to the descriptor (not owned)
    ~PdfOutput() { flush(); }
    PdfOutput(const PdfOutput&) = delete;
    PdfOutput& operator=(const PdfOutput&) = delete;

    // Each returns the number of bytes written (0 once a write has failed).
    size_t write(std::string_view bytes);
    size_t write(const uint8_t* data, size_t size) {
        return write(std::string_view(reinterpret_cast<const char*>(data), size));
    }
    size_t format(const char* format, ...) __attribute__((format(TRELVANE_PRINTF, 2, 3)));

    // Sends buffered bytes to the descriptor. False when a write has failed.
    bool flush();
    bool failed() const { return failed_; }
    // The errno of the failed write, or 0.
    int error() const { return error_; }
    uint64_t bytes_written() const { return bytes_written_; }
    // Everything written so far, in memory mode.
    const std::string& contents() const { return buffer_; }
    // Every byte sent to the descriptor from now on also goes into `hash` (a checksum of the
    // file as it is written).
    void hash_into(platform::Sha256* hash) { hash_ = hash; }

  private:
    static constexpr size_t kFlushThreshold = 64 * 1024;
    int fd_ = -1;
    bool failed_ = false;
    int error_ = 0;
    uint64_t bytes_written_ = 0;
    std::string buffer_;
    platform::Sha256* hash_ = nullptr;
};

}  // namespace trelvane::pdfout
