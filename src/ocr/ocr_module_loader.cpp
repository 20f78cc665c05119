// The program's side: finding and loading trelvane-ocr.so.
#include <dlfcn.h>
#include <unistd.h>

#include <mutex>
#include <vector>

#include "ocr/ocr_module.h"

// Where the package installs the module, relative to the program's folder.
#ifndef TRELVANE_OCR_MODULE_DIR
#define TRELVANE_OCR_MODULE_DIR "../lib/trelvane"
#endif

// Present when the recognition is linked into the program itself.
extern "C" const trelvane::ocr::OcrModule* trelvane_ocr_module() __attribute__((weak));

namespace trelvane::ocr {
namespace {

std::string program_folder() {
    std::vector<char> path(4096);
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<size_t>(n) >= path.size())
        return {};
    std::string folder(path.data(), static_cast<size_t>(n));
    const size_t slash = folder.rfind('/');
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

struct Loaded {
    const OcrModule* module = nullptr;
    std::string error;
};

Loaded load() {
    Loaded loaded;
    if (trelvane_ocr_module != nullptr) {
        loaded.module = trelvane_ocr_module();
        return loaded;
    }
    const std::string folder = program_folder();
    if (folder.empty()) {
        loaded.error = "the program's own folder is unknown (/proc is not mounted?)";
        return loaded;
    }
    const std::string candidates[] = {
        folder + "/" + kOcrModuleName,
        folder + "/" + TRELVANE_OCR_MODULE_DIR + "/" + kOcrModuleName,
    };
    std::string tried;
    const auto note = [&tried](const std::string& why) {
        if (!tried.empty())
            tried += "; ";
        tried += why;
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
        // Never unloaded: engines made by the module live until the process ends.
        using Entry = const OcrModule* (*)();
        auto entry = reinterpret_cast<Entry>(::dlsym(handle, "trelvane_ocr_module"));
        const OcrModule* module = entry ? entry() : nullptr;
        if (module == nullptr || module->version != kOcrModuleVersion) {
            note(path + " belongs to another trelvane version");
            continue;
        }
        loaded.module = module;
        return loaded;
    }
    if (tried.empty())
        note("neither " + candidates[0] + " nor " + candidates[1] + " exists");
    loaded.error = tried;
    return loaded;
}

}  // namespace

const OcrModule* load_ocr_module(std::string* error) {
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = load(); });
    if (loaded.module == nullptr && error != nullptr)
        *error = loaded.error;
    return loaded.module;
}

}  // namespace trelvane::ocr
