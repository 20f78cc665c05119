#include "pdfout/tiff_handle.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/file_io.h"

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
    // Opened here rather than by libtiff, so that names work the same on every system (libtiff
    // opens names through the system's ANSI calls on Windows) and the descriptor is one of the
    // C library's (TIFFFileno).
    // "r" opens for reading only: opened for writing, the file would be emptied.
    int error = 0;
    const int fd = mode[0] == 'r' ? platform::open_for_reading(path, &error)
                                  : platform::open_for_writing(path, mode[0] == 'a', &error);
    if (fd < 0) {
        sink.error("TIFFOpen", "%s: Cannot open", path.c_str());
        errno = error;
        return nullptr;
    }
    TIFF* tiff = TIFFFdOpenExt(fd, path.c_str(), mode, options.get());
    if (tiff == nullptr) {
        error = errno;
        platform::close_descriptor(fd);
        errno = error;
    }
    return TiffPtr(tiff);
}

namespace {

// A file read through a buffer of our own. libtiff reads each directory in a dozen pieces of a
// few bytes, each a seek and a read: some forty system calls a page, which the buffer turns into
// one or two. Reads of a page's data, larger than the buffer, go straight to the caller.
struct BufferedFile {
    static constexpr size_t kBufferBytes = 16 * 1024;

    int fd = -1;
    uint64_t size = 0;  // as when opened: the stages read only files that are complete
    uint64_t position = 0;
    std::vector<uint8_t> buffer;
    uint64_t buffer_start = 0;
    size_t buffer_length = 0;

    static BufferedFile& self(thandle_t handle) { return *static_cast<BufferedFile*>(handle); }

    // pread until `size` bytes or the end of the file; -1 when nothing could be read.
    static int64_t read_at(int fd, uint8_t* out, size_t size, uint64_t offset) {
        size_t done = 0;
        while (done < size) {
            const int64_t n = platform::read_at(fd, out + done, size - done, offset + done);
            if (n < 0)
                return done > 0 ? static_cast<int64_t>(done) : -1;
            if (n == 0)
                break;
            done += static_cast<size_t>(n);
        }
        return static_cast<int64_t>(done);
    }

    static tmsize_t read(thandle_t handle, void* out, tmsize_t size) {
        BufferedFile& f = self(handle);
        if (size <= 0 || f.position >= f.size)
            return 0;
        const size_t wanted = static_cast<size_t>(
            std::min<uint64_t>(static_cast<uint64_t>(size), f.size - f.position));
        uint8_t* target = static_cast<uint8_t*>(out);
        const bool buffered =
            f.position >= f.buffer_start && f.position + wanted <= f.buffer_start + f.buffer_length;
        if (!buffered && wanted >= kBufferBytes) {
            const int64_t n = read_at(f.fd, target, wanted, f.position);
            if (n < 0)
                return -1;
            f.position += static_cast<uint64_t>(n);
            return n;
        }
        if (!buffered) {
            f.buffer.resize(kBufferBytes);
            const int64_t n = read_at(f.fd, f.buffer.data(), kBufferBytes, f.position);
            if (n < 0) {
                f.buffer_length = 0;
                return -1;
            }
            f.buffer_start = f.position;
            f.buffer_length = static_cast<size_t>(n);
        }
        const size_t n = std::min<size_t>(
            wanted, static_cast<size_t>(f.buffer_start + f.buffer_length - f.position));
        std::memcpy(target, f.buffer.data() + (f.position - f.buffer_start), n);
        f.position += n;
        return static_cast<tmsize_t>(n);
    }

    static tmsize_t write(thandle_t, void*, tmsize_t) { return -1; }

    static toff_t seek(thandle_t handle, toff_t offset, int whence) {
        BufferedFile& f = self(handle);
        uint64_t base = 0;
        if (whence == SEEK_CUR)
            base = f.position;
        else if (whence == SEEK_END)
            base = f.size;
        const uint64_t target = base + offset;  // libtiff passes offsets as unsigned
        if (target > (uint64_t{1} << 62))
            return static_cast<toff_t>(-1);
        f.position = target;
        return target;
    }

    static int close(thandle_t handle) {
        BufferedFile* f = static_cast<BufferedFile*>(handle);
        const int result = platform::close_descriptor(f->fd) ? 0 : -1;
        delete f;
        return result;
    }
    static toff_t file_size(thandle_t handle) { return self(handle).size; }
    static int map(thandle_t, void**, toff_t*) { return 0; }
    static void unmap(thandle_t, void*, toff_t) {}
};

}  // namespace

TiffPtr open_tiff_for_reading(const std::string& path, DiagnosticSink& sink) {
    OptionsPtr options = make_options(sink);
    if (!options)
        return nullptr;
    int error = 0;
    const int fd = platform::open_for_reading(path, &error);
    if (fd < 0) {
        sink.error("TIFFOpen", "%s: Cannot open", path.c_str());
        errno = error;
        return nullptr;
    }
    const std::optional<platform::DescriptorStatus> status =
        platform::descriptor_status(fd, &error);
    if (!status) {
        platform::close_descriptor(fd);
        sink.error("TIFFOpen", "%s: Cannot open", path.c_str());
        errno = error;
        return nullptr;
    }
    auto* file = new BufferedFile;
    file->fd = fd;
    file->size = status->size;
    // "m": nothing mapped (see the header). A failed open leaves the file to us.
    TIFF* tiff =
        TIFFClientOpenExt(path.c_str(), "rm", file, BufferedFile::read, BufferedFile::write,
                          BufferedFile::seek, BufferedFile::close, BufferedFile::file_size,
                          BufferedFile::map, BufferedFile::unmap, options.get());
    if (tiff == nullptr) {
        const int error = errno;
        BufferedFile::close(file);
        errno = error;
        return nullptr;
    }
    TIFFSetFileno(tiff, fd);  // TIFFFileno then names the file, as for a file libtiff opened
    return TiffPtr(tiff);
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

namespace {

// TIFF data in memory, read-only.
struct MemoryFile {
    std::span<const uint8_t> bytes;
    uint64_t position = 0;

    static MemoryFile& self(thandle_t handle) { return *static_cast<MemoryFile*>(handle); }
    static tmsize_t read(thandle_t handle, void* out, tmsize_t size) {
        MemoryFile& f = self(handle);
        if (size <= 0 || f.position >= f.bytes.size())
            return 0;
        const size_t n = static_cast<size_t>(
            std::min<uint64_t>(static_cast<uint64_t>(size), f.bytes.size() - f.position));
        std::memcpy(out, f.bytes.data() + f.position, n);
        f.position += n;
        return static_cast<tmsize_t>(n);
    }
    static tmsize_t write(thandle_t, void*, tmsize_t) { return -1; }
    static toff_t seek(thandle_t handle, toff_t offset, int whence) {
        MemoryFile& f = self(handle);
        const uint64_t base = whence == SEEK_CUR   ? f.position
                              : whence == SEEK_END ? f.bytes.size()
                                                   : 0;
        const uint64_t target = base + offset;
        if (target > (uint64_t{1} << 62))
            return static_cast<toff_t>(-1);
        f.position = target;
        return target;
    }
    static int close(thandle_t handle) {
        delete static_cast<MemoryFile*>(handle);
        return 0;
    }
    static toff_t size(thandle_t handle) { return self(handle).bytes.size(); }
    static int map(thandle_t, void**, toff_t*) { return 0; }
    static void unmap(thandle_t, void*, toff_t) {}
};

}  // namespace

TiffPtr open_tiff_in_memory(std::span<const uint8_t> bytes, DiagnosticSink& sink) {
    OptionsPtr options = make_options(sink);
    if (!options)
        return nullptr;
    auto* file = new MemoryFile{bytes};
    TIFF* tiff = TIFFClientOpenExt("memory", "rm", file, MemoryFile::read, MemoryFile::write,
                                   MemoryFile::seek, MemoryFile::close, MemoryFile::size,
                                   MemoryFile::map, MemoryFile::unmap, options.get());
    if (tiff == nullptr)
        MemoryFile::close(file);  // a failed open leaves the file to us
    return TiffPtr(tiff);
}

}  // namespace trelvane::pdfout
