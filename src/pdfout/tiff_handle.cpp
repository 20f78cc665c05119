#include "pdfout/tiff_handle.h"

#include <algorithm>
#include <cstring>

namespace trelvane::pdfout {
namespace {

int route_error(TIFF*, void* user_data, const char* module, const char* format, va_list args) {
    static_cast<DiagnosticSink*>(user_data)->report(DiagnosticSink::Kind::kError, module, format,
                                                    args);
    return 1;  // handled: the library's own handlers must not print
}

int route_warning(TIFF*, void* user_data, const char* module, const char* format, va_list args) {
    static_cast<DiagnosticSink*>(user_data)->report(DiagnosticSink::Kind::kWarning, module, format,
                                                    args);
    return 1;
}

struct OptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
using OptionsPtr = std::unique_ptr<TIFFOpenOptions, OptionsFree>;

OptionsPtr make_options(DiagnosticSink& sink) {
    OptionsPtr options(TIFFOpenOptionsAlloc());
    if (!options)
        return options;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), route_error, &sink);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), route_warning, &sink);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(kMaxPageBufferBytes));
    return options;
}

}  // namespace

TiffPtr open_tiff(const std::string& path, const char* mode, DiagnosticSink& sink) {
    OptionsPtr options = make_options(sink);
    if (!options)
        return nullptr;
    return TiffPtr(TIFFOpenExt(path.c_str(), mode, options.get()));
}

TiffPtr open_tiff_for_reading(const std::string& path, DiagnosticSink& sink) {
    return open_tiff(path, "rm", sink);
}

bool go_to_directory(TIFF* tiff, tdir_t directory) {
    if (directory > 0 && TIFFCurrentDirectory(tiff) + 1 == directory)
        return TIFFReadDirectory(tiff) == 1;
    return TIFFSetDirectory(tiff, directory) == 1;
}

struct MemoryTiffIo {
    static MemoryTiff& self(thandle_t handle) { return *static_cast<MemoryTiff*>(handle); }

    static tmsize_t read(thandle_t handle, void* buffer, tmsize_t size) {
        MemoryTiff& m = self(handle);
        if (size <= 0 || m.position_ >= m.bytes_.size())
            return 0;
        const uint64_t n =
            std::min<uint64_t>(static_cast<uint64_t>(size), m.bytes_.size() - m.position_);
        std::memcpy(buffer, m.bytes_.data() + m.position_, n);
        m.position_ += n;
        return static_cast<tmsize_t>(n);
    }

    static tmsize_t write(thandle_t handle, void* buffer, tmsize_t size) {
        MemoryTiff& m = self(handle);
        if (size <= 0)
            return 0;
        const uint64_t end = m.position_ + static_cast<uint64_t>(size);
        if (end > kMaxPageBufferBytes * 2)
            return -1;
        if (end > m.bytes_.size())
            m.bytes_.resize(end);
        std::memcpy(m.bytes_.data() + m.position_, buffer, static_cast<size_t>(size));
        m.position_ = end;
        return size;
    }

    static toff_t seek(thandle_t handle, toff_t offset, int whence) {
        MemoryTiff& m = self(handle);
        uint64_t base = 0;
        if (whence == SEEK_CUR)
            base = m.position_;
        if (whence == SEEK_END)
            base = m.bytes_.size();
        const uint64_t target = base + offset;
        if (target > kMaxPageBufferBytes * 2)
            return static_cast<toff_t>(-1);
        m.position_ = target;
        return target;
    }

    static int close(thandle_t) { return 0; }
    static toff_t size(thandle_t handle) { return self(handle).bytes_.size(); }
    static int map(thandle_t, void**, toff_t*) { return 0; }
    static void unmap(thandle_t, void*, toff_t) {}
};

MemoryTiff::MemoryTiff(DiagnosticSink& sink) {
    OptionsPtr options = make_options(sink);
    if (!options)
        return;
    // "m": no memory mapping, which this stream cannot offer.
    tiff_ = TIFFClientOpenExt("memory", "wm", this, MemoryTiffIo::read, MemoryTiffIo::write,
                              MemoryTiffIo::seek, MemoryTiffIo::close, MemoryTiffIo::size,
                              MemoryTiffIo::map, MemoryTiffIo::unmap, options.get());
}

MemoryTiff::~MemoryTiff() {
    if (tiff_)
        TIFFClose(tiff_);
}

}  // namespace trelvane::pdfout
