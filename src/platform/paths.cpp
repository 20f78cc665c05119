#include "platform/paths.h"

namespace trelvane::platform {

UserFileLocations locate_user_files(const std::string& program_folder) {
    ProgramPlace place;
    place.program_folder = program_folder;
    place.folder_writable = folder_is_writable(program_folder);
    place.installed = is_installation_folder(program_folder);
    place.superuser = running_as_superuser();
    return locate_user_files(place);
}

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
