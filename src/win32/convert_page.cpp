#include "win32/convert_page.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <utility>
#include <vector>

#include "app/report_text.h"
#include "app/settings_file.h"
#include "gui/column_fit.h"
#include "gui/option_rules.h"
#include "platform/windows_calls.h"
#include "win32/resource_ids.h"

namespace trelvane::win32 {

namespace {

using platform::windows::narrow;
using platform::windows::widen;

// Posted by the pass's threads, once a batch of events: drain the queue.
constexpr UINT kPassEventsMessage = WM_APP + 1;
constexpr UINT_PTR kCycleTimer = 7;
constexpr UINT_PTR kSettingsTimer = 8;
// The next batch of a pass's events when more came while one was applied. A timer, not a posted
// message: posted messages come before the user's input, and a pass of small faxes posting
// without pause kept the window from ever seeing a click on Cancel.
constexpr UINT_PTR kDrainTimer = 9;
constexpr UINT kDrainDelayMs = 10;
constexpr int kMillisecondsPerMinute = 60000;
// Room for a multiple selection of a few thousand files.
constexpr size_t kFileDialogBuffer = 1 << 16;
// Room around a cell's text (the list's own padding and the row's icon space).
constexpr int kCellMargin = 16;
// What the list leaves around a label's text inside its rectangle.
constexpr int kLabelPadding = 12;

const wchar_t* const kColumnHeaders[gui::kResultColumns] = {L"Source Fax Files",
                                                            L"Destination PDF Files", L"Results"};

std::optional<std::string> browse_for_folder(HWND owner) {
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (chosen == nullptr) {
        return std::nullopt;
    }
    std::wstring path(MAX_PATH + 1, L'\0');
    const bool ok = SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()),
                                          GPFIDL_DEFAULT) != FALSE;
    CoTaskMemFree(chosen);
    if (!ok) {
        return std::nullopt;
    }
    path.resize(std::wcslen(path.c_str()));
    return narrow(path);
}

// The open-file dialog with multiple selection: one file comes back as its full path, several
// as the folder followed by the names, each ended by a NUL.
std::optional<gui::FileSelection> browse_for_files(HWND owner, const std::string& folder,
                                                   const std::string& filter) {
    const std::wstring wide_filter = widen(filter.empty() ? std::string("*.*") : filter);
    std::wstring filters =
        wide_filter + L'\0' + wide_filter + L'\0' + L"*.*" + L'\0' + L"*.*" + L'\0' + L'\0';
    std::vector<wchar_t> buffer(kFileDialogBuffer, L'\0');
    const std::wstring start = widen(folder);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filters.c_str();
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrInitialDir = start.empty() ? nullptr : start.c_str();
    dialog.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&dialog)) {
        return std::nullopt;
    }
    std::vector<std::string> parts;
    for (const wchar_t* at = buffer.data(); *at != L'\0'; at += std::wcslen(at) + 1) {
        parts.push_back(narrow(at));
    }
    if (parts.empty()) {
        return std::nullopt;
    }
    gui::FileSelection selection;
    if (parts.size() == 1) {
        const size_t cut = parts[0].find_last_of('\\');
        selection.folder = cut == std::string::npos ? std::string() : parts[0].substr(0, cut);
        selection.names.push_back(cut == std::string::npos ? parts[0] : parts[0].substr(cut + 1));
    } else {
        selection.folder = parts[0];
        selection.names.assign(parts.begin() + 1, parts.end());
    }
    return selection;
}

// The longest `count` for which make(count) is no wider than `room` (0 when none is).
template <typename Make, typename Width>
size_t longest_fitting(size_t most, int room, const Make& make, const Width& width) {
    size_t low = 0;
    size_t high = most;
    while (low < high) {
        const size_t middle = (low + high + 1) / 2;
        if (width(make(middle)) <= room) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return low;
}

// A path too wide for its column loses the middle of its folder part, so the file's name stays
// in view (the tip shows it whole); when even the name does not fit, the path's end is shown.
template <typename Width>
std::wstring elide_path(const std::wstring& path, int room, const Width& width) {
    if (path.empty() || room <= 0 || width(path) <= room) {
        return path;
    }
    const std::wstring ellipsis = L"\u2026";
    const size_t separator = path.find_last_of(L'\\');
    if (separator != std::wstring::npos && separator > 0) {
        const std::wstring name = path.substr(separator);  // with its separator
        const auto folder_start = [&](size_t count) {
            return path.substr(0, count) + ellipsis + name;
        };
        const size_t keep = longest_fitting(separator, room, folder_start, width);
        if (keep > 0) {
            return folder_start(keep);
        }
    }
    const auto end = [&](size_t count) { return ellipsis + path.substr(path.size() - count); };
    return end(longest_fitting(path.size(), room, end, width));
}

}  // namespace

ConvertPage::ConvertPage(PagePaths paths)
    : paths_(std::move(paths)), queue_([this] {
          if (GetCurrentThreadId() == GetWindowThreadProcessId(window_, nullptr))
              SetTimer(window_, kDrainTimer, kDrainDelayMs, nullptr);
          else
              PostMessageW(window_, kPassEventsMessage, 0, 0);
      }) {
    app::reset_batch_job(job_);
}

ConvertPage::~ConvertPage() {
    shut_down();
}

HWND ConvertPage::create(HWND parent) {
    return CreateDialogParamW(program_instance(), MAKEINTRESOURCEW(IDD_CONVERT_PAGE), parent,
                              dialog_procedure<ConvertPage>, reinterpret_cast<LPARAM>(this));
}

void ConvertPage::initialise() {
    set_control_text(window_, IDC_FILTER, "*.*");
    set_control_text(window_, IDC_STATUS, gui::kFirstStatusText);
    const app::SavedFolders folders = app::read_saved_folders(paths_.settings_path);
    set_control_text(window_, IDC_SOURCE, folders.fax_dir);
    set_control_text(window_, IDC_DESTINATION, folders.save_dir);

    HWND list = control(IDC_RESULT_LIST);
    ListView_SetExtendedListViewStyle(list,
                                      LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    for (int i = 0; i < gui::kResultColumns; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.pszText = const_cast<wchar_t*>(kColumnHeaders[i]);
        column.iSubItem = i;
        ListView_InsertColumn(list, i, &column);
    }
    for (int i = 0; i < gui::kResultColumns; ++i) {
        header_width_[i] = ListView_GetStringWidth(list, kColumnHeaders[i]) + kCellMargin;
    }
    fit_columns();
    EnableWindow(control(IDC_CANCEL_PASS), FALSE);
    show_progress(0, 0);
}

void ConvertPage::set_cycle(int minutes, bool enabled) {
    if (!enabled) {
        KillTimer(window_, kCycleTimer);
        return;
    }
    SetTimer(window_, kCycleTimer,
             static_cast<UINT>(gui::usable_cycle_minutes(minutes)) * kMillisecondsPerMinute,
             nullptr);
}

void ConvertPage::show_progress(size_t done, size_t total) {
    const gui::ProgressSteps steps = gui::progress_steps(done, total);
    SendDlgItemMessageW(window_, IDC_PROGRESS, PBM_SETRANGE32, 0, steps.maximum);
    SendDlgItemMessageW(window_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(steps.value), 0);
}

void ConvertPage::show_row_count() {
    // Only the count: the list asks for the texts of the rows it shows.
    ListView_SetItemCountEx(control(IDC_RESULT_LIST), static_cast<int>(rows_.size()),
                            LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void ConvertPage::measure(int column, const std::string& text) {
    const int width =
        ListView_GetStringWidth(control(IDC_RESULT_LIST), widen(text).c_str()) + kCellMargin;
    if (width > widest_[column]) {
        widest_[column] = width;
        pending_.columns = true;
    }
}

void ConvertPage::drain_events() {
    queue_.drain([this](gui::PassEvent& event) { apply(event); });
    show_pending();
}

void ConvertPage::show_pending() {
    // Once a batch rather than once an event: each of these redraws under Wine, and a pass of
    // small faxes outran a window that redrew every row as it came.
    HWND list = control(IDC_RESULT_LIST);
    if (pending_.columns)
        fit_columns();
    if (pending_.first_row >= 0) {
        show_row_count();
        ListView_RedrawItems(list, pending_.first_row, pending_.last_row);
    }
    if (pending_.visible_row >= 0)
        ListView_EnsureVisible(list, pending_.visible_row, FALSE);
    if (pending_.progress)
        show_progress(tracker_.done(), tracker_.total());
    if (pending_.status_row >= 0)
        show_doing(pending_.status_row);
    pending_ = PendingView{};
}

void ConvertPage::fit_columns() {
    HWND list = control(IDC_RESULT_LIST);
    std::array<gui::ColumnNeed, gui::kResultColumns> needs{};
    for (int i = 0; i < gui::kResultColumns; ++i) {
        needs[i] = {std::max(widest_[i], header_width_[i]), header_width_[i]};
    }
    RECT client{};
    GetClientRect(list, &client);
    const std::array<int, 3> widths =
        gui::fit_column_widths(needs, client.right - client.left - GetSystemMetrics(SM_CXVSCROLL));
    for (int i = 0; i < gui::kResultColumns; ++i) {
        if (ListView_GetColumnWidth(list, i) != widths[i]) {
            ListView_SetColumnWidth(list, i, widths[i]);
        }
    }
}

void ConvertPage::show_doing(int row) {
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) {
        return;
    }
    set_control_text(window_, IDC_STATUS,
                     app::doing_status_text(rows_.text(row, gui::kSourceColumn), tracker_.pages()));
}

void ConvertPage::list_text(NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if ((item.mask & LVIF_TEXT) == 0 || item.iItem < 0 ||
        static_cast<size_t>(item.iItem) >= rows_.size() || item.cchTextMax <= 0) {
        return;
    }
    cell_ = widen(rows_.text(item.iItem, item.iSubItem));
    if (item.iSubItem != gui::kResultColumn) {
        HWND list = control(IDC_RESULT_LIST);
        // The label's own rectangle: the first column also holds the row's icon space.
        RECT label{};
        ListView_GetSubItemRect(list, item.iItem, item.iSubItem, LVIR_LABEL, &label);
        const int room = label.right - label.left - kLabelPadding;
        cell_ = elide_path(cell_, room, [list](const std::wstring& text) {
            return ListView_GetStringWidth(list, text.c_str());
        });
    }
    const size_t room = static_cast<size_t>(item.cchTextMax) - 1;
    const size_t length = std::min(cell_.size(), room);
    std::wmemcpy(item.pszText, cell_.c_str(), length);
    item.pszText[length] = L'\0';
}

void ConvertPage::open_row(int row) {
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) {
        return;
    }
    const std::string& pdf = rows_.text(row, gui::kPdfColumn);
    if (pdf.empty()) {
        return;  // the row says why there is none
    }
    const auto opened = reinterpret_cast<INT_PTR>(
        ShellExecuteW(window_, L"open", widen(pdf).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (opened <= 32) {
        message_box(window_,
                    "No program could be started to show the PDF.\nOpen it yourself:\n" + pdf,
                    "Open PDF", MB_OK | MB_ICONINFORMATION);
    }
}

void ConvertPage::enter_pressed() {
    HWND list = control(IDC_RESULT_LIST);
    if (GetFocus() == list) {
        open_row(ListView_GetNextItem(list, -1, LVNI_SELECTED));
    }
}

void ConvertPage::apply(gui::PassEvent& event) {
    using Kind = gui::PassEvent::Kind;
    switch (event.kind) {
        case Kind::Started:
            pending_ = PendingView{};
            set_controls_busy(true);
            tracker_.pass_started();
            show_progress(0, tracker_.total());
            rows_.clear();
            widest_ = {};
            fit_columns();
            show_row_count();
            InvalidateRect(control(IDC_RESULT_LIST), nullptr, TRUE);
            break;
        case Kind::SaveFolderFailed:
        case Kind::RecognitionUnavailable:
            message_box(window_, event.text, "Error", MB_OK | MB_ICONERROR);
            break;
        case Kind::WorkFilesFailed:
            message_box(window_, event.text + gui::kWorkFilesAdvice, "Error", MB_OK | MB_ICONERROR);
            break;
        // A file's events change the rows; the controls follow once a batch (show_pending).
        case Kind::FileStarted: {
            measure(gui::kSourceColumn, event.text);
            rows_.row(event.number).source = std::move(event.text);
            pending_.changed(event.number);
            pending_.visible_row = event.number;
            pending_.status_row = tracker_.file_started(event.number);
            break;
        }
        case Kind::PagesRecognised:
            pending_.status_row = tracker_.pages_recognised(event.number);
            break;
        case Kind::FileFinished: {
            measure(gui::kPdfColumn, event.text);
            measure(gui::kResultColumn, event.result);
            gui::ResultRow& row = rows_.row(event.number);
            row.pdf = std::move(event.text);
            row.result = std::move(event.result);
            row.failed = event.failed;
            pending_.changed(event.number);
            pending_.progress = true;
            pending_.status_row = tracker_.file_finished(event.number);
            break;
        }
        case Kind::Status:
            show_pending();  // the rows first; the status line is then this text
            pending_.status_row = -1;
            set_control_text(window_, IDC_STATUS, event.text);
            break;
        case Kind::Finished:
            set_controls_busy(false);
            running_ = false;
            break;
    }
}

void ConvertPage::collect(const gui::WindowOptions& options, const std::string& source_text,
                          const std::optional<gui::FileSelection>& chosen) {
    join_finished_worker();
    job_.filter = control_text(window_, IDC_FILTER);
    source_folder_ = gui::collect_window_files(job_, options, source_text, chosen);
    tracker_.collected(job_.files.size());
    show_progress(0, tracker_.total());
}

void ConvertPage::start_conversion() {
    start_pass(std::nullopt);
}

void ConvertPage::convert_selection(const gui::FileSelection& selection) {
    start_pass(selection);
}

void ConvertPage::start_pass(const std::optional<gui::FileSelection>& given) {
    if (running_) {
        message_box(window_, gui::kBusyWarning, "Warning", MB_OK | MB_ICONWARNING);
        return;
    }
    // Files handed over are this pass's alone: the source text, the mode and the automatic
    // conversion stay as the user set them.
    gui::WindowOptions options = options_;
    if (given) {
        options.convert_mode = gui::kConvertFiles;
        collect(options, gui::selection_text(*given), given);
    } else {
        collect(options, control_text(window_, IDC_SOURCE), chosen_files_);
    }
    if (const auto refusal =
            gui::pass_refusal(source_folder_, control_text(window_, IDC_DESTINATION))) {
        message_box(window_, refusal->text, refusal->caption,
                    MB_OK | (refusal->error ? MB_ICONERROR : MB_ICONWARNING));
        return;
    }
    start_worker(false, options);
}

void ConvertPage::cycle_tick() {
    if (running_) {
        return;
    }
    collect(options_, control_text(window_, IDC_SOURCE), chosen_files_);
    // A share that is away for the moment is tried again at the next tick.
    if (gui::pass_refusal(source_folder_, control_text(window_, IDC_DESTINATION))) {
        return;
    }
    start_worker(true, options_);
}

void ConvertPage::start_worker(bool skip_existing, const gui::WindowOptions& options) {
    job_.skip_existing = skip_existing ? 1 : 0;
    gui::PassRequest request;
    request.job = job_;
    // The pass converts with the options as they are now; the options page may change them
    // while it runs, for the next pass.
    request.job.settings = app::global_settings();
    request.source_folder = source_folder_;
    request.destination = control_text(window_, IDC_DESTINATION);
    request.options = options;
    request.log_path = paths_.log_path;
    request.log_parent_folder = paths_.log_parent_folder;
    control_ = std::make_shared<gui::PassControl>();
    running_ = true;
    worker_done_ = false;
    // Controls go busy at once, before the worker's first event arrives, so a second click on
    // "&Go" cannot slip in.
    set_controls_busy(true);
    worker_ = std::thread([this, control = control_, request = std::move(request)]() mutable {
        gui::QueuedPassView view(queue_);
        gui::run_conversion_pass(request, view, *control);
        worker_done_ = true;
        PostMessageW(window_, kPassEventsMessage, 0, 0);
    });
}

bool ConvertPage::wait_for_worker(int timeout_ms) {
    // The pass's last events need this thread; they are applied while waiting. User input
    // stays queued meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!worker_done_) {
        drain_events();
        if (timeout_ms >= 0 && std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        Sleep(5);
    }
    drain_events();
    return !running_;
}

bool ConvertPage::stop_worker() {
    if (!running_) {
        return true;
    }
    control_->stop();
    const bool ended = wait_for_worker(gui::kStopWaitMs);
    if (ended) {
        join_finished_worker();
    }
    return ended;
}

void ConvertPage::cancel_conversion() {
    if (stop_worker()) {
        set_controls_busy(false);
    } else {
        // Files are still being converted; the pass restores the controls when they are done.
        EnableWindow(control(IDC_CANCEL_PASS), FALSE);
    }
}

void ConvertPage::shut_down() {
    if (window_ != nullptr) {
        KillTimer(window_, kCycleTimer);
        KillTimer(window_, kSettingsTimer);
    }
    if (running_) {
        control_->stop(gui::PassControl::Reason::WindowClosed);
        if (!wait_for_worker(gui::kStopWaitMs)) {
            // A conversion that hangs (a stalled network share) must not keep the process: it
            // is given up, and the pass writes its record at once.
            control_->abandon();
            wait_for_worker(-1);
        }
    }
    if (worker_.joinable()) {
        worker_.join();
    }
}

void ConvertPage::join_finished_worker() {
    if (worker_.joinable() && worker_done_) {
        worker_.join();
    }
}

void ConvertPage::set_controls_busy(bool busy) {
    // Keys sent to a disabled control are lost: the focus moves to the button that can be
    // used now ("&Cancel" while busy, "&Go" after).
    HWND focus = GetFocus();
    const bool focus_here = focus != nullptr && IsChild(window_, focus);
    EnableWindow(control(IDC_GO), !busy);
    EnableWindow(control(IDC_CANCEL_PASS), busy);
    for (const int id : {IDC_SOURCE_BROWSE, IDC_DESTINATION_BROWSE, IDC_SOURCE, IDC_DESTINATION}) {
        EnableWindow(control(id), !busy);
    }
    if (focus_here && !IsWindowEnabled(focus)) {
        SendMessageW(GetParent(window_), WM_NEXTDLGCTL,
                     reinterpret_cast<WPARAM>(control(busy ? IDC_CANCEL_PASS : IDC_GO)), TRUE);
    }
}

void ConvertPage::choose_source() {
    const std::string source = control_text(window_, IDC_SOURCE);
    if (options_.convert_mode == gui::kConvertDirectory) {
        if (auto folder = browse_for_folder(window_)) {
            set_control_text(window_, IDC_SOURCE, *folder);
        }
        return;
    }
    const std::string start =
        chosen_files_ ? chosen_files_->folder : gui::parse_selection_text(source).folder;
    if (auto files = browse_for_files(window_, start, control_text(window_, IDC_FILTER))) {
        chosen_files_ = std::move(*files);
        set_control_text(window_, IDC_SOURCE, gui::selection_text(*chosen_files_));
    }
}

void ConvertPage::choose_destination() {
    if (auto folder = browse_for_folder(window_)) {
        set_control_text(window_, IDC_DESTINATION, *folder);
    }
}

bool ConvertPage::write_settings() {
    if (window_ == nullptr) {
        return true;
    }
    KillTimer(window_, kSettingsTimer);
    app::SavedFolders folders;
    folders.fax_dir = control_text(window_, IDC_SOURCE);
    folders.save_dir = control_text(window_, IDC_DESTINATION);
    return app::write_saved_folders(paths_.settings_path, folders);
}

INT_PTR ConvertPage::handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_INITDIALOG:
            initialise();
            return FALSE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
            return colours_.answer(message, reinterpret_cast<HDC>(w));
        case kPassEventsMessage:
            drain_events();
            join_finished_worker();
            return TRUE;
        case WM_SETCURSOR:
            // The wait cursor while a pass runs (the arrow with it: the window still works).
            if (running_) {
                SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
                SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_TIMER:
            if (w == kDrainTimer) {
                KillTimer(window_, kDrainTimer);
                drain_events();
                join_finished_worker();
            } else if (w == kCycleTimer) {
                cycle_tick();
            } else if (w == kSettingsTimer) {
                write_settings();
            }
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(l);
            if (header->idFrom != IDC_RESULT_LIST) {
                return FALSE;
            }
            if (header->code == LVN_GETDISPINFOW) {
                list_text(*reinterpret_cast<NMLVDISPINFOW*>(l));
            } else if (header->code == LVN_ITEMACTIVATE) {
                open_row(reinterpret_cast<const NMITEMACTIVATE*>(l)->iItem);
            }
            return TRUE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(w);
            const int code = HIWORD(w);
            if (id == IDOK || id == IDCANCEL) {
                // Enter and Escape are the window's (the dialog manager may hand them to the
                // page holding the focus).
                SendMessageW(GetParent(window_), WM_COMMAND, w, l);
            } else if (code == BN_CLICKED) {
                switch (id) {
                    case IDC_GO:
                        start_conversion();
                        break;
                    case IDC_CANCEL_PASS:
                        cancel_conversion();
                        break;
                    case IDC_SOURCE_BROWSE:
                        choose_source();
                        break;
                    case IDC_DESTINATION_BROWSE:
                        choose_destination();
                        break;
                    default:
                        break;
                }
            } else if (code == EN_KILLFOCUS && id == IDC_FILTER) {
                job_.filter = control_text(window_, IDC_FILTER);
            } else if (code == EN_CHANGE && (id == IDC_SOURCE || id == IDC_DESTINATION)) {
                // The folders are saved as they change, so that a session ended by logout
                // keeps them.
                SetTimer(window_, kSettingsTimer, gui::kSettingsWriteDelayMs, nullptr);
            }
            return TRUE;
        }
        default:
            return FALSE;
    }
}

}  // namespace trelvane::win32
