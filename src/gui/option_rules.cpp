#include "gui/option_rules.h"

#include <algorithm>

namespace trelvane::gui {

OptionsEnabling options_enabling(const app::SavedOptions& options) {
    const bool folder = options.convert_mode == kConvertDirectory;
    OptionsEnabling e;
    e.subdir = folder;
    e.hierarchy = folder;
    e.cycle_box = folder;
    e.minutes = options.cycle_enabled == 0;
    return e;
}

void choose_convert_mode(app::SavedOptions& options, int32_t mode) {
    options.convert_mode = mode == kConvertFiles ? kConvertFiles : kConvertDirectory;
    options.subdir = 0;
    options.hierarchy = 0;
    options.cycle_enabled = 0;
}

int32_t check_box_value(int32_t stored) {
    return stored >= 0 && stored <= 2 ? stored : 0;
}

int32_t usable_cycle_minutes(int32_t minutes) {
    return std::clamp(minutes, kMinCycleMinutes, kMaxCycleMinutes);
}

WindowOptions window_options_from(const app::SavedOptions& options) {
    WindowOptions w;
    w.convert_mode = options.convert_mode;
    w.subdir = options.subdir;
    w.hierarchy = options.hierarchy;
    w.keep_date = options.keep_date;
    w.keep_ext = options.keep_ext;
    w.parallel_jobs = options.parallel_jobs;
    w.ocr = options.ocr == 1;
    w.ocr_languages = options.ocr_languages;
    w.verify = options.verify == 1;
    w.pdfa = options.pdfa == 1 ? options.pdfa_level : pdfout::ArchiveLevel::kNone;
    return w;
}

}  // namespace trelvane::gui
