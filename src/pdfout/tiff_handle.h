// Owned libtiff handles whose warnings and errors go to a DiagnosticSink. The handlers are set
// per file through the open options, so nothing process-wide is changed and two threads can
// convert at once.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "pdfout/diagnostic_sink.h"

namespace trelvane::pdfout {

struct TiffCloser {
    void operator()(TIFF* tiff) const {
        if (tiff)
            TIFFClose(tiff);
    }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// No single buffer for one page may be larger than this: hostile headers must not make us
// allocate without limit, and a conversion holds about one such buffer at a time, so this is
// what keeps a run's memory small. libtiff's output buffer for a page is a tenth larger than
// the page, so a bilevel page 3456 pixels wide (A4 at 400 pixels per inch) still fits at the
// greatest length a WinFax header can state (65535 lines), and the widest T.4 line (4864
// pixels) for more than three metres at 400 lines per inch.
inline constexpr uint64_t kMaxPageBufferBytes = 32ull << 20;

// Opens a file through libtiff (modes as for TIFFOpen). The sink must outlive the handle.
TiffPtr open_tiff(const std::string& path, const char* mode, DiagnosticSink& sink);

// Opens TIFF data held in memory for reading; `bytes` must outlive the handle.
TiffPtr open_tiff_in_memory(std::span<const uint8_t> bytes, DiagnosticSink& sink);

// Opens a TIFF file for reading without mapping it into memory: the stages read one page at a
// time, and a mapped file of a thousand pages would count whole in the process's memory.
TiffPtr open_tiff_for_reading(const std::string& path, DiagnosticSink& sink);

// Makes `directory` the current one. The next directory is read from where the file stands;
// TIFFSetDirectory starts again from the first, which made a document's reads grow with the
// square of its pages.
bool go_to_directory(TIFF* tiff, tdir_t directory);

// A TIFF file kept in memory, for running libtiff's encoders without touching the disk.
class MemoryTiff {
  public:
    // Opens an empty in-memory file for writing. The sink must outlive this object.
    explicit MemoryTiff(DiagnosticSink& sink);
    ~MemoryTiff();
    MemoryTiff(const MemoryTiff&) = delete;
    MemoryTiff& operator=(const MemoryTiff&) = delete;

    TIFF* tiff() const { return tiff_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

  private:
    friend struct MemoryTiffIo;
    std::vector<uint8_t> bytes_;
    uint64_t position_ = 0;
    TIFF* tiff_ = nullptr;
};

}  // namespace trelvane::pdfout
