// A private folder for one test, removed with everything in it when the test ends.
#pragma once

#include <cerrno>
#include <string>

namespace trelvane::testsupport {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const;

  private:
    std::string path_;
};

// A path in the system's temporary folder that no file had a moment ago: prefix + random digits.
std::string unique_temporary_path(const std::string& prefix);

// The error a path below a regular file gets: ENOTDIR on POSIX systems; Windows calls such a
// path missing.
#ifdef _WIN32
inline constexpr int kBelowAFileError = ENOENT;
#else
inline constexpr int kBelowAFileError = ENOTDIR;
#endif

// True where /dev/full (a device every write to fails with ENOSPC) stands for a full disk.
bool has_full_device();

// Whole-file helpers for tests.
std::string read_file(const std::string& path);
bool write_file(const std::string& path, const std::string& bytes);

}  // namespace trelvane::testsupport
