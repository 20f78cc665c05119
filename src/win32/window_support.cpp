#include "win32/window_support.h"

#include "platform/windows_calls.h"

namespace trelvane::win32 {

using platform::windows::narrow;
using platform::windows::widen;

HINSTANCE program_instance() {
    return GetModuleHandleW(nullptr);
}

std::string window_text(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return narrow(text);
}

std::string control_text(HWND dialog, int id) {
    return window_text(GetDlgItem(dialog, id));
}

void set_control_text(HWND dialog, int id, const std::string& text) {
    SetDlgItemTextW(dialog, id, widen(text).c_str());
}

int message_box(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    return MessageBoxW(owner, widen(text).c_str(), widen(caption).c_str(), type);
}

DialogColours::DialogColours(COLORREF background, COLORREF edit_background)
    : background_(CreateSolidBrush(background)),
      edit_background_(CreateSolidBrush(edit_background)),
      edit_colour_(edit_background) {}

DialogColours::~DialogColours() {
    DeleteObject(background_);
    DeleteObject(edit_background_);
}

INT_PTR DialogColours::answer(UINT message, HDC dc) const {
    SetTextColor(dc, kTextColour);
    if (message == WM_CTLCOLOREDIT) {
        // An edit redraws parts of itself; a transparent background would leave old glyphs.
        SetBkColor(dc, edit_colour_);
        return reinterpret_cast<INT_PTR>(edit_background_);
    }
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(background_);
}

}  // namespace trelvane::win32
