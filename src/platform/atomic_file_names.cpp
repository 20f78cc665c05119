#include "platform/atomic_file_names.h"

#include <cstring>
#include <mutex>
#include <random>
#include <set>

#include "platform/cleanup.h"
#include "platform/paths.h"

namespace trelvane::platform::atomic_names {
namespace {

constexpr char kNameAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string random_suffix() {
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kNameAlphabet) - 2);
    std::string suffix(6, 'X');
    for (char& c : suffix)
        c = kNameAlphabet[pick(generator)];
    return suffix;
}

constexpr std::string_view kTemporaryMark = ".tmp-";

}  // namespace

std::string temporary_name(const std::string& destination) {
    return destination + std::string(kTemporaryMark) + owner_tag() + "-" + random_suffix();
}

namespace {

// The owner tag of a temporary name made by temporary_name; empty for any other name.
std::string_view temporary_owner(std::string_view name) {
    const size_t mark = name.rfind(kTemporaryMark);
    if (mark == std::string_view::npos || mark == 0)
        return {};
    const std::string_view rest = name.substr(mark + kTemporaryMark.size());
    constexpr size_t kSuffix = 6;
    if (rest.size() < kSuffix + 2 || rest[rest.size() - kSuffix - 1] != '-')
        return {};
    for (char c : rest.substr(rest.size() - kSuffix)) {
        if (std::strchr(kNameAlphabet, c) == nullptr || c == '\0')
            return {};
    }
    return rest.substr(0, rest.size() - kSuffix - 1);
}

}  // namespace

void sweep_folder_once(const std::string& folder) {
    static std::mutex mutex;
    static std::set<std::string> swept;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!swept.insert(folder).second)
            return;
    }
    remove_stale_files(folder, &temporary_owner);
}

std::string folder_for(const std::string& path) {
    const std::string folder = folder_of(path);
    return folder.empty() ? "." : folder;
}

}  // namespace trelvane::platform::atomic_names
