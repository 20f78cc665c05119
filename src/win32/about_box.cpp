#include "win32/about_box.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>

#include "platform/windows_calls.h"
#include "win32/resource_ids.h"
#include "win32/window_support.h"

namespace trelvane::win32 {

namespace {

using platform::windows::widen;

class AboutBox {
  public:
    AboutBox(std::string home_url, std::string support_mail)
        : home_url_(std::move(home_url)), support_mail_(std::move(support_mail)) {}

    void attach(HWND window) { window_ = window; }
    INT_PTR handle(UINT message, WPARAM w, LPARAM l);

  private:
    void copy_home_link() const;
    void open(const std::string& target) const {
        ShellExecuteW(window_, L"open", widen(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }

    std::string home_url_;
    std::string support_mail_;
    HWND window_ = nullptr;
    DialogColours colours_{kWindowBackground, kWindowEditBackground};
};

void AboutBox::copy_home_link() const {
    if (home_url_.empty() || home_url_.size() > kMaxCopiedLinkLength || !OpenClipboard(window_)) {
        return;
    }
    EmptyClipboard();
    const std::wstring text = widen(home_url_);
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        std::memcpy(GlobalLock(memory), text.c_str(), bytes);
        GlobalUnlock(memory);
        if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

INT_PTR AboutBox::handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_INITDIALOG:
            set_control_text(window_, IDC_ABOUT_VERSION, "Trelvane " TRELVANE_VERSION);
            set_control_text(window_, IDC_LICENCE, TRELVANE_LICENCE_TEXT);
            set_control_text(window_, IDC_SUPPORT_LINK, "<a>" + support_mail_ + "</a>");
            return TRUE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return colours_.answer(message, reinterpret_cast<HDC>(w));
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(l);
            if (header->code != NM_CLICK && header->code != NM_RETURN) {
                return FALSE;
            }
            if (header->idFrom == IDC_HOME_LINK) {
                open(home_url_);
            } else if (header->idFrom == IDC_SUPPORT_LINK) {
                open("mailto:" + support_mail_);
            }
            return TRUE;
        }
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(w) == GetDlgItem(window_, IDC_HOME_LINK)) {
                HMENU menu = LoadMenuW(program_instance(), MAKEINTRESOURCEW(IDR_LINK_MENU));
                if (menu != nullptr) {
                    const int chosen =
                        TrackPopupMenu(GetSubMenu(menu, 0), TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                       static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l)),
                                       0, window_, nullptr);
                    DestroyMenu(menu);
                    if (chosen == IDM_COPY_LINK) {
                        copy_home_link();
                    }
                }
                return TRUE;
            }
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL) {
                EndDialog(window_, LOWORD(w));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

void show_about_box(HWND owner, const std::string& home_url, const std::string& support_mail) {
    AboutBox box(home_url, support_mail);
    DialogBoxParamW(program_instance(), MAKEINTRESOURCEW(IDD_ABOUT_BOX), owner,
                    dialog_procedure<AboutBox>, reinterpret_cast<LPARAM>(&box));
}

}  // namespace trelvane::win32
