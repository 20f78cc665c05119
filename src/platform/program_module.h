// Parts of the program that live in modules of their own (shared objects it loads only when a
// run needs them), so that every other run starts without loading their libraries.
#pragma once

#include <string>

namespace trelvane::platform {

// Loads the module `file_name` and returns the address of its `entry` symbol. The module is
// looked for beside the program (a build folder), then in `install_folder`, relative to the
// program's folder (where the package puts it). Never unloaded. nullptr, with *error saying
// which files were tried and why each failed, when no candidate has the entry.
void* load_program_module(const std::string& file_name, const std::string& install_folder,
                          const char* entry, std::string* error);

}  // namespace trelvane::platform
