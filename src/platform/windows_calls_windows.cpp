#include "platform/windows_calls.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>

namespace trelvane::platform::windows {

std::wstring widen(std::string_view text) {
    if (text.empty())
        return {};
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            length);
    return wide;
}

std::string narrow(std::wstring_view text) {
    if (text.empty())
        return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(),
                            length, nullptr, nullptr);
    return utf8;
}

namespace {

// Below this the plain form always works; the limit is 260 with the terminating zero, and a
// folder's own limit is 248 (room for an 8.3 name).
constexpr size_t kPlainPathLimit = 240;

bool is_separator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

}  // namespace

std::wstring wide_path(std::string_view path) {
    std::wstring wide = widen(path);
    for (wchar_t& c : wide) {
        if (c == L'/')
            c = L'\\';
    }
    if (wide.size() < kPlainPathLimit || wide.starts_with(L"\\\\?\\"))
        return wide;
    // \\?\ turns off every normalisation, so the path must be absolute and canonical first.
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return wide;
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed)
        return wide;
    full.resize(written);
    if (full.size() >= 2 && is_separator(full[0]) && is_separator(full[1]))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

int errno_from(DWORD error) {
    switch (error) {
        case ERROR_SUCCESS:
            return 0;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_DIRECTORY:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
        case ERROR_PRIVILEGE_NOT_HELD:
            return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_PARAMETER:
            return EINVAL;
        case ERROR_DIR_NOT_EMPTY:
            return ENOTEMPTY;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_NOT_SUPPORTED:
        case ERROR_CALL_NOT_IMPLEMENTED:
            return ENOSYS;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
            return EPIPE;
        case ERROR_OPERATION_ABORTED:
            return ECANCELED;
        default:
            return EIO;
    }
}

int last_errno() {
    return errno_from(GetLastError());
}

HANDLE open_path(std::string_view path, DWORD access, DWORD disposition, DWORD flags, int* error) {
    if (path.empty()) {
        if (error != nullptr)
            *error = ENOENT;
        return INVALID_HANDLE_VALUE;
    }
    // FILE_FLAG_BACKUP_SEMANTICS lets a folder be opened too, so that callers can tell one.
    HANDLE handle = CreateFileW(wide_path(path).c_str(), access, kShareAll, nullptr, disposition,
                                flags | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        if (error != nullptr)
            *error = last_errno();
        return handle;
    }
    // A folder opens too; for writing it is refused as POSIX systems refuse it.
    constexpr DWORD kWriting = GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA;
    FILE_STANDARD_INFO info{};
    if ((access & kWriting) != 0 && standard_info(handle, info) && info.Directory) {
        CloseHandle(handle);
        if (error != nullptr)
            *error = EISDIR;
        return INVALID_HANDLE_VALUE;
    }
    if (error != nullptr)
        *error = 0;
    return handle;
}

bool basic_info(HANDLE file, FILE_BASIC_INFO& info) {
    return GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof info) != 0;
}

bool standard_info(HANDLE file, FILE_STANDARD_INFO& info) {
    return GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info) != 0;
}

int descriptor_for(HANDLE handle, int open_flags) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), open_flags);
    if (fd < 0) {
        CloseHandle(handle);
        errno = EMFILE;
    }
    return fd;
}

HANDLE handle_of(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

namespace {

// 100-nanosecond steps from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 116444736000000000LL;
constexpr int64_t kStepsPerSecond = 10000000LL;

}  // namespace

void split_file_time(const FILETIME& time, int64_t& seconds, int64_t& nanoseconds) {
    const int64_t steps = static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                                               time.dwLowDateTime) -
                          kEpochDifference;
    seconds = steps / kStepsPerSecond;
    int64_t rest = steps % kStepsPerSecond;
    if (rest < 0) {
        rest += kStepsPerSecond;
        --seconds;
    }
    nanoseconds = rest * 100;
}

FILETIME join_file_time(int64_t seconds, int64_t nanoseconds) {
    const uint64_t steps =
        static_cast<uint64_t>(seconds * kStepsPerSecond + nanoseconds / 100 + kEpochDifference);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(steps & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(steps >> 32);
    return time;
}

}  // namespace trelvane::platform::windows
