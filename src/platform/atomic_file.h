// A new file that appears at its destination only complete. It is written as an unnamed file in
// the destination's folder and linked into place on commit, so that until then an older file at
// the destination stays untouched and an interrupted or killed run leaves nothing behind. Where
// the file system cannot hold unnamed files it is written under "<destination>.tmp-XXXXXX" and
// renamed into place; that name is removed when the file is discarded or the run interrupted,
// and, should the run be killed outright, by the next run that writes into that folder. A PDF
// never replaces anything but a regular file: a device, a FIFO or a folder in its place stays.
#pragma once

#include <string>

#include "platform/cleanup.h"

namespace trelvane::platform {

class AtomicFile {
  public:
    AtomicFile() = default;
    ~AtomicFile();  // discards an uncommitted file
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the file in the destination's folder with the permissions of a normal new file
    // (0666 less the umask). False, with the reason in error(), when it cannot be created.
    bool open(const std::string& destination);

    bool is_open() const { return fd_ >= 0; }
    int fd() const { return fd_; }  // owned by this object; stays open until commit or discard
    // The file's temporary name, or empty while it has none (the usual case).
    const std::string& temporary_path() const { return temporary_path_; }
    const std::string& destination() const { return destination_; }
    // The errno of the last failed open or commit.
    int error() const { return error_; }

    // Flushes the data to disk and puts the file in place of the destination. On failure
    // nothing of the new file is left and the destination keeps what it held before.
    bool commit();

    // Closes and removes the new file; the destination is not touched.
    void discard();

  private:
    bool link_into_place();
    // Puts the file at `from` in place of the destination, which something holds; only a
    // regular file (or a link) is replaced.
    bool replace_destination(const std::string& from);

    int fd_ = -1;
    int error_ = 0;
    bool unnamed_ = false;
    std::string destination_;
    std::string temporary_path_;
    CleanupName cleanup_;
};

}  // namespace trelvane::platform
