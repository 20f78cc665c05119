// Names as the report, the log and the terminal show them. A file name may hold any byte but
// the separator and NUL, so a name with a line end or a terminal escape could otherwise forge
// a report line ("Total converted FAX files: 7") or repaint the terminal.
#pragma once

#include <string>
#include <string_view>

namespace trelvane::app {

// The name with every control character written as an escape: "\r", "\n", "\t", and "\xHH" for
// the others (C0, DEL, the C1 controls U+0080 to U+009F) and for bytes that are not UTF-8. A
// backslash stays as it is, so Windows-style paths read as they stand; printable UTF-8 text is
// kept.
std::string printable_name(std::string_view name);

}  // namespace trelvane::app
