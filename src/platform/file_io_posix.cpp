#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace trelvane::platform {

int open_for_reading(const std::string& path, int* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat st {};
    int reason = fd < 0 || ::fstat(fd, &st) != 0 ? errno : 0;
    if (reason == 0 && !S_ISREG(st.st_mode))
        reason = S_ISDIR(st.st_mode) ? EISDIR : -1;
    if (reason != 0) {
        if (fd >= 0)
            ::close(fd);
        reason = reason < 0 ? 0 : reason;  // not a regular file: no system error to name
        if (error != nullptr)
            *error = reason;
        errno = reason;
        return -1;
    }
    // O_NONBLOCK kept open() from waiting on a FIFO; on a regular file it changes nothing, so
    // it stays.
    if (error != nullptr)
        *error = 0;
    return fd;
}

int open_for_writing(const std::string& path, bool append, int* error) {
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (append ? 0 : O_TRUNC), 0666);
    if (error != nullptr)
        *error = fd < 0 ? errno : 0;
    return fd;
}

int64_t read_at(int fd, void* buffer, size_t size, uint64_t offset) {
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

int64_t read_some(int fd, void* buffer, size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool sync_to_disk(int fd) {
    return ::fsync(fd) == 0;
}

bool close_descriptor(int fd) {
    return ::close(fd) == 0;
}

std::optional<DescriptorStatus> descriptor_status(int fd, int* error) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        if (error != nullptr)
            *error = errno;
        return std::nullopt;
    }
    if (error != nullptr)
        *error = 0;
    DescriptorStatus status;
    status.regular = S_ISREG(st.st_mode);
    status.size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    status.modification_seconds = st.st_mtim.tv_sec;
    status.modification_nanoseconds = st.st_mtim.tv_nsec;
    return status;
}

std::FILE* open_stdio(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

long process_id() {
    return static_cast<long>(::getpid());
}

}  // namespace trelvane::platform
