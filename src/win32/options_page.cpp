#include "win32/options_page.h"

#include <commctrl.h>

#include "app/batch_job.h"
#include "app/page_recognition.h"
#include "app/pdf_verification.h"
#include "gui/option_rules.h"
#include "pdfout/archive_level.h"
#include "platform/windows_calls.h"
#include "win32/resource_ids.h"

namespace trelvane::win32 {

namespace {

// Settings are written a moment after the last change, so a session ended by logout keeps them.
constexpr UINT_PTR kSaveTimer = 1;

constexpr pdfout::ArchiveLevel kLevels[] = {
    pdfout::ArchiveLevel::kPdfA1b, pdfout::ArchiveLevel::kPdfA2b, pdfout::ArchiveLevel::kPdfA3b};

// A whole number in [low, high] from an edit into `value`; otherwise `value` stays and, when
// asked to complain, the window beeps and the field takes the focus.
bool read_number(HWND dialog, int id, int32_t low, int32_t high, int32_t& value, bool complain) {
    BOOL ok = FALSE;
    const UINT number = GetDlgItemInt(dialog, id, &ok, FALSE);
    if (!ok || number < static_cast<UINT>(low) || number > static_cast<UINT>(high)) {
        if (complain) {
            MessageBeep(MB_OK);
            SetFocus(GetDlgItem(dialog, id));
        }
        return false;
    }
    value = static_cast<int32_t>(number);
    return true;
}

}  // namespace

OptionsPage::OptionsPage(std::string settings_path, CycleChanged cycle_changed)
    : settings_path_(std::move(settings_path)), cycle_changed_(std::move(cycle_changed)) {
    fields_ = app::read_saved_options(settings_path_, app::global_settings().recalculate_lines);
}

HWND OptionsPage::create(HWND parent) {
    return CreateDialogParamW(program_instance(), MAKEINTRESOURCEW(IDD_OPTIONS_PAGE), parent,
                              dialog_procedure<OptionsPage>, reinterpret_cast<LPARAM>(this));
}

int32_t OptionsPage::check(int id) const {
    switch (IsDlgButtonChecked(window_, id)) {
        case BST_CHECKED:
            return 1;
        case BST_INDETERMINATE:
            return 2;
        default:
            return 0;
    }
}

void OptionsPage::set_check(int id, int32_t value) {
    static constexpr UINT kStates[] = {BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE};
    CheckDlgButton(window_, id, kStates[gui::check_box_value(value)]);
}

void OptionsPage::show_fields() {
    showing_ = true;
    CheckRadioButton(
        window_, IDC_CONVERT_DIRECTORY, IDC_CONVERT_FILES,
        fields_.convert_mode == gui::kConvertFiles ? IDC_CONVERT_FILES : IDC_CONVERT_DIRECTORY);
    set_check(IDC_SUBDIR, fields_.subdir);
    set_check(IDC_HIERARCHY, fields_.hierarchy);
    set_check(IDC_KEEP_DATE, fields_.keep_date);
    set_check(IDC_KEEP_EXT, fields_.keep_ext);
    set_check(IDC_RECALCULATE, fields_.recalculate);
    set_check(IDC_CYCLE, fields_.cycle_enabled);
    // A stored interval the timer cannot run with shows as the one it runs with.
    SetDlgItemInt(window_, IDC_CYCLE_MINUTES,
                  static_cast<UINT>(gui::usable_cycle_minutes(fields_.cycle_minutes)), FALSE);
    SetDlgItemInt(window_, IDC_PARALLEL_JOBS, static_cast<UINT>(fields_.parallel_jobs), FALSE);
    CheckDlgButton(window_, IDC_VERIFY, fields_.verify == 1 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(window_, IDC_PDFA, fields_.pdfa == 1 ? BST_CHECKED : BST_UNCHECKED);
    for (int i = 0; i < 3; ++i) {
        if (kLevels[i] == fields_.pdfa_level) {
            SendDlgItemMessageW(window_, IDC_PDFA_LEVEL, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
        }
    }
    EnableWindow(GetDlgItem(window_, IDC_PDFA_LEVEL), fields_.pdfa == 1);
    showing_ = false;
}

void OptionsPage::apply_enabling() {
    const gui::OptionsEnabling enabling = gui::options_enabling(fields_);
    EnableWindow(GetDlgItem(window_, IDC_SUBDIR), enabling.subdir);
    EnableWindow(GetDlgItem(window_, IDC_HIERARCHY), enabling.hierarchy);
    EnableWindow(GetDlgItem(window_, IDC_CYCLE), enabling.cycle_box);
    EnableWindow(GetDlgItem(window_, IDC_CYCLE_MINUTES), enabling.minutes);
    // No PDF parser in this build: the check box shows the stored choice, greyed.
    EnableWindow(GetDlgItem(window_, IDC_VERIFY), app::pdf_checks_available());
}

void OptionsPage::take_fields(bool complain) {
    if (window_ == nullptr) {
        return;
    }
    fields_.convert_mode = IsDlgButtonChecked(window_, IDC_CONVERT_FILES) ? gui::kConvertFiles
                                                                          : gui::kConvertDirectory;
    fields_.subdir = check(IDC_SUBDIR);
    fields_.hierarchy = check(IDC_HIERARCHY);
    fields_.keep_date = check(IDC_KEEP_DATE);
    fields_.keep_ext = check(IDC_KEEP_EXT);
    fields_.recalculate = check(IDC_RECALCULATE);
    fields_.cycle_enabled = check(IDC_CYCLE);
    if (app::pdf_checks_available())
        fields_.verify = check(IDC_VERIFY) == 1 ? 1 : 0;
    fields_.pdfa = check(IDC_PDFA) == 1 ? 1 : 0;
    const LRESULT level = SendDlgItemMessageW(window_, IDC_PDFA_LEVEL, CB_GETCURSEL, 0, 0);
    if (level >= 0 && level < 3) {
        fields_.pdfa_level = kLevels[level];
    }
    // Searchable PDFs need text recognition, which this build has not: "Ocr" and
    // "OcrLanguages" are kept as they were read, for the Linux window.
    read_number(window_, IDC_PARALLEL_JOBS, app::kMinParallelJobs, app::kMaxParallelJobs,
                fields_.parallel_jobs, complain);
    read_number(window_, IDC_CYCLE_MINUTES, gui::kMinCycleMinutes, gui::kMaxCycleMinutes,
                fields_.cycle_minutes, complain);
    app::global_settings().recalculate_lines = static_cast<uint8_t>(fields_.recalculate);
}

gui::WindowOptions OptionsPage::window_options() const {
    gui::WindowOptions options = gui::window_options_from(fields_);
    // What this build cannot do stays in the settings file (for the Linux window that shares
    // it) but is not asked of a pass, whose every file would fail.
    options.ocr = options.ocr && app::recognition_available();
    options.verify = options.verify && app::pdf_checks_available();
    return options;
}

bool OptionsPage::write_settings(bool complain) {
    if (window_ != nullptr) {
        KillTimer(window_, kSaveTimer);
    }
    take_fields(complain);
    return app::write_saved_options(settings_path_, fields_);
}

void OptionsPage::mode_clicked(int32_t mode) {
    take_fields();
    gui::choose_convert_mode(fields_, mode);
    show_fields();
    apply_enabling();
    cycle_clicked();
}

void OptionsPage::cycle_clicked() {
    take_fields();
    apply_enabling();
    if (cycle_changed_) {
        cycle_changed_(fields_.cycle_minutes, fields_.cycle_enabled == 1);
    }
}

INT_PTR OptionsPage::handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_INITDIALOG:
            for (const pdfout::ArchiveLevel level : kLevels) {
                const std::string name = "PDF/A-" + std::string(pdfout::archive_level_name(level));
                SendDlgItemMessageW(
                    window_, IDC_PDFA_LEVEL, CB_ADDSTRING, 0,
                    reinterpret_cast<LPARAM>(platform::windows::widen(name).c_str()));
            }
            show_fields();
            apply_enabling();
            return FALSE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
            return colours_.answer(message, reinterpret_cast<HDC>(w));
        case WM_TIMER:
            if (w == kSaveTimer) {
                write_settings(false);  // a field half typed is not complained about
            }
            return TRUE;
        case WM_COMMAND: {
            const int id = LOWORD(w);
            const int code = HIWORD(w);
            if (id == IDOK || id == IDCANCEL) {
                // Enter and Escape are the window's (the dialog manager may hand them to the
                // page holding the focus).
                SendMessageW(GetParent(window_), WM_COMMAND, w, l);
                return TRUE;
            }
            if (showing_) {
                return TRUE;  // the fields being shown are no change to save
            }
            if (code == BN_CLICKED && id == IDC_CONVERT_DIRECTORY) {
                mode_clicked(gui::kConvertDirectory);
            } else if (code == BN_CLICKED && id == IDC_CONVERT_FILES) {
                mode_clicked(gui::kConvertFiles);
            } else if (code == BN_CLICKED && id == IDC_CYCLE) {
                cycle_clicked();
            } else if (code == BN_CLICKED && id == IDC_PDFA) {
                EnableWindow(GetDlgItem(window_, IDC_PDFA_LEVEL), check(IDC_PDFA) == 1);
            }
            if (code == BN_CLICKED || code == EN_CHANGE || code == CBN_SELCHANGE) {
                SetTimer(window_, kSaveTimer, gui::kSettingsWriteDelayMs, nullptr);
            }
            return TRUE;
        }
        default:
            (void)l;
            return FALSE;
    }
}

}  // namespace trelvane::win32
