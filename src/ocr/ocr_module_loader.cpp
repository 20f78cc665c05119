// The program's side: finding and loading trelvane-ocr.so.
#include <mutex>

#include "ocr/ocr_module.h"
#include "platform/program_module.h"

// Where the package installs the module, relative to the program's folder.
#ifndef TRELVANE_OCR_MODULE_DIR
#define TRELVANE_OCR_MODULE_DIR "../lib/trelvane"
#endif

// Present when the recognition is linked into the program itself.
extern "C" const trelvane::ocr::OcrModule* trelvane_ocr_module() __attribute__((weak));

namespace trelvane::ocr {
namespace {

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
    // Never unloaded: engines made by the module live until the process ends.
    using Entry = const OcrModule* (*)();
    const auto entry = reinterpret_cast<Entry>(platform::load_program_module(
        kOcrModuleName, TRELVANE_OCR_MODULE_DIR, "trelvane_ocr_module", &loaded.error));
    if (entry == nullptr)
        return loaded;
    const OcrModule* module = entry();
    if (module == nullptr || module->version != kOcrModuleVersion) {
        loaded.error = std::string(kOcrModuleName) + " belongs to another trelvane version";
        return loaded;
    }
    loaded.module = module;
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
