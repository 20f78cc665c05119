// What every part of the Win32 window shares: texts between the program's UTF-8 and the
// controls' UTF-16, the window's colours, and the resources of the program.
#pragma once

#include <windows.h>

#include <string>

namespace trelvane::win32 {

// The window's colours: a pale green background, near-white edits and blue texts.
inline constexpr COLORREF kWindowBackground = RGB(236, 255, 245);
inline constexpr COLORREF kWindowEditBackground = RGB(249, 249, 249);
inline constexpr COLORREF kPageBackground = RGB(196, 255, 225);
inline constexpr COLORREF kConvertEditBackground = RGB(252, 252, 252);
inline constexpr COLORREF kOptionsEditBackground = RGB(255, 255, 255);
inline constexpr COLORREF kTextColour = RGB(0, 0, 255);

// The icon of the program's resources (large and small).
inline constexpr int kProgramIconId = 1;

HINSTANCE program_instance();

std::string control_text(HWND dialog, int id);
void set_control_text(HWND dialog, int id, const std::string& text);
std::string window_text(HWND window);

// A message box over `owner` in the program's UTF-8.
int message_box(HWND owner, const std::string& text, const std::string& caption, UINT type);

// The two brushes of a dialog and the answer to its WM_CTLCOLOR* messages: blue texts on a
// transparent background, edits on their own brush.
class DialogColours {
  public:
    DialogColours(COLORREF background, COLORREF edit_background);
    ~DialogColours();
    DialogColours(const DialogColours&) = delete;
    DialogColours& operator=(const DialogColours&) = delete;

    // For WM_CTLCOLORDLG, WM_CTLCOLORSTATIC, WM_CTLCOLORBTN and WM_CTLCOLOREDIT; the brush to
    // return from the dialog procedure.
    INT_PTR answer(UINT message, HDC dc) const;

  private:
    HBRUSH background_;
    HBRUSH edit_background_;
    COLORREF edit_colour_;
};

// Dialog procedures keep their object in DWLP_USER, set from WM_INITDIALOG's parameter.
template <typename Dialog>
INT_PTR CALLBACK dialog_procedure(HWND dialog, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, l);
        auto* self = reinterpret_cast<Dialog*>(l);
        self->attach(dialog);
        return self->handle(message, w, l);
    }
    auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return self != nullptr ? self->handle(message, w, l) : FALSE;
}

}  // namespace trelvane::win32
