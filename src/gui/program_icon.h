// The program's icon, from the resources compiled into the program.
#pragma once

#include <QIcon>

namespace trelvane::gui {

QIcon program_icon();

}  // namespace trelvane::gui
