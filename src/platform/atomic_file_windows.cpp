#include "platform/atomic_file.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/atomic_file_names.h"
#include "platform/disk_wait.h"
#include "platform/file_io.h"
#include "platform/windows_calls.h"

// Windows has no unnamed files: a new file is written under its temporary name in the
// destination's folder, flushed, closed and moved into place with MoveFileEx, which replaces an
// older file in one step. The name is registered for removal, and the next run that writes into
// the folder removes what a killed run left.

namespace trelvane::platform {
namespace {

using windows::wide_path;

// What a new file may replace: a regular file. A folder or a device in its place stays; error
// gets the reason (ENOENT when nothing is there).
bool replaceable(const std::string& path, int& error) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(wide_path(path).c_str(), GetFileExInfoStandard, &data)) {
        error = windows::last_errno();
        return false;
    }
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = EISDIR;
        return false;
    }
    return true;
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
    atomic_names::sweep_folder_once(atomic_names::folder_for(destination));
    // The name is registered before the file exists and made while the commit gate is held,
    // so an interrupted run, which closes the gate and then removes the registered names,
    // never leaves one behind.
    if (!begin_commit()) {
        error_ = ECANCELED;
        return false;
    }
    for (int attempt = 0; attempt < atomic_names::kNameAttempts; ++attempt) {
        std::string candidate = atomic_names::temporary_name(destination);
        CleanupName watch(candidate);
        int reason = 0;
        const HANDLE file = windows::open_path(candidate, GENERIC_READ | GENERIC_WRITE | DELETE,
                                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, &reason);
        if (file != INVALID_HANDLE_VALUE) {
            fd_ = windows::descriptor_for(file, _O_BINARY);
            if (fd_ < 0) {
                DeleteFileW(wide_path(candidate).c_str());
                error_ = EMFILE;
                end_commit(false);
                return false;
            }
            destination_ = destination;
            temporary_path_ = std::move(candidate);
            cleanup_ = std::move(watch);
            end_commit(false);
            return true;
        }
        if (reason != EEXIST) {
            error_ = reason;
            end_commit(false);
            return false;
        }
    }
    error_ = EEXIST;
    end_commit(false);
    return false;
}

bool AtomicFile::commit() {
    if (fd_ < 0)
        return false;
    bool ok = false;
    {
        // From here on the thread mostly waits for the disk.
        const DiskWait disk_wait;
        ok = sync_to_disk(fd_);
        if (!ok)
            error_ = errno;
    }
    // Closed before the move: the data is on the disk, so the close cannot lose any of it.
    close_descriptor(fd_);
    fd_ = -1;
    if (ok && !begin_commit()) {
        error_ = ECANCELED;  // the run was interrupted: this file is no longer wanted
        ok = false;
    } else if (ok) {
        const std::wstring from = wide_path(temporary_path_);
        const std::wstring to = wide_path(destination_);
        int in_the_way = 0;
        if (replaceable(destination_, in_the_way)) {
            ok = MoveFileExW(from.c_str(), to.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
            if (!ok)
                error_ = windows::last_errno();
        } else if (in_the_way == ENOENT) {
            // Nothing there: take the name only while it is free.
            ok = MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
            if (!ok && GetLastError() == ERROR_ALREADY_EXISTS &&
                replaceable(destination_, in_the_way))
                ok = MoveFileExW(from.c_str(), to.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
            if (!ok)
                error_ = windows::last_errno();
        } else {
            ok = false;
            error_ = in_the_way;  // a folder (or what cannot be looked at) stays
        }
        if (ok) {
            temporary_path_.clear();
            cleanup_.release();
        }
        end_commit(ok);
    }
    discard();
    return ok;
}

void AtomicFile::discard() {
    if (fd_ >= 0) {
        close_descriptor(fd_);
        fd_ = -1;
    }
    if (!temporary_path_.empty()) {
        DeleteFileW(wide_path(temporary_path_).c_str());
        temporary_path_.clear();
    }
    cleanup_.release();
    unnamed_ = false;
}

}  // namespace trelvane::platform
