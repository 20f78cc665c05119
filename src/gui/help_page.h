// Finding the HTML help page that "&Help" and the about box's home-page link open.
#pragma once

#include <string>

namespace trelvane::gui {

inline constexpr const char* kHelpPageName = "trelvane-help.html";

// The help page beside the program, else in the data folder of the installation
// (relative to the program, then where it was configured to go). Empty when there is none.
std::string find_help_page(const std::string& program_folder);

// A file: address for a local path (empty for an empty path).
std::string file_url(const std::string& path);

}  // namespace trelvane::gui
