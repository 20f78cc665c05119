#include <unistd.h>

#include <csignal>
#include <initializer_list>

#include "platform/process_signals.h"

namespace trelvane::platform {

void ignore_broken_pipe_signal() {
    std::signal(SIGPIPE, SIG_IGN);
}

void ignore_file_size_signal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

void on_stop_signals(void (*handler)(int)) {
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal_number, handler);
}

void remove_file_from_signal_handler(const char* path) {
    ::unlink(path);
}

}  // namespace trelvane::platform
