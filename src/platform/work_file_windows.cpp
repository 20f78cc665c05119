#include "platform/work_file.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>

#include "platform/cleanup.h"
#include "platform/disk_wait.h"
#include "platform/file_system.h"
#include "platform/windows_calls.h"
#include "platform/work_file_names.h"

// A work file keeps a name here (the code that opens it by name needs one), but it is opened
// FILE_FLAG_DELETE_ON_CLOSE: the system removes it when its handle closes, also when the
// process is killed. Every other open of it must share deletion (platform::open_stdio and
// the file_io calls do).

namespace trelvane::platform {

bool WorkFile::create(const std::string& folder, const std::string& stem) {
    close();
    error_ = 0;
    const std::string where = work_names::with_separator(folder);
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string named = where + stem + "-" + owner_tag() + "-" + random_hex() + ".tmp";
        int reason = 0;
        const HANDLE file =
            windows::open_path(named, GENERIC_READ | GENERIC_WRITE | DELETE, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, &reason);
        if (file != INVALID_HANDLE_VALUE) {
            fd_ = windows::descriptor_for(file, _O_BINARY);
            if (fd_ < 0) {
                error_ = EMFILE;
                return false;
            }
            path_ = std::move(named);
            return true;
        }
        if (reason != EEXIST) {
            error_ = reason;
            return false;
        }
    }
    error_ = EEXIST;
    return false;
}

bool WorkFile::create_in_memory(const std::string&) {
    // A temporary file (FILE_ATTRIBUTE_TEMPORARY) stays in the cache as long as memory allows,
    // which is what a file in memory would give.
    close();
    error_ = ENOSYS;
    return false;
}

void WorkFile::clear() {
    if (fd_ < 0)
        return;
    const DiskWait disk_wait;
    // Nothing lost when this fails: the next conversion empties the file when it opens it.
    (void)_chsize_s(fd_, 0);
}

void WorkFile::close() {
    if (fd_ >= 0) {
        _close(fd_);  // the system removes the file with its last handle
        fd_ = -1;
    }
    named_path_.clear();
    cleanup_.release();
    path_.clear();
    in_memory_ = false;
}

}  // namespace trelvane::platform
