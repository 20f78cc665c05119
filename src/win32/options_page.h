// The "Options" page: the folder-conversion choices, the automatic conversion and the options
// the Linux window added (parallel conversions, verification, archive PDFs). Its rules are the
// shared ones of gui/option_rules.h.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/settings_file.h"
#include "gui/window_options.h"
#include "win32/window_support.h"

namespace trelvane::win32 {

class OptionsPage {
  public:
    // Called with the minutes and the box's state whenever the automatic conversion may have
    // changed (the set_cycle message of the window).
    using CycleChanged = std::function<void(int minutes, bool enabled)>;

    OptionsPage(std::string settings_path, CycleChanged cycle_changed);
    HWND create(HWND parent);
    HWND window() const { return window_; }

    // The controls into the fields (and "Re-caculate Scan Lines" into the conversion
    // settings). A minutes or parallel field that is not a whole number in range beeps, takes
    // the focus and keeps its old value.
    void take_fields(bool complain = true);
    const app::SavedOptions& fields() const { return fields_; }
    gui::WindowOptions window_options() const;
    // Takes the controls and writes the options keys. False when the file could not be written.
    bool write_settings(bool complain = true);

    void attach(HWND window) { window_ = window; }
    INT_PTR handle(UINT message, WPARAM w, LPARAM l);

  private:
    void show_fields();
    void apply_enabling();
    void mode_clicked(int32_t mode);
    void cycle_clicked();
    int32_t check(int id) const;
    void set_check(int id, int32_t value);

    std::string settings_path_;
    CycleChanged cycle_changed_;
    app::SavedOptions fields_;
    HWND window_ = nullptr;
    bool showing_ = false;  // show_fields is setting the controls
    DialogColours colours_{kPageBackground, kOptionsEditBackground};
};

}  // namespace trelvane::win32
