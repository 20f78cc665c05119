#include "support/temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace trelvane::testsupport {

TempDir::TempDir() {
    // The system's temporary folder ($TMPDIR on POSIX systems), a fresh name in it.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = unique_temporary_path("trelvane-test-");
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable so they can go.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const {
    return path_ + "/" + name;
}

std::string unique_temporary_path(const std::string& prefix) {
    thread_local std::mt19937_64 generator{
        std::random_device{}()};  // tests make folders on several threads
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(generator()));
    return (std::filesystem::temp_directory_path() / (prefix + digits)).string();
}

bool has_full_device() {
#ifdef _WIN32
    return false;  // Wine would reach the Linux device under the name, not a Windows one
#else
    std::error_code ec;
    return std::filesystem::is_character_file("/dev/full", ec);
#endif
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace trelvane::testsupport
