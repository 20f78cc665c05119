#include "app/run_program.h"

#ifdef TRELVANE_HAVE_GUI
#include "gui/window_factory.h"
#endif

int main(int argc, char** argv) {
#ifdef TRELVANE_HAVE_GUI
    trelvane::gui::install_window_factory();
#endif
    return trelvane::app::program_entry(argc, argv);
}
