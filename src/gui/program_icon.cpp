#include "gui/program_icon.h"

static void init_gui_resources() {
    Q_INIT_RESOURCE(trelvane_gui);
}

namespace trelvane::gui {

QIcon program_icon() {
    // The resources live in a static library: they must be registered before the first use.
    static const bool registered = (init_gui_resources(), true);
    (void)registered;
    QIcon icon;
    for (const int size : {16, 32, 48, 64}) {
        icon.addFile(QStringLiteral(":/trelvane/icons/trelvane-%1.png").arg(size),
                     QSize(size, size));
    }
    return icon;
}

}  // namespace trelvane::gui
