// The about box: the program's name and build, its version and licence, the home-page link
// (the help file) and the support mail link.
#pragma once

#include <windows.h>

#include <string>

namespace trelvane::win32 {

// Addresses of 259 characters or more are not put on the clipboard.
inline constexpr size_t kMaxCopiedLinkLength = 258;

// Modal over `owner`.
void show_about_box(HWND owner, const std::string& home_url, const std::string& support_mail);

}  // namespace trelvane::win32
