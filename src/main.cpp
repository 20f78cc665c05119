#include "app/run_program.h"

#ifdef TRELVANE_WINDOW_MODULE_DIR
#include <cstring>
#include <string>

#include "gui/window_module.h"
#include "platform/console.h"
#include "platform/program_module.h"

namespace {

// Loads the window module on the first window run and runs the window from it.
std::optional<int> run_window_from_module(const trelvane::app::WindowLaunch& launch) {
    using Entry = const trelvane::gui::WindowModule* (*)();
    std::string error;
    const auto entry = reinterpret_cast<Entry>(trelvane::platform::load_program_module(
        trelvane::gui::kWindowModuleName, TRELVANE_WINDOW_MODULE_DIR, "trelvane_window_module",
        &error));
    const trelvane::gui::WindowModule* module = entry != nullptr ? entry() : nullptr;
    if (module != nullptr && std::strcmp(module->version, TRELVANE_VERSION) != 0) {
        error = std::string(trelvane::gui::kWindowModuleName) + " belongs to trelvane " +
                module->version + ", not " TRELVANE_VERSION;
        module = nullptr;
    }
    if (module == nullptr) {
        trelvane::platform::print_error(
            "trelvane: cannot load the window (" + error +
            "); install the package trelvane-gui (apt install trelvane-gui), or convert from the "
            "command line (see trelvane --help)\n");
        return std::nullopt;
    }
    return module->run_window(launch);
}

}  // namespace
#endif

int main(int argc, char** argv) {
#ifdef TRELVANE_WINDOW_MODULE_DIR
    trelvane::app::set_window_factory(&run_window_from_module);
#endif
    return trelvane::app::program_entry(argc, argv);
}
