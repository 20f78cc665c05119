// The module's side: the window run behind a plain entry point.
#include "gui/window_factory.h"
#include "gui/window_module.h"

extern "C" __attribute__((visibility("default"))) const trelvane::gui::WindowModule*
trelvane_window_module() {
    static const trelvane::gui::WindowModule module{TRELVANE_VERSION, &trelvane::gui::run_window};
    return &module;
}
