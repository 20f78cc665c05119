#include "platform/interrupt_watch.h"

#include <csignal>

namespace trelvane::platform {

std::string signal_name(int signal_number) {
    switch (signal_number) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
#ifdef SIGHUP  // not on Windows
        case SIGHUP:
            return "SIGHUP";
#endif
        default:
            return "signal " + std::to_string(signal_number);
    }
}

}  // namespace trelvane::platform
