#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "platform/disk_wait.h"
#include "platform/paths.h"

namespace trelvane::platform {
namespace {

constexpr int kNameAttempts = 100;
constexpr char kNameAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string random_suffix() {
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kNameAlphabet) - 2);
    std::string suffix(6, 'X');
    for (char& c : suffix)
        c = kNameAlphabet[pick(generator)];
    return suffix;
}

std::string folder_for(const std::string& path) {
    const std::string folder = folder_of(path);
    return folder.empty() ? "." : folder;
}

std::string descriptor_path(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// Makes the new name itself durable; a failure here loses nothing, so it is not reported.
void sync_folder(const std::string& folder) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    ::fsync(dir);
    ::close(dir);
}

}  // namespace

AtomicFile::~AtomicFile() {
    discard();
}

bool AtomicFile::open(const std::string& destination) {
    discard();
    error_ = 0;
    if (destination.empty()) {
        error_ = ENOENT;
        return false;
    }
#ifdef O_TMPFILE
    fd_ = ::open(folder_for(destination).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
        struct stat st {};
        if (::stat(descriptor_path(fd_).c_str(), &st) == 0) {
            unnamed_ = true;
            destination_ = destination;
            return true;
        }
        ::close(fd_);  // no /proc to link it by: fall back to a named file
        fd_ = -1;
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        error_ = errno;  // the folder is missing or not writable: a name would not help
        return false;
    }
#endif
    // mkstemp would give 0600; opening with O_EXCL and 0666 lets the umask decide, as for
    // any new file the user creates.
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string candidate = destination + ".tmp-" + random_suffix();
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            destination_ = destination;
            temporary_path_ = std::move(candidate);
            cleanup_ = CleanupName(temporary_path_);
            return true;
        }
        if (errno != EEXIST) {
            error_ = errno;
            return false;
        }
    }
    error_ = EEXIST;
    return false;
}

bool AtomicFile::link_into_place() {
    const std::string source = descriptor_path(fd_);
    if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, destination_.c_str(), AT_SYMLINK_FOLLOW) ==
        0) {
        return true;
    }
    if (errno != EEXIST) {
        error_ = errno;
        return false;
    }
    // An older file is in the way: link under a fresh name and rename that over it, which
    // replaces the older file in one step.
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string candidate = destination_ + ".tmp-" + random_suffix();
        if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) !=
            0) {
            if (errno == EEXIST)
                continue;
            error_ = errno;
            return false;
        }
        if (std::rename(candidate.c_str(), destination_.c_str()) == 0)
            return true;
        error_ = errno;
        ::unlink(candidate.c_str());
        return false;
    }
    error_ = EEXIST;
    return false;
}

bool AtomicFile::commit() {
    if (fd_ < 0)
        return false;
    // From here on the thread mostly waits for the disk.
    const DiskWait disk_wait;
    bool ok = ::fsync(fd_) == 0;
    if (!ok)
        error_ = errno;
    if (ok && !begin_commit()) {
        error_ = ECANCELED;  // the run was interrupted: this file is no longer wanted
        ok = false;
    } else if (ok) {
        if (unnamed_) {
            ok = link_into_place();
        } else {
            ok = std::rename(temporary_path_.c_str(), destination_.c_str()) == 0;
            if (ok) {
                temporary_path_.clear();
                cleanup_.release();
            } else {
                error_ = errno;
            }
        }
        end_commit(ok);
    }
    // The data reached the disk with fsync, so closing cannot lose any of it.
    ::close(fd_);
    fd_ = -1;
    if (ok)
        sync_folder(folder_for(destination_));
    discard();
    return ok;
}

void AtomicFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_path_.empty()) {
        ::unlink(temporary_path_.c_str());
        temporary_path_.clear();
    }
    cleanup_.release();
    unnamed_ = false;
}

}  // namespace trelvane::platform
