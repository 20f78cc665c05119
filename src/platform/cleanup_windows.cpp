#include "platform/cleanup.h"
#include "platform/cleanup_system.h"
#include "platform/paths.h"
#include "platform/windows_calls.h"

namespace trelvane::platform {

void remove_registered_name(const char* path) {
    // Called on the console's control thread, not in a signal handler: allocating is safe.
    DeleteFileW(windows::wide_path(path).c_str());
}

std::string host_name() {
    wchar_t name[256] = {};
    DWORD size = sizeof name / sizeof name[0];
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size))
        return {};
    return windows::narrow(std::wstring_view(name, size));
}

bool process_is_gone(long pid) {
    windows::Handle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
    if (!process.valid())
        return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    DWORD code = 0;
    return GetExitCodeProcess(process.get(), &code) && code != STILL_ACTIVE;
}

void remove_stale_files(const std::string& folder,
                        std::string_view (*owner_of)(std::string_view name)) {
    std::string where = folder.empty() ? "." : folder;
    if (where.back() != kPathSeparator && where.back() != '/')
        where += kPathSeparator;
    WIN32_FIND_DATAW data{};
    const HANDLE search =
        FindFirstFileExW(windows::wide_path(where + "*").c_str(), FindExInfoBasic, &data,
                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
            0)
            continue;
        const std::string name = windows::narrow(data.cFileName);
        const std::string_view tag = owner_of(name);
        if (!tag.empty() && owner_is_gone(tag))
            DeleteFileW(windows::wide_path(where + name).c_str());
    } while (FindNextFileW(search, &data));
    FindClose(search);
}

}  // namespace trelvane::platform
