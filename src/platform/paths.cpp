#include "platform/paths.h"

namespace trelvane::platform {

std::optional<std::string_view> path_below(std::string_view path, std::string_view folder) {
    if (folder.empty() || !path.starts_with(folder))
        return std::nullopt;
    std::string_view rest = path.substr(folder.size());
    if (folder.back() != kPathSeparator && (rest.empty() || rest.front() != kPathSeparator))
        return std::nullopt;
    while (!rest.empty() && rest.front() == kPathSeparator)
        rest.remove_prefix(1);
    return rest;
}

}  // namespace trelvane::platform
