#include "platform/paths.h"
#include "platform/program_module.h"
#include "platform/windows_calls.h"

namespace trelvane::platform {

void* load_program_module(const std::string& file_name, const std::string& install_folder,
                          const char* entry, std::string* error) {
    std::string tried;
    const std::string folder = program_folder();
    const std::string candidates[] = {
        folder + kPathSeparator + file_name,
        folder + kPathSeparator + install_folder + kPathSeparator + file_name,
    };
    for (const std::string& path : candidates) {
        if (GetFileAttributesW(windows::wide_path(path).c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        // Its own folder first for the libraries it needs, not the current folder.
        const HMODULE module = LoadLibraryExW(windows::wide_path(path).c_str(), nullptr,
                                              LOAD_WITH_ALTERED_SEARCH_PATH);
        if (module == nullptr) {
            tried += (tried.empty() ? "" : "; ") + path + " cannot be loaded (error " +
                     std::to_string(GetLastError()) + ")";
            continue;
        }
        if (FARPROC address = GetProcAddress(module, entry))
            return reinterpret_cast<void*>(address);
        tried += (tried.empty() ? "" : "; ") + path + " has no " + entry;
    }
    if (tried.empty())
        tried = "neither " + candidates[0] + " nor " + candidates[1] + " exists";
    if (error != nullptr)
        *error = tried;
    return nullptr;
}

}  // namespace trelvane::platform
