// Connects the Win32 window to the program's window run.
#pragma once

#include <optional>

#include "app/run_program.h"

namespace trelvane::win32 {

// Runs the window until it closes and returns its exit code; nothing (after a message) when
// the window could not be created.
std::optional<int> run_window(const app::WindowLaunch& launch);

}  // namespace trelvane::win32
