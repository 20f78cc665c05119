// A private folder for one test, removed with everything in it when the test ends.
#pragma once

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

// Whole-file helpers for tests.
std::string read_file(const std::string& path);
bool write_file(const std::string& path, const std::string& bytes);

}  // namespace trelvane::testsupport
