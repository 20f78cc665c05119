#include "win32/help_viewer.h"

#include <windows.h>

#include <string>

#include "platform/windows_calls.h"

namespace trelvane::win32 {

namespace {

using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
constexpr UINT kDisplayTopic = 0;  // HH_DISPLAY_TOPIC

// Where the viewer's library is registered; by name when it is not.
std::wstring viewer_library() {
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof(path);
    if (RegGetValueW(HKEY_CLASSES_ROOT,
                     L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", nullptr,
                     RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ, nullptr, path, &size) == ERROR_SUCCESS &&
        path[0] != L'\0') {
        return path;
    }
    return L"hhctrl.ocx";
}

HtmlHelpFunction viewer() {
    static const HtmlHelpFunction function = []() -> HtmlHelpFunction {
        HMODULE library = LoadLibraryW(viewer_library().c_str());
        if (library == nullptr) {
            return nullptr;
        }
        // The wide entry point: the program's folder may have any name.
        return reinterpret_cast<HtmlHelpFunction>(
            reinterpret_cast<void*>(GetProcAddress(library, "HtmlHelpW")));
    }();
    return function;
}

}  // namespace

std::string help_file_path() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD got = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (got == 0) {
            return {};
        }
        if (got < path.size()) {
            path.resize(got);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t dot = path.find_last_of(L'.');
    const size_t slash = path.find_last_of(L'\\');
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) {
        path.resize(dot);
    }
    return platform::windows::narrow(path + L".chm");
}

void open_help() {
    if (HtmlHelpFunction show = viewer()) {
        show(nullptr, platform::windows::widen(help_file_path()).c_str(), kDisplayTopic, 0);
    }
}

}  // namespace trelvane::win32
