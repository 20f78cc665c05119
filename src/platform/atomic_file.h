// A new file that appears at its destination only complete: it is written beside the
// destination under a temporary name and renamed into place on commit. Until then an older
// file at the destination stays untouched, and a file that is never committed is removed.
#pragma once

#include <string>

namespace trelvane::platform {

class AtomicFile {
  public:
    AtomicFile() = default;
    ~AtomicFile();  // discards an uncommitted file
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates "<destination>.tmp-XXXXXX" exclusively in the destination's folder, with the
    // permissions of a normal new file (0666 less the umask). False when it cannot be created.
    bool open(const std::string& destination);

    bool is_open() const { return fd_ >= 0; }
    int fd() const { return fd_; }  // owned by this object; stays open until commit or discard
    const std::string& temporary_path() const { return temporary_path_; }
    const std::string& destination() const { return destination_; }

    // Flushes the data to disk and renames the file over the destination. On failure the
    // temporary file is removed and the destination keeps what it held before.
    bool commit();

    // Closes and removes the temporary file; the destination is not touched.
    void discard();

  private:
    int fd_ = -1;
    std::string destination_;
    std::string temporary_path_;
};

}  // namespace trelvane::platform
