#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

namespace trelvane::platform {
namespace {

constexpr int kNameAttempts = 100;
constexpr char kNameAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string random_suffix(std::mt19937& generator) {
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kNameAlphabet) - 2);
    std::string suffix(6, 'X');
    for (char& c : suffix)
        c = kNameAlphabet[pick(generator)];
    return suffix;
}

std::string folder_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// Makes the rename itself durable; a failure here loses nothing, so it is not reported.
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
    if (destination.empty())
        return false;
    // mkstemp would give 0600; opening with O_EXCL and 0666 lets the umask decide, as for
    // any new file the user creates.
    std::random_device seed;
    std::mt19937 generator(seed());
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string candidate = destination + ".tmp-" + random_suffix(generator);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            destination_ = destination;
            temporary_path_ = std::move(candidate);
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool AtomicFile::commit() {
    if (fd_ < 0)
        return false;
    bool ok = ::fsync(fd_) == 0;
    ok = (::close(fd_) == 0) && ok;
    fd_ = -1;
    if (ok && std::rename(temporary_path_.c_str(), destination_.c_str()) == 0) {
        sync_folder(folder_of(destination_));
        temporary_path_.clear();
        return true;
    }
    ::unlink(temporary_path_.c_str());
    temporary_path_.clear();
    return false;
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
}

}  // namespace trelvane::platform
