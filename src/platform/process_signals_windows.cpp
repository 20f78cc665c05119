#include <csignal>
#include <initializer_list>

#include "platform/cleanup_system.h"
#include "platform/process_signals.h"

namespace trelvane::platform {

void ignore_broken_pipe_signal() {
    // A write to a closed pipe fails with EPIPE here; no signal ends the process.
}

void ignore_file_size_signal() {
    // No per-user file size limit exists here.
}

void on_stop_signals(void (*handler)(int)) {
    for (int signal_number : {SIGINT, SIGTERM, SIGBREAK})
        std::signal(signal_number, handler);
}

void remove_file_from_signal_handler(const char* path) {
    // The C library runs its signal handlers on the console's control thread, where allocating
    // is safe.
    remove_registered_name(path);
}

}  // namespace trelvane::platform
