#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/atomic_file_names.h"
#include "platform/disk_wait.h"
#include "platform/file_system.h"
#include "platform/paths.h"

namespace trelvane::platform {
namespace {

using atomic_names::folder_for;
using atomic_names::temporary_name;
constexpr int kNameAttempts = atomic_names::kNameAttempts;

// The file system (or the kernel) cannot rename with RENAME_NOREPLACE or RENAME_EXCHANGE, as on
// many network and FUSE file systems: a plain rename is the best there is.
bool rename_flags_unsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// What a PDF may replace: a regular file, or a link to one (the link is replaced, as before).
// Anything else (a device, a FIFO, a socket, a folder) stays; error gets the reason.
bool replaceable(const std::string& path, int& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        error = errno;
        return false;
    }
    if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) != 0)
        return true;  // a dangling link: only the link goes
    if (S_ISREG(st.st_mode))
        return true;
    error = S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
    return false;
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
    atomic_names::sweep_folder_once(folder_for(destination));
#ifdef O_TMPFILE
    // An interrupted run starts no new PDFs.
    if (!begin_commit()) {
        error_ = ECANCELED;
        return false;
    }
    end_commit(false);
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
    // any new file the user creates. The name is registered before the file exists and made
    // while the commit gate is held, so an interrupted run, which closes the gate and then
    // removes the registered names, never leaves one behind.
    if (!begin_commit()) {
        error_ = ECANCELED;  // the run was interrupted: no new files
        return false;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string candidate = temporary_name(destination);
        CleanupName watch(candidate);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            destination_ = destination;
            temporary_path_ = std::move(candidate);
            cleanup_ = std::move(watch);
            end_commit(false);
            return true;
        }
        if (errno != EEXIST) {
            error_ = errno;
            end_commit(false);
            return false;
        }
    }
    error_ = EEXIST;
    end_commit(false);
    return false;
}

bool AtomicFile::replace_destination(const std::string& from) {
    // On failure our file at `from` goes; whatever else may stand there is left alone.
    const auto fail = [&](int error) {
        error_ = error;
        ::unlink(from.c_str());
        return false;
    };
    int in_the_way = 0;
    if (!replaceable(destination_, in_the_way)) {
        if (in_the_way != ENOENT)
            return fail(in_the_way);
        // Nothing there (any more): take the name only while it is free.
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, destination_.c_str(), RENAME_NOREPLACE) ==
            0)
            return true;
        if (rename_flags_unsupported(errno) && std::rename(from.c_str(), destination_.c_str()) == 0)
            return true;
        return fail(errno);
    }
    // Swapping the two names and looking at what came out keeps a device or a FIFO that took
    // the destination's place after the check: it goes back to its name, so at worst it stood
    // under the other one for a moment. A plain rename would have replaced it for good.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, destination_.c_str(), RENAME_EXCHANGE) == 0) {
        int error = 0;
        if (replaceable(from, error)) {
            ::unlink(from.c_str());
            return true;
        }
        error_ = error;
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, destination_.c_str(), RENAME_EXCHANGE) ==
            0) {
            ::unlink(from.c_str());  // ours again
        } else {
            // Over our new file, which is all that is lost.
            ::rename(from.c_str(), destination_.c_str());
        }
        return false;
    }
    if (errno == ENOENT) {
        // What was in the way went meanwhile: take the name only if it is still free.
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, destination_.c_str(), RENAME_NOREPLACE) ==
            0)
            return true;
        return fail(errno);
    }
    if (!rename_flags_unsupported(errno))
        return fail(errno);
    // No exchange on this file system (NFS, CIFS, most FUSE): the check above is the closest
    // the system lets us come.
    if (std::rename(from.c_str(), destination_.c_str()) == 0)
        return true;
    return fail(errno);
}

bool AtomicFile::link_into_place() {
    const std::string source = descriptor_path(fd_);
    const auto link = [&] {
        return ::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, destination_.c_str(),
                        AT_SYMLINK_FOLLOW) == 0;
    };
    if (link())
        return true;
    // The folder went while this file, which has no name in it, was written: another run
    // writing into the same save folder (a share of one run on another machine) removed the
    // empty folder it had made for a fax that failed. Made again, it takes this file.
    if (errno == ENOENT && create_folder_chain(folder_for(destination_)) && link())
        return true;
    if (errno != EEXIST) {
        error_ = errno;
        return false;
    }
    // An older file is in the way: link under a fresh name and put that in its place, which
    // replaces the older file in one step.
    int in_the_way = 0;
    if (!replaceable(destination_, in_the_way) && in_the_way != ENOENT) {
        error_ = in_the_way;
        return false;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string candidate = temporary_name(destination_);
        const CleanupName watch(candidate);
        if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) !=
            0) {
            if (errno == EEXIST)
                continue;
            error_ = errno;
            return false;
        }
        return replace_destination(candidate);
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
            ok = ::renameat2(AT_FDCWD, temporary_path_.c_str(), AT_FDCWD, destination_.c_str(),
                             RENAME_NOREPLACE) == 0;
            bool handed_over = ok;
            if (!ok && (errno == EEXIST || rename_flags_unsupported(errno))) {
                ok = replace_destination(temporary_path_);
                handed_over = true;  // in place, or removed by replace_destination
            } else if (!ok) {
                error_ = errno;
            }
            if (handed_over) {
                temporary_path_.clear();
                cleanup_.release();
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
