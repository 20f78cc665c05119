#include "platform/file_io.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/windows_calls.h"

namespace trelvane::platform {

using windows::handle_of;

namespace {

int fail_with(int* error, int reason) {
    if (error != nullptr)
        *error = reason;
    errno = reason;
    return -1;
}

// One ReadFile or WriteFile moves at most this much; larger requests are split.
constexpr DWORD kLargestTransfer = 1u << 30;

}  // namespace

int open_for_reading(const std::string& path, int* error) {
    int reason = 0;
    windows::Handle file(
        windows::open_path(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, &reason));
    if (!file.valid())
        return fail_with(error, reason);
    FILE_STANDARD_INFO info{};
    if (!windows::standard_info(file.get(), info))
        return fail_with(error, windows::last_errno());
    if (info.Directory)
        return fail_with(error, EISDIR);
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        return fail_with(error, 0);
    const int fd = windows::descriptor_for(file.release(), _O_RDONLY | _O_BINARY);
    if (fd < 0)
        return fail_with(error, EMFILE);
    if (error != nullptr)
        *error = 0;
    return fd;
}

int open_for_writing(const std::string& path, bool append, int* error) {
    int reason = 0;
    windows::Handle file(windows::open_path(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, &reason));
    if (!file.valid())
        return fail_with(error, reason);
    // Emptied through the handle rather than with CREATE_ALWAYS, which refuses a file another
    // handle holds open for deletion (a work file).
    if (!append && !SetEndOfFile(file.get()))
        return fail_with(error, windows::last_errno());
    const int fd = windows::descriptor_for(file.release(), _O_BINARY);
    if (fd < 0)
        return fail_with(error, EMFILE);
    if (append)
        _lseeki64(fd, 0, SEEK_END);
    if (error != nullptr)
        *error = 0;
    return fd;
}

int64_t read_at(int fd, void* buffer, size_t size, uint64_t offset) {
    const HANDLE file = handle_of(fd);
    if (file == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    // A seek and a plain read rather than a read with an OVERLAPPED offset: the two are one
    // step for the callers (each descriptor is read by one thread), and Wine makes a server
    // round trip for every read that carries an OVERLAPPED, which cost a fifth of a run.
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) {
        errno = windows::last_errno();
        return -1;
    }
    DWORD got = 0;
    const DWORD want = size > kLargestTransfer ? kLargestTransfer : static_cast<DWORD>(size);
    if (!ReadFile(file, buffer, want, &got, nullptr)) {
        const DWORD failure = GetLastError();
        if (failure == ERROR_HANDLE_EOF)
            return 0;
        errno = windows::errno_from(failure);
        return -1;
    }
    return static_cast<int64_t>(got);
}

int64_t read_some(int fd, void* buffer, size_t size) {
    const unsigned want = size > kLargestTransfer ? kLargestTransfer : static_cast<unsigned>(size);
    return _read(fd, buffer, want);
}

bool write_all(int fd, std::string_view bytes) {
    const HANDLE file = handle_of(fd);
    if (file == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return false;
    }
    // Straight to the handle: the C library's write would stop at a full disk without saying why.
    while (!bytes.empty()) {
        const DWORD want =
            bytes.size() > kLargestTransfer ? kLargestTransfer : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), want, &written, nullptr)) {
            errno = windows::last_errno();
            return false;
        }
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool sync_to_disk(int fd) {
    if (FlushFileBuffers(handle_of(fd)))
        return true;
    errno = windows::last_errno();
    return false;
}

bool close_descriptor(int fd) {
    return _close(fd) == 0;
}

std::optional<DescriptorStatus> descriptor_status(int fd, int* error) {
    const HANDLE file = handle_of(fd);
    FILE_STANDARD_INFO standard{};
    FILE_BASIC_INFO basic{};
    if (!windows::standard_info(file, standard) || !windows::basic_info(file, basic)) {
        if (error != nullptr)
            *error = windows::last_errno();
        return std::nullopt;
    }
    if (error != nullptr)
        *error = 0;
    DescriptorStatus status;
    status.regular = !standard.Directory;
    status.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(basic.LastWriteTime.QuadPart & 0xFFFFFFFF);
    written.dwHighDateTime =
        static_cast<DWORD>(static_cast<uint64_t>(basic.LastWriteTime.QuadPart) >> 32);
    windows::split_file_time(written, status.modification_seconds, status.modification_nanoseconds);
    return status;
}

std::FILE* open_stdio(const std::string& path, const char* mode) {
    const bool plus = std::strchr(mode, '+') != nullptr;
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    int flags = _O_BINARY;
    switch (mode[0]) {
        case 'r':
            access = plus ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
            flags |= plus ? 0 : _O_RDONLY;
            break;
        case 'w':
            access = plus ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
            disposition = OPEN_ALWAYS;
            break;
        case 'a':
            access = plus ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
            disposition = OPEN_ALWAYS;
            flags |= _O_APPEND;
            break;
        default:
            errno = EINVAL;
            return nullptr;
    }
    int reason = 0;
    windows::Handle file(
        windows::open_path(path, access, disposition, FILE_ATTRIBUTE_NORMAL, &reason));
    if (!file.valid()) {
        errno = reason;
        return nullptr;
    }
    if (mode[0] == 'w' && !SetEndOfFile(file.get())) {
        errno = windows::last_errno();
        return nullptr;
    }
    const int fd = windows::descriptor_for(file.release(), flags);
    if (fd < 0)
        return nullptr;
    std::string binary_mode = mode;
    if (binary_mode.find('b') == std::string::npos)
        binary_mode += 'b';
    std::FILE* stream = _fdopen(fd, binary_mode.c_str());
    if (stream == nullptr) {
        const int saved = errno;
        _close(fd);
        errno = saved;
    }
    return stream;
}

long process_id() {
    return static_cast<long>(GetCurrentProcessId());
}

}  // namespace trelvane::platform
