// "&Help": the compiled help file beside the program (trelvane.chm beside trelvane.exe) in the
// system's HTML Help viewer.
#pragma once

#include <string>

namespace trelvane::win32 {

// The program's path with its extension replaced by ".chm".
std::string help_file_path();

// Opens the help file. When the viewer cannot be loaded help stays unavailable for the rest of
// the process and nothing is shown; a missing file the viewer reports itself.
void open_help();

}  // namespace trelvane::win32
