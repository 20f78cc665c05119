// Connects the desktop window to the program's window run.
#pragma once

#include <optional>

#include "app/run_program.h"

namespace trelvane::gui {

// True when a window can be shown: a Wayland session, an X11 display (a local one only when its
// socket exists), or a Qt platform chosen explicitly through QT_QPA_PLATFORM.
bool display_available();

// What the program tells Qt about itself once its application object exists. No display name:
// Qt would append it to every caption ("About — ..."), and the captions are the window's own.
void configure_application();

// A window run that handed its files to the window already running.
inline constexpr int kExitHandedOver = 0;

// Runs the window until it closes and returns its exit code (kExitHandedOver when another
// window of the user's took over); nothing (after one line on standard error) when there is
// no display to show it on.
std::optional<int> run_window(const app::WindowLaunch& launch);

}  // namespace trelvane::gui
