#include "platform/file_system.h"

#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <vector>

#include "platform/file_io.h"
#include "platform/paths.h"

namespace trelvane::platform {

namespace {

void set_error(int* error, int value) {
    if (error != nullptr)
        *error = value;
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            close_descriptor(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

  private:
    int fd_;
};

}  // namespace

const char* file_kind_name(FileKind kind) {
    switch (kind) {
        case FileKind::Folder:
            return "a folder";
        case FileKind::Device:
            return "a device";
        case FileKind::Fifo:
            return "a FIFO";
        case FileKind::Socket:
            return "a socket";
        default:
            return "a file";
    }
}

namespace {

// The nearest level of the path that exists, and the names below it that do not (top down).
std::pair<std::string, std::vector<std::string>> split_at_existing(const std::string& path) {
    std::vector<std::string> missing;
    std::string level = path;
    while (!level.empty() && file_kind(level) == FileKind::Missing) {
        missing.push_back(name_of(level));
        const std::string parent = folder_of(level);
        if (parent == level || parent.size() >= level.size()) {
            level.clear();
            break;
        }
        level = parent;
    }
    std::string existing = level.empty() ? "." : level;
    // The names that do not exist yet cannot be links, so "." and ".." among them are taken as
    // written; a ".." above them is left to the system, at the existing level.
    std::vector<std::string> names;
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (it->empty() || *it == ".")
            continue;
        if (*it == "..") {
            if (!names.empty())
                names.pop_back();
            else
                existing += std::string(1, kPathSeparator) + "..";
            continue;
        }
        names.push_back(*it);
    }
    return {existing, names};
}

}  // namespace

bool same_location(const std::string& a, const std::string& b) {
    if (same_file(a, b))
        return true;
    if (a.empty() || b.empty())
        return false;
    // Not there yet: the same names below one existing folder.
    const auto [existing_a, missing_a] = split_at_existing(a);
    const auto [existing_b, missing_b] = split_at_existing(b);
    return !missing_a.empty() && missing_a == missing_b && same_file(existing_a, existing_b);
}

namespace {

// The levels this process made, with the number of claims that hold each.
struct MadeFolders {
    std::mutex mutex;
    std::map<std::string, int> holders;  // claimed levels (made here or not)
    std::set<std::string> made;          // levels this process created
};

MadeFolders& made_folders() {
    static MadeFolders instance;
    return instance;
}

// Drops the claims on the levels (deepest first) and removes each level that this process made,
// nobody holds any more and is empty (the removal refuses a folder that is not).
void drop_levels(MadeFolders& folders, const std::vector<std::string>& levels) {
    for (const std::string& level : levels) {
        auto it = folders.holders.find(level);
        if (it == folders.holders.end() || --it->second > 0)
            continue;
        folders.holders.erase(it);
        if (folders.made.erase(level) > 0)
            remove_empty_folder(level);
    }
}

}  // namespace

bool FolderClaim::claim(const std::string& folder, int* error) {
    release();
    set_error(error, 0);
    if (folder.empty()) {
        set_error(error, ENOENT);
        return false;
    }
    MadeFolders& folders = made_folders();
    std::lock_guard<std::mutex> lock(folders.mutex);
    // The missing levels, from the folder up to the first that exists (or the root).
    std::vector<std::string> missing;
    std::string level = folder;
    while (!level.empty() && !folder_exists(level)) {
        missing.push_back(level);
        const std::string parent = folder_of(level);
        if (parent == level || parent.size() >= level.size())
            break;
        level = parent;
    }
    // A level of this process's that already exists is held too, so that another claim's
    // release does not take it away under this one.
    for (std::string held = level; !held.empty() && folders.made.contains(held);) {
        levels_.push_back(held);  // deepest first
        const std::string parent = folder_of(held);
        if (parent == held || parent.size() >= held.size())
            break;
        held = parent;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        int reason = 0;
        if (!create_folder(*it, &reason)) {
            for (const std::string& held : levels_)
                ++folders.holders[held];
            drop_levels(folders, levels_);
            levels_.clear();
            set_error(error, reason);
            return false;
        }
        folders.made.insert(*it);
        levels_.insert(levels_.begin(), *it);
    }
    for (const std::string& held : levels_)
        ++folders.holders[held];
    return true;
}

void FolderClaim::release() {
    if (levels_.empty())
        return;
    MadeFolders& folders = made_folders();
    std::lock_guard<std::mutex> lock(folders.mutex);
    drop_levels(folders, levels_);
    levels_.clear();
}

bool create_folder_chain(const std::string& path, int* error, unsigned mode) {
    if (path.empty()) {
        set_error(error, ENOENT);
        return false;
    }
    if (folder_exists(path)) {
        set_error(error, 0);
        return true;
    }
    std::string parent = folder_of(path);
    // A parent that cannot be made shows as this level's failure, which names the reason.
    if (!parent.empty() && parent != path)
        create_folder_chain(parent, nullptr, mode);
    return create_folder(path, error, mode);
}

std::optional<std::string> read_small_file(const std::string& path, size_t max_size, int* error) {
    Descriptor fd(open_for_reading(path, error));
    if (!fd.valid())
        return std::nullopt;
    const std::optional<DescriptorStatus> status = descriptor_status(fd.get(), error);
    if (!status)
        return std::nullopt;
    if (status->size > max_size) {
        set_error(error, EFBIG);
        return std::nullopt;
    }
    std::string content;
    std::vector<char> chunk(65536);
    for (;;) {
        const int64_t n = read_some(fd.get(), chunk.data(), chunk.size());
        if (n < 0) {
            set_error(error, errno);
            return std::nullopt;
        }
        if (n == 0)
            break;
        if (content.size() + static_cast<size_t>(n) > max_size) {
            set_error(error, EFBIG);
            return std::nullopt;
        }
        content.append(chunk.data(), static_cast<size_t>(n));
    }
    return content;
}

std::optional<std::string> read_file_start(const std::string& path, size_t max_size, int* error) {
    Descriptor fd(open_for_reading(path, error));
    if (!fd.valid())
        return std::nullopt;
    std::string content(max_size, '\0');
    size_t filled = 0;
    while (filled < max_size) {
        const int64_t n = read_some(fd.get(), content.data() + filled, max_size - filled);
        if (n < 0) {
            set_error(error, errno);
            return std::nullopt;
        }
        if (n == 0)
            break;
        filled += static_cast<size_t>(n);
    }
    content.resize(filled);
    return content;
}

bool copy_file_times(const std::string& source, const std::string& target, int* error) {
    const std::optional<FileTimes> times = read_file_times(source, error);
    return times && set_file_times(target, *times, error);
}

std::string random_hex() {
    // One generator per thread: conversions on several threads make work files at once.
    thread_local std::mt19937_64 generator{std::random_device{}() ^
                                           (static_cast<uint64_t>(process_id()) << 32)};
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
    return text;
}

std::string create_unique_file(const std::string& folder, const std::string& stem,
                               const std::string& extension, int* error) {
    const std::string prefix = folder + stem + "-" + std::to_string(process_id()) + "-";
    constexpr int kAttempts = 100;
    int reason = EEXIST;
    for (int attempt = 0; attempt < kAttempts && reason == EEXIST; ++attempt) {
        std::string path = prefix + random_hex() + extension;
        if (create_new_private_file(path, &reason)) {
            set_error(error, 0);
            return path;
        }
    }
    set_error(error, reason);
    return {};
}

}  // namespace trelvane::platform
