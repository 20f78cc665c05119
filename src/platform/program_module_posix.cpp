#include "platform/program_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include "platform/paths.h"

namespace trelvane::platform {

void* load_program_module(const std::string& file_name, const std::string& install_folder,
                          const char* entry, std::string* error) {
    std::string tried;
    const auto note = [&tried](const std::string& why) {
        if (!tried.empty())
            tried += "; ";
        tried += why;
    };
    const std::string folder = program_folder();
    const std::string candidates[] = {
        folder + "/" + file_name,
        folder + "/" + install_folder + "/" + file_name,
    };
    for (const std::string& path : candidates) {
        if (::access(path.c_str(), F_OK) != 0)
            continue;
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* why = ::dlerror();
            note(why != nullptr ? std::string(why) : path);
            continue;
        }
        if (void* address = ::dlsym(handle, entry))
            return address;
        note(path + " has no " + entry);
    }
    if (tried.empty())
        note("neither " + candidates[0] + " nor " + candidates[1] + " exists");
    if (error != nullptr)
        *error = tried;
    return nullptr;
}

}  // namespace trelvane::platform
