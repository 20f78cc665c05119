#include "win32/main_window.h"

#include <commctrl.h>

#include <optional>

#include "gui/window_files.h"
#include "platform/windows_calls.h"
#include "win32/about_box.h"
#include "win32/help_viewer.h"
#include "win32/resource_ids.h"

namespace trelvane::win32 {

namespace {

constexpr int kConvertTab = 0;
constexpr int kOptionsTab = 1;

// Marks the window as this program's, so a later start does not mistake another program's
// dialog of the same caption for it.
constexpr const wchar_t* kWindowMark = L"Trelvane.MainWindow";
// WM_COPYDATA's tag for files handed over: their full paths in UTF-8, each ended by a NUL.
constexpr ULONG_PTR kHandOverFiles = 0x54564631;  // "TVF1"
// Posted to itself: converts the files handed over once the start that sent them is answered.
constexpr UINT kConvertHandedFiles = WM_APP + 2;
// How long a later start waits for the running window's answer.
constexpr UINT kHandOverTimeoutMs = 5000;

// The path made absolute by the system's rules (drive letters, UNC names, the current folder).
std::string full_path(const std::string& path) {
    const std::wstring wide = platform::windows::widen(path);
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (got == 0 || got >= size) {
        return path;
    }
    full.resize(got);
    return platform::windows::narrow(full);
}

}  // namespace

MainWindow::MainWindow(const WindowSetup& setup)
    : setup_(setup),
      convert_page_(setup.paths),
      options_page_(setup.paths.settings_path, [this](int minutes, bool enabled) {
          convert_page_.set_cycle(minutes, enabled);
      }) {}

MainWindow::~MainWindow() {
    tray_.remove();
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
    for (HICON icon : {large_icon_, small_icon_}) {
        if (icon != nullptr) {
            DestroyIcon(icon);
        }
    }
}

bool MainWindow::create() {
    return CreateDialogParamW(program_instance(), MAKEINTRESOURCEW(IDD_MAIN_WINDOW), nullptr,
                              dialog_procedure<MainWindow>,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

void MainWindow::initialise() {
    large_icon_ = static_cast<HICON>(
        LoadImageW(program_instance(), MAKEINTRESOURCEW(kProgramIconId), IMAGE_ICON,
                   GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    small_icon_ = static_cast<HICON>(
        LoadImageW(program_instance(), MAKEINTRESOURCEW(kProgramIconId), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large_icon_));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_));

    HWND tabs = GetDlgItem(window_, IDC_TABS);
    const wchar_t* names[] = {L"Convert", L"Options"};
    for (int i = 0; i < 2; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(names[i]);
        TabCtrl_InsertItem(tabs, i, &item);
    }
    convert_page_.create(window_);
    options_page_.create(window_);
    place_pages();

    // The automatic conversion as the settings file left it.
    options_page_.take_fields(false);
    convert_page_.set_cycle(options_page_.fields().cycle_minutes,
                            options_page_.fields().cycle_enabled == 1);
    TabCtrl_SetCurSel(tabs, kConvertTab);
    tab_selected(kConvertTab);
    tray_.add(window_, small_icon_);
    SetPropW(window_, kWindowMark, reinterpret_cast<HANDLE>(1));
}

// The pages lie over the tab control's display area, above it in the z-order; as siblings of
// the tab control the dialog manager walks into them for Tab and the mnemonics.
void MainWindow::place_pages() {
    HWND tabs = GetDlgItem(window_, IDC_TABS);
    RECT area{};
    GetWindowRect(tabs, &area);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&area), 2);
    TabCtrl_AdjustRect(tabs, FALSE, &area);
    for (HWND page : {convert_page_.window(), options_page_.window()}) {
        SetWindowPos(page, HWND_TOP, area.left, area.top, area.right - area.left,
                     area.bottom - area.top, SWP_NOACTIVATE);
    }
}

void MainWindow::tab_selected(int index) {
    if (index == kConvertTab) {
        // The Convert page works with the options as they stood when its tab was selected.
        options_page_.take_fields();
        convert_page_.set_window_options(options_page_.window_options());
    }
    ShowWindow(convert_page_.window(), index == kConvertTab ? SW_SHOW : SW_HIDE);
    ShowWindow(options_page_.window(), index == kOptionsTab ? SW_SHOW : SW_HIDE);
}

void MainWindow::show(int show_state) {
    ShowWindow(window_, show_state);
    UpdateWindow(window_);
}

void MainWindow::convert_given_files(const std::vector<std::string>& paths) {
    std::vector<std::string> absolute;
    for (const std::string& path : paths) {
        absolute.push_back(full_path(path));
    }
    // Already absolute: no current folder to join them to.
    const std::optional<gui::FileSelection> selection = gui::selection_of_files(absolute, {});
    if (!selection) {
        return;
    }
    TabCtrl_SetCurSel(GetDlgItem(window_, IDC_TABS), kConvertTab);
    tab_selected(kConvertTab);
    convert_page_.convert_selection(*selection);
}

bool MainWindow::hand_over(const std::vector<std::string>& files) {
    HWND running = nullptr;
    while ((running = FindWindowExW(nullptr, running, L"#32770", L"Vuvod Trelvane")) != nullptr) {
        if (GetPropW(running, kWindowMark) != nullptr) {
            break;
        }
    }
    if (running == nullptr) {
        return false;
    }
    // Full paths: the running window has a current folder of its own.
    std::string data;
    for (const std::string& file : files) {
        data += full_path(file);
        data.push_back('\0');
    }
    COPYDATASTRUCT copy{};
    copy.dwData = kHandOverFiles;
    copy.cbData = static_cast<DWORD>(data.size());
    copy.lpData = data.data();
    DWORD_PTR answer = 0;
    // The running window may take the foreground only when this start allows it.
    AllowSetForegroundWindow(ASFW_ANY);
    return SendMessageTimeoutW(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy),
                               SMTO_ABORTIFHUNG | SMTO_BLOCK, kHandOverTimeoutMs, &answer) != 0 &&
           answer == TRUE;
}

void MainWindow::files_handed_over(const COPYDATASTRUCT& data) {
    const char* bytes = static_cast<const char*>(data.lpData);
    std::string text(bytes, bytes + data.cbData);
    size_t start = 0;
    for (size_t end = text.find('\0'); end != std::string::npos; end = text.find('\0', start)) {
        if (end > start) {
            handed_files_.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    restore();
    // Answered first: a message box of the pass (a pass still running, say) must not keep the
    // other start waiting.
    PostMessageW(window_, kConvertHandedFiles, 0, 0);
}

void MainWindow::restore() {
    if (!IsWindowVisible(window_)) {
        ShowWindow(window_, SW_SHOW);
    }
    if (IsIconic(window_)) {
        ShowWindow(window_, SW_RESTORE);
    } else {
        BringWindowToTop(window_);
    }
    SetForegroundWindow(window_);
}

void MainWindow::settings_not_saved() {
    message_box(window_,
                "The settings could not be saved to " + setup_.paths.settings_path +
                    "\nThe folders and options you chose are lost when the window closes.",
                "Error", MB_OK | MB_ICONERROR);
}

void MainWindow::close(int code) {
    if (exit_code_ != 0) {
        return;
    }
    exit_code_ = code;
    const bool folders_saved = convert_page_.write_settings();
    const bool options_saved = options_page_.write_settings(false);
    if (!folders_saved || !options_saved) {
        settings_not_saved();
    }
    // A pass still running gets a moment to finish the files being converted; whatever is
    // still converting then is given up, and no PDF appears half written either way.
    convert_page_.shut_down();
    tray_.remove();
    DestroyWindow(window_);
    window_ = nullptr;
    PostQuitMessage(code);
}

int MainWindow::run() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (window_ != nullptr && IsDialogMessageW(window_, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return exit_code_ != 0 ? exit_code_ : static_cast<int>(message.wParam);
}

INT_PTR MainWindow::handle(UINT message, WPARAM w, LPARAM l) {
    if (message == tray_.message() && message != 0) {
        if (w == kTrayIconId) {
            tray_.notified(l);
        }
        return TRUE;
    }
    if (message == tray_.taskbar_created_message() && message != 0) {
        tray_.shell_restarted();
        return TRUE;
    }
    switch (message) {
        case WM_INITDIALOG:
            initialise();
            return TRUE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
            return colours_.answer(message, reinterpret_cast<HDC>(w));
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(l);
            if (header->idFrom == IDC_TABS && header->code == TCN_SELCHANGE) {
                tab_selected(TabCtrl_GetCurSel(header->hwndFrom));
                return TRUE;
            }
            return FALSE;
        }
        case WM_SYSCOMMAND:
            // Minimised, the window waits behind its notification icon; without one it stays
            // on the taskbar, or it could not be found again.
            if ((w & 0xFFF0) == SC_MINIMIZE && tray_.added()) {
                ShowWindow(window_, SW_HIDE);
                SetWindowLongPtrW(window_, DWLP_MSGRESULT, 0);
                return TRUE;
            }
            return FALSE;
        case WM_DPICHANGED: {
            const auto* suggested = reinterpret_cast<const RECT*>(l);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            place_pages();
            return TRUE;
        }
        case WM_COPYDATA: {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(l);
            const bool ours = data != nullptr && data->dwData == kHandOverFiles;
            if (ours) {
                files_handed_over(*data);
            }
            SetWindowLongPtrW(window_, DWLP_MSGRESULT, ours ? TRUE : FALSE);
            return TRUE;
        }
        case kConvertHandedFiles: {
            std::vector<std::string> files;
            files.swap(handed_files_);
            if (!files.empty()) {
                convert_given_files(files);
            }
            return TRUE;
        }
        case WM_CLOSE:
            close(kExitThroughCancel);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(w)) {
                case IDOK:
                    // Enter: the Options page takes its controls; on the Convert page it opens
                    // the PDF of the list's selected row when the list has the focus, and does
                    // nothing elsewhere.
                    if (IsWindowVisible(options_page_.window())) {
                        options_page_.take_fields();
                    } else {
                        convert_page_.enter_pressed();
                    }
                    return TRUE;
                case IDCANCEL:
                    close(kExitThroughCancel);
                    return TRUE;
                case IDM_EXIT:
                    close(kExitThroughOk);
                    return TRUE;
                case IDM_OPEN:
                    restore();
                    return TRUE;
                case IDC_HELP_BUTTON:
                    open_help();
                    return TRUE;
                case IDC_ABOUT_BUTTON:
                case IDM_ABOUT: {
                    HWND active = GetActiveWindow();
                    show_about_box(active != nullptr ? active : window_, setup_.home_url,
                                   setup_.support_mail);
                    return TRUE;
                }
                default:
                    return FALSE;
            }
        default:
            return FALSE;
    }
}

}  // namespace trelvane::win32
