// The desktop window lives in a module of its own, trelvane-window.so, that the program loads
// only for a window run. Qt brings some forty shared libraries, and loading them cost about
// 20 ms of every start, command-line runs of one file each among them.
//
// The module holds the window's code and Qt only. What it uses of the rest of the program
// (the conversions, the settings, the paths) it finds in the program itself, which exports it:
// there is one copy of the process's state, whichever side uses it.
#pragma once

#include <optional>

#include "app/run_program.h"

namespace trelvane::gui {

struct WindowModule {
    const char* version = nullptr;  // the program version the module was built with
    std::optional<int> (*run_window)(const app::WindowLaunch& launch) = nullptr;
};

inline constexpr const char* kWindowModuleName = "trelvane-window.so";

}  // namespace trelvane::gui

// Defined by the module.
extern "C" const trelvane::gui::WindowModule* trelvane_window_module();
