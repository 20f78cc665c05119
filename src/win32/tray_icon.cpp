#include "win32/tray_icon.h"

#include <shellapi.h>

#include <cwchar>

#include "win32/resource_ids.h"

namespace trelvane::win32 {

TrayIcon::TrayIcon()
    : message_(RegisterWindowMessageW(L"WM_TRAYICON")),
      taskbar_created_(RegisterWindowMessageW(L"TaskbarCreated")) {}

bool TrayIcon::add(HWND owner, HICON icon) {
    owner_ = owner;
    icon_ = icon;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = owner;
    data.uID = kTrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = message_;
    data.hIcon = icon;
    // At most 63 characters fit; the text is shorter.
    std::wcsncpy(data.szTip, kTrayTipText, sizeof(data.szTip) / sizeof(data.szTip[0]) - 1);
    added_ = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    return added_;
}

void TrayIcon::remove() {
    if (!added_) {
        return;
    }
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = owner_;
    data.uID = kTrayIconId;
    Shell_NotifyIconW(NIM_DELETE, &data);
    added_ = false;
}

void TrayIcon::shell_restarted() {
    if (added_) {
        added_ = false;
        add(owner_, icon_);
    }
}

void TrayIcon::notified(LPARAM mouse_message) {
    switch (mouse_message) {
        case WM_RBUTTONUP: {
            HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
            if (menu == nullptr) {
                return;
            }
            HMENU popup = GetSubMenu(menu, 0);
            POINT at{};
            GetCursorPos(&at);
            SetForegroundWindow(owner_);
            SetMenuDefaultItem(popup, 0, TRUE);
            TrackPopupMenu(popup, TPM_LEFTBUTTON, at.x, at.y, 0, owner_, nullptr);
            // Without it the menu stays open when the user clicks elsewhere.
            PostMessageW(owner_, WM_NULL, 0, 0);
            DestroyMenu(menu);
            break;
        }
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
            SetForegroundWindow(owner_);
            SendMessageW(owner_, WM_COMMAND, IDM_OPEN, 0);
            break;
        default:
            break;
    }
}

}  // namespace trelvane::win32
