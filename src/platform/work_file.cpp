#include "platform/work_file.h"

#include "platform/paths.h"
#include "platform/work_file_names.h"

namespace trelvane::platform {

namespace work_names {

std::string with_separator(const std::string& folder) {
    if (folder.empty())
        return std::string(".") + kPathSeparator;
    return folder.back() == kPathSeparator ? folder : folder + kPathSeparator;
}

}  // namespace work_names

WorkFile::~WorkFile() {
    close();
}

WorkFile::WorkFile(WorkFile&& other) noexcept
    : fd_(other.fd_),
      error_(other.error_),
      in_memory_(other.in_memory_),
      path_(std::move(other.path_)),
      named_path_(std::move(other.named_path_)),
      cleanup_(std::move(other.cleanup_)) {
    other.fd_ = -1;
    other.path_.clear();
    other.named_path_.clear();
}

WorkFile& WorkFile::operator=(WorkFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        error_ = other.error_;
        in_memory_ = other.in_memory_;
        path_ = std::move(other.path_);
        named_path_ = std::move(other.named_path_);
        cleanup_ = std::move(other.cleanup_);
        other.fd_ = -1;
        other.path_.clear();
        other.named_path_.clear();
    }
    return *this;
}

std::string_view work_file_owner(std::string_view name) {
    // "<stem>-<owner>-<16 hex digits>.tmp", the owner being "<host>-<pid>".
    constexpr std::string_view kExtension = ".tmp";
    constexpr size_t kRandomDigits = 16;
    if (!name.ends_with(kExtension))
        return {};
    name.remove_suffix(kExtension.size());
    if (name.size() < kRandomDigits + 1 || name[name.size() - kRandomDigits - 1] != '-' ||
        name.substr(name.size() - kRandomDigits).find_first_not_of("0123456789abcdef") !=
            std::string_view::npos)
        return {};
    name.remove_suffix(kRandomDigits + 1);
    // The owner is the last two dash-separated parts; the stem is the rest.
    const size_t pid_dash = name.rfind('-');
    if (pid_dash == std::string_view::npos || pid_dash == 0)
        return {};
    const size_t host_dash = name.rfind('-', pid_dash - 1);
    if (host_dash == std::string_view::npos || host_dash == 0)
        return {};
    return name.substr(host_dash + 1);
}

}  // namespace trelvane::platform
