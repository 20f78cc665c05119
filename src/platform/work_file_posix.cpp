#include "platform/work_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "platform/disk_wait.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/work_file_names.h"

namespace trelvane::platform {

namespace {

using work_names::with_separator;

std::string descriptor_path(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

bool descriptor_path_works(int fd) {
    struct stat by_path {};
    struct stat by_fd {};
    return ::stat(descriptor_path(fd).c_str(), &by_path) == 0 && ::fstat(fd, &by_fd) == 0 &&
           by_path.st_ino == by_fd.st_ino && by_path.st_dev == by_fd.st_dev;
}

}  // namespace

bool WorkFile::create(const std::string& folder, const std::string& stem) {
    close();
    error_ = 0;
    const std::string where = with_separator(folder);
    std::string named;
    CleanupName watch;
    // A file with a unique name, opened for reading and writing. The name is watched before
    // the file exists and carries its owner, so that neither an interrupted run nor, after a
    // killed one, the next run leaves it behind.
    const auto open_named = [&]() {
        constexpr int kAttempts = 100;
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            named = where + stem + "-" + owner_tag() + "-" + random_hex() + ".tmp";
            watch = CleanupName(named);
            fd_ = ::open(named.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd_ >= 0)
                return true;
            if (errno != EEXIST)
                break;
        }
        error_ = errno;
        watch.release();
        named.clear();
        return false;
    };
#ifdef O_TMPFILE
    fd_ = ::open(where.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    // File systems without unnamed files: a unique name, removed again at once below.
    if (fd_ < 0 && !open_named())
        return false;
    if (descriptor_path_works(fd_)) {
        if (!named.empty())
            ::unlink(named.c_str());
        path_ = descriptor_path(fd_);
        return true;
    }
    // No /proc: the file has to keep a name for the code that opens it by name.
    if (named.empty()) {
        ::close(fd_);
        fd_ = -1;
        if (!open_named())
            return false;
    }
    named_path_ = named;
    path_ = named;
    cleanup_ = std::move(watch);
    return true;
}

bool WorkFile::create_in_memory(const std::string& stem) {
    close();
    error_ = 0;
    fd_ = ::memfd_create(stem.c_str(), MFD_CLOEXEC);
    if (fd_ < 0) {
        error_ = errno;
        return false;
    }
    if (!descriptor_path_works(fd_)) {
        error_ = errno != 0 ? errno : ENOENT;
        close();
        return false;
    }
    in_memory_ = true;
    path_ = descriptor_path(fd_);
    return true;
}

void WorkFile::clear() {
    if (fd_ < 0)
        return;
    if (in_memory_) {
        (void)::ftruncate(fd_, 0);
        return;
    }
    // Freeing the blocks waits for the disk where the file system discards them at once
    // (mounted with discard): a fifth of a millisecond a file, which another conversion can use.
    const DiskWait disk_wait;
    if (::ftruncate(fd_, 0) != 0) {
        // Nothing lost: the next conversion truncates the file when it opens it.
    }
}

void WorkFile::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!named_path_.empty()) {
        ::unlink(named_path_.c_str());
        named_path_.clear();
    }
    cleanup_.release();
    path_.clear();
    in_memory_ = false;
}

}  // namespace trelvane::platform
