#include <shlobj.h>

#include <cwctype>

#include "platform/paths.h"
#include "platform/windows_calls.h"

namespace trelvane::platform {

namespace {

bool is_separator(char c) {
    return c == '\\' || c == '/';
}

// Where the root of a path ends: "C:\" (3), "\\server\share\" and "\" (1); 0 for a relative
// path.
size_t root_length(std::string_view path) {
    if (path.size() >= 2 && path[1] == ':')
        return path.size() >= 3 && is_separator(path[2]) ? 3 : 2;
    if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
        size_t at = path.find_first_of("\\/", 2);  // end of the server
        if (at != std::string_view::npos)
            at = path.find_first_of("\\/", at + 1);  // end of the share
        return at == std::string_view::npos ? path.size() : at + 1;
    }
    return !path.empty() && is_separator(path[0]) ? 1 : 0;
}

std::string environment(const wchar_t* name) {
    const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed == 0)
        return {};
    std::wstring value(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), needed);
    value.resize(length < needed ? length : 0);
    return windows::narrow(value);
}

std::string known_folder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path)))
        folder = windows::narrow(path);
    CoTaskMemFree(path);
    return folder;
}

std::string without_trailing_separator(std::string folder) {
    while (folder.size() > root_length(folder) && is_separator(folder.back()))
        folder.pop_back();
    return folder;
}

// Case-insensitive, as the system compares names.
bool starts_with_folder(const std::string& path, const std::string& folder) {
    if (folder.empty())
        return false;
    const std::wstring p = windows::widen(path);
    const std::wstring f = windows::widen(without_trailing_separator(folder));
    if (p.size() < f.size() || (p.size() > f.size() && p[f.size()] != L'\\'))
        return false;
    return CompareStringOrdinal(p.data(), static_cast<int>(f.size()), f.data(),
                                static_cast<int>(f.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

std::string native_path(std::string path) {
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

std::string portable_relative_path(std::string path) {
    for (char& c : path) {
        if (c == '\\')
            c = '/';
    }
    return path;
}

std::string program_file_path() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            std::string path = windows::narrow(buffer);
            if (path.starts_with("\\\\?\\UNC\\"))
                return "\\\\" + path.substr(8);
            return path.starts_with("\\\\?\\") ? path.substr(4) : path;
        }
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string program_folder() {
    const std::string file = program_file_path();
    return file.empty() ? "." : folder_of(file);
}

std::string temp_folder() {
    wchar_t buffer[MAX_PATH + 2] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    std::string folder = n > 0 && n <= MAX_PATH ? windows::narrow(buffer) : "C:\\Windows\\Temp\\";
    if (!is_separator(folder.back()))
        folder += kPathSeparator;
    return folder;
}

std::string work_files_text() {
    return "files in %TEMP% (" + temp_folder() +
           "), removed by the system when the\n"
           "            program ends, however it ends";
}

bool folder_is_writable(const std::string& folder) {
    if (folder.empty())
        return false;
    // Access rules on Windows are lists, not bits: the one sure test is to make a file.
    const std::string probe = without_trailing_separator(folder) + kPathSeparator +
                              ".trelvane-write-test-" + std::to_string(GetCurrentProcessId());
    const HANDLE file =
        windows::open_path(probe, GENERIC_WRITE, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

bool is_installation_folder(const std::string& program_folder) {
    // The installer leaves its uninstaller beside the programs, wherever the user chose to
    // install (a per-user install's folder is the user's to write).
    const std::string uninstaller =
        without_trailing_separator(program_folder) + kPathSeparator + "uninstall.exe";
    if (GetFileAttributesW(windows::wide_path(uninstaller).c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    // Below Program Files (machine-wide installs) or the user's Programs folder (per-user
    // installs; not every system knows its folder id, hence the environment's form too).
    const std::string local = environment(L"LOCALAPPDATA");
    for (const std::string& root :
         {known_folder(FOLDERID_ProgramFiles), known_folder(FOLDERID_ProgramFilesX86),
          known_folder(FOLDERID_UserProgramFiles), environment(L"ProgramFiles"),
          environment(L"ProgramW6432"), local.empty() ? local : local + "\\Programs"}) {
        if (starts_with_folder(program_folder, root))
            return true;
    }
    return false;
}

UserFileLocations locate_user_files(const ProgramPlace& place) {
    UserFileLocations locations;
    if (place.folder_writable && !place.installed) {
        const std::string folder = without_trailing_separator(place.program_folder);
        locations.settings_file = folder + "\\trelvane.ini";
        locations.log_file = folder + "\\log\\tvnlog.txt";
        return locations;
    }
    std::string roaming = known_folder(FOLDERID_RoamingAppData);
    if (roaming.empty())
        roaming = environment(L"APPDATA");
    std::string local = known_folder(FOLDERID_LocalAppData);
    if (local.empty())
        local = environment(L"LOCALAPPDATA");
    locations.settings_file = roaming + "\\Trelvane\\trelvane.ini";
    locations.log_parent_folder = local + "\\Trelvane";
    locations.log_file = locations.log_parent_folder + "\\log\\tvnlog.txt";
    return locations;
}

bool running_as_superuser() {
    // An administrator's runs keep the user's own places, as Windows programs do.
    return false;
}

std::string folder_of(const std::string& path) {
    const size_t root = root_length(path);
    const size_t pos = path.find_last_of("\\/");
    if (pos == std::string::npos || pos < root) {
        // A bare name has no folder; "C:name" and "C:\name" have their drive's.
        return root > 0 ? path.substr(0, root) : std::string();
    }
    if (pos + 1 == root)
        return path.substr(0, root);
    return path.substr(0, pos);
}

std::string name_of(const std::string& path) {
    const size_t root = root_length(path);
    const size_t pos = path.find_last_of("\\/");
    if (pos == std::string::npos || pos < root)
        return path.substr(root);
    return path.substr(pos + 1);
}

}  // namespace trelvane::platform
