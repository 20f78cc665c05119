#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "platform/paths.h"

namespace trelvane::platform {

namespace {

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Hands the descriptor over without closing it.
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now and reports whether the close succeeded (it can report a late write error).
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void set_error(int* error, int value) {
    if (error != nullptr)
        *error = value;
}

// Opens a regular file for reading and gives its status; never waits on a pipe or a device,
// since those are not opened for reading at all. -1 otherwise; error, when given, gets the
// reason (EISDIR for a folder, 0 for anything else that is not a regular file).
int open_regular_file(const std::string& path, struct stat& st, int* error = nullptr) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        set_error(error, errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        set_error(error, S_ISDIR(st.st_mode) ? EISDIR : 0);
        return -1;
    }
    set_error(error, 0);
    return fd.release();
}

}  // namespace

bool file_exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool folder_exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<uint64_t> readable_file_size(const std::string& path, int* error) {
    struct stat st {};
    FileDescriptor fd(open_regular_file(path, st, error));
    if (!fd.valid())
        return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

void prefetch_file(const std::string& path) {
    // A fax's pages are read in order; the first few megabytes are what the next seconds need.
    constexpr off_t kAhead = 4 << 20;
    struct stat st {};
    FileDescriptor fd(open_regular_file(path, st));
    if (!fd.valid())
        return;
    ::posix_fadvise(fd.get(), 0, std::min<off_t>(st.st_size, kAhead), POSIX_FADV_WILLNEED);
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return !a.empty() && !b.empty() && ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

FileKind file_kind(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR || path.empty() ? FileKind::Missing
                                                                   : FileKind::Unknown;
    if (S_ISREG(st.st_mode))
        return FileKind::Regular;
    if (S_ISDIR(st.st_mode))
        return FileKind::Folder;
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return FileKind::Device;
    if (S_ISFIFO(st.st_mode))
        return FileKind::Fifo;
    if (S_ISSOCK(st.st_mode))
        return FileKind::Socket;
    return FileKind::Unknown;
}

std::string link_target(const std::string& path) {
    constexpr int kMaxLinks = 40;  // as the system's own limit on a chain of links
    std::string current = path;
    for (int step = 0; step < kMaxLinks; ++step) {
        char target[PATH_MAX];
        const ssize_t length = ::readlink(current.c_str(), target, sizeof target - 1);
        if (length <= 0)
            return current;
        std::string next(target, static_cast<size_t>(length));
        if (next.front() != kPathSeparator) {
            const std::string folder = folder_of(current);
            if (!folder.empty())
                next = folder + kPathSeparator + next;
        }
        current = std::move(next);
    }
    return current;
}

bool create_folder(const std::string& path, int* error, unsigned mode) {
    if (path.empty()) {
        set_error(error, ENOENT);
        return false;
    }
    if (::mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0) {
        set_error(error, 0);
        return true;
    }
    const int reason = errno;
    if (reason == EEXIST && folder_exists(path)) {
        set_error(error, 0);
        return true;
    }
    set_error(error, reason == EEXIST ? ENOTDIR : reason);
    return false;
}

bool remove_empty_folder(const std::string& path) {
    return ::rmdir(path.c_str()) == 0;
}

bool remove_file(const std::string& path, int* error) {
    if (path.empty()) {
        set_error(error, ENOENT);
        return false;
    }
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) {
        set_error(error, 0);
        return true;
    }
    set_error(error, errno);
    return false;
}

bool append_to_file(const std::string& path, std::string_view bytes, int* error) {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (!fd.valid()) {
        set_error(error, errno);
        return false;
    }
    // One write call: with O_APPEND the kernel places it as a whole at the end of the file.
    // A short write (a full disk) is completed, which can then no longer be atomic.
    bool ok = write_all(fd.get(), bytes);
    int reason = ok ? 0 : errno;
    if (!fd.close() && ok) {
        ok = false;
        reason = errno;
    }
    set_error(error, reason);
    return ok;
}

bool replace_file_atomically(const std::string& path, std::string_view bytes, int* error) {
    std::string folder = folder_of(path);
    if (!folder.empty() && folder.back() != kPathSeparator)
        folder += kPathSeparator;
    std::string temp = create_unique_file(folder, "." + name_of(path), ".new", error);
    if (temp.empty())
        return false;
    FileDescriptor fd(::open(temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW));
    bool ok = fd.valid();
    int reason = ok ? 0 : errno;
    if (ok) {
        struct stat st {};
        mode_t mode;
        if (::stat(path.c_str(), &st) == 0) {
            mode = st.st_mode & 07777;
        } else {
            mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        ok = ::fchmod(fd.get(), mode) == 0 && write_all(fd.get(), bytes) && ::fsync(fd.get()) == 0;
        if (!ok)
            reason = errno;
    }
    if (!fd.close() && ok) {
        ok = false;
        reason = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0) {
        set_error(error, 0);
        return true;
    }
    if (ok)
        reason = errno;
    ::unlink(temp.c_str());
    set_error(error, reason);
    return false;
}

std::optional<FileTimes> read_file_times(const std::string& path, int* error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        set_error(error, errno);
        return std::nullopt;
    }
    set_error(error, 0);
    FileTimes times;
    times.access_seconds = st.st_atim.tv_sec;
    times.access_nanoseconds = st.st_atim.tv_nsec;
    times.modification_seconds = st.st_mtim.tv_sec;
    times.modification_nanoseconds = st.st_mtim.tv_nsec;
    return times;
}

bool set_file_times(const std::string& path, const FileTimes& times, int* error) {
    timespec values[2] = {};
    values[0].tv_sec = static_cast<time_t>(times.access_seconds);
    values[0].tv_nsec = static_cast<long>(times.access_nanoseconds);
    values[1].tv_sec = static_cast<time_t>(times.modification_seconds);
    values[1].tv_nsec = static_cast<long>(times.modification_nanoseconds);
    const bool ok = ::utimensat(AT_FDCWD, path.c_str(), values, 0) == 0;
    set_error(error, ok ? 0 : errno);
    return ok;
}

bool create_new_private_file(const std::string& path, int* error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        set_error(error, errno);
        return false;
    }
    ::close(fd);
    set_error(error, 0);
    return true;
}

}  // namespace trelvane::platform
