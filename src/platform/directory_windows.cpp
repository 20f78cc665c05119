#include <cerrno>

#include "platform/folder_entries.h"
#include "platform/windows_calls.h"

namespace trelvane::platform {

void read_folder_entries(const std::string& folder, std::string_view pattern,
                         std::vector<DirectoryEntry>& entries, int* error) {
    WIN32_FIND_DATAW data{};
    // Every name, matched here by the program's own rule rather than the system's (which also
    // matches the short 8.3 names).
    const HANDLE search =
        FindFirstFileExW(windows::wide_path(folder + "*").c_str(), FindExInfoBasic, &data,
                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD failure = GetLastError();
        if (failure != ERROR_FILE_NOT_FOUND && error != nullptr)
            *error = windows::errno_from(failure);
        return;
    }
    do {
        std::string name = windows::narrow(data.cFileName);
        if (!wildcard_match(pattern, name))
            continue;
        DirectoryEntry found;
        found.name = std::move(name);
        found.is_folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // A junction or a symbolic link to a folder: listed, but a walk does not descend.
        found.is_link =
            found.is_folder && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entries.push_back(std::move(found));
    } while (FindNextFileW(search, &data));
    const DWORD end = GetLastError();
    if (end != ERROR_NO_MORE_FILES && error != nullptr)
        *error = windows::errno_from(end);  // the listing broke off: say so, keep what came
    FindClose(search);
}

}  // namespace trelvane::platform
