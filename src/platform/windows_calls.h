// What the Windows implementation of the platform layer shares: names in UTF-8 inside the
// program, UTF-16 at the system's wide calls, and the system's error codes told as errno
// values, so that every layer above reports a failure the same way on both systems.
//
// Only the *_windows.cpp files include this header.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace trelvane::platform::windows {

// UTF-8 to UTF-16 and back. Bytes that are not UTF-8 become U+FFFD (a name with them cannot
// be one the system handed us).
std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view text);

// A path for the wide file calls: separators made backslashes, and a long absolute path
// prefixed with \\?\ (or \\?\UNC\) so that names beyond 260 characters work whatever the
// system's long-path setting.
std::wstring wide_path(std::string_view path);

// The errno value closest to a Win32 error code (EIO when none is).
int errno_from(DWORD error);
// errno_from(GetLastError()).
int last_errno();

// A handle closed when it goes out of scope.
class Handle {
  public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }
    HANDLE release() {
        HANDLE h = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return h;
    }
    void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        if (valid())
            CloseHandle(handle_);
        handle_ = handle;
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Every sharing mode: other openers (a virus scanner, the user's viewer, our own second open
// of a work file) may read, write, rename and delete, as they may on POSIX systems.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens a path with CreateFileW and every sharing mode. INVALID_HANDLE_VALUE with the reason in
// *error (errno) when it cannot be opened.
HANDLE open_path(std::string_view path, DWORD access, DWORD disposition, DWORD flags, int* error);

// A C run-time descriptor (binary mode) owning the handle; -1 (the handle closed) when none is
// free.
int descriptor_for(HANDLE handle, int open_flags);
// The handle behind a descriptor (still owned by the descriptor).
HANDLE handle_of(int fd);

// The attributes and times of an open file (FILE_BASIC_INFO), and its size and whether it is a
// folder (FILE_STANDARD_INFO). Used instead of GetFileInformationByHandle, which also asks for
// the volume's serial number: a hundred times slower under Wine, and the stages ask per page.
bool basic_info(HANDLE file, FILE_BASIC_INFO& info);
bool standard_info(HANDLE file, FILE_STANDARD_INFO& info);

// Times in 100-nanosecond steps since 1601 to seconds and nanoseconds since 1970, and back.
void split_file_time(const FILETIME& time, int64_t& seconds, int64_t& nanoseconds);
FILETIME join_file_time(int64_t seconds, int64_t nanoseconds);

}  // namespace trelvane::platform::windows
