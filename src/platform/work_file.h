// A work file without a name in the file system: it is gone as soon as the process ends,
// however it ends (also when it is killed), so a run never leaves work files behind.
#pragma once

#include <string>
#include <string_view>

#include "platform/cleanup.h"

namespace trelvane::platform {

class WorkFile {
  public:
    WorkFile() = default;
    ~WorkFile();
    WorkFile(const WorkFile&) = delete;
    WorkFile& operator=(const WorkFile&) = delete;
    WorkFile(WorkFile&& other) noexcept;
    WorkFile& operator=(WorkFile&& other) noexcept;

    // Creates the file in the folder (which may end with a separator), readable and writable
    // only by its owner. stem names it where the file must keep a name (see path). False, with
    // the reason in error(), when it cannot be created.
    bool create(const std::string& folder, const std::string& stem);
    // Creates the file in memory instead (memfd): it never reaches a disk. False, with the
    // reason in error(), where the system has no such files or cannot name them.
    bool create_in_memory(const std::string& stem);

    bool is_open() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // The errno of the last failed create.
    int error() const { return error_; }

    // A name that opens this very file, for code that opens files by name (libtiff, stdio):
    // "/proc/self/fd/N". Where the system offers no such names the file keeps a real name in
    // its folder, which is removed on destruction and when the run is interrupted.
    const std::string& path() const { return path_; }

    // Empties the file, so that its space goes back to the file system between conversions.
    void clear();

  private:
    void close();

    int fd_ = -1;
    int error_ = 0;
    bool in_memory_ = false;
    std::string path_;
    std::string named_path_;  // only when the file has a real name
    CleanupName cleanup_;
};

// The owner tag (see owner_tag) of a work file's name, for the files that only get names where
// the temporary folder has no unnamed files; empty for any other name.
std::string_view work_file_owner(std::string_view name);

}  // namespace trelvane::platform
