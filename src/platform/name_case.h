// File names compared the way an NTFS folder compares them: without regard to case, by the code
// points of the upper-cased names. A run orders its walk and claims its PDF names by this rule,
// so that its names do not depend on the file system it reads from or writes to.
#pragma once

#include <string>
#include <string_view>

namespace trelvane::platform {

// The name with every character upper-cased (UTF-8 in, UTF-8 out). Bytes that are not UTF-8 are
// kept as they are. Two names with the same key are one name on a case-insensitive folder.
std::string name_case_key(std::string_view name);

// The order an NTFS folder lists its names in: by the code points of the upper-cased names, then,
// for names that only differ in case, by their bytes (so the order is total).
bool listed_before(std::string_view a, std::string_view b);

}  // namespace trelvane::platform
