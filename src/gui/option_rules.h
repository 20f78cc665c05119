// The Options page's rules, kept apart from the widgets so they can be checked without a
// display.
#pragma once

#include <cstdint>

#include "app/settings_file.h"
#include "gui/window_options.h"

namespace trelvane::gui {

// Which option controls accept input.
struct OptionsEnabling {
    bool subdir = true;
    bool hierarchy = true;
    bool cycle_box = true;
    bool minutes = true;
};

// Subfolders, hierarchy and automatic conversion only make sense for a folder; the interval
// is locked while automatic conversion is on so a running cycle cannot change under it.
OptionsEnabling options_enabling(const app::SavedOptions& options);

// A click on one of the mode buttons: the folder-only choices are cleared, which also switches
// the automatic conversion off.
void choose_convert_mode(app::SavedOptions& options, int32_t mode);

// Check boxes know three states (0 to 2); anything else read from the settings file is shown as
// clear.
int32_t check_box_value(int32_t stored);

// The interval the cycle timer can really run with: at least one minute, so a stored 0 cannot
// start passes back to back, and at most what a millisecond timer holds.
constexpr int32_t kMinCycleMinutes = 1;
constexpr int32_t kMaxCycleMinutes = 35791;  // 35791 * 60000 ms still fits a 32-bit interval
int32_t usable_cycle_minutes(int32_t minutes);

// Settings are written as they change, once typing or clicking has paused this long.
inline constexpr int kSettingsWriteDelayMs = 300;

// The values the Convert page works with.
WindowOptions window_options_from(const app::SavedOptions& options);

}  // namespace trelvane::gui
