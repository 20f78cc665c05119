// Naming helpers shared by the systems' implementations of WorkFile.
#pragma once

#include <string>

namespace trelvane::platform::work_names {

// The folder with a separator at its end ("./" for none).
std::string with_separator(const std::string& folder);

}  // namespace trelvane::platform::work_names
