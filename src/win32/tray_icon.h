// The notification-area icon: its tip, its menu ("&Open...", "&About...", "E&xit") and the
// click that brings the window back. It reports through the message registered under the name
// "WM_TRAYICON".
#pragma once

#include <windows.h>

namespace trelvane::win32 {

inline constexpr UINT kTrayIconId = 221;
inline constexpr const wchar_t* kTrayTipText =
    L"Vuvod Trelvane\nConvert WinFax fxd/fxm/fxr/fxs to pdf";

class TrayIcon {
  public:
    TrayIcon();
    // Adds the icon for `owner`; false (nothing shown, nothing removed later) when the shell
    // refuses it.
    bool add(HWND owner, HICON icon);
    bool added() const { return added_; }
    void remove();
    // The shell's notification area was created again (Explorer restarted): add it back.
    void shell_restarted();

    UINT message() const { return message_; }
    UINT taskbar_created_message() const { return taskbar_created_; }
    // The callback message: the menu on a right click, the window back on a left click.
    void notified(LPARAM mouse_message);

  private:
    UINT message_;
    UINT taskbar_created_;
    HWND owner_ = nullptr;
    HICON icon_ = nullptr;
    bool added_ = false;
};

}  // namespace trelvane::win32
