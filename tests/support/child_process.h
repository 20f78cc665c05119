// Runs a program as a child process under watch: a deadline after which it is killed (a hang
// guard, not a speed check), optional resource limits, and its peak resident memory as the
// kernel measured it. Used by the tests that drive the real binary with hostile input.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace trelvane::testsupport {

struct ChildOptions {
    std::vector<std::string> args;  // without the program's own name
    // Changes to the inherited environment; an empty value removes the variable.
    std::map<std::string, std::string> env;
    std::string working_folder;  // the current folder when empty
    double timeout_seconds = 60;
    // RLIMIT_FSIZE in bytes: writes past it fail, as on a full disk. SIGXFSZ is ignored in the
    // child so that the write reports the error instead of killing the process.
    std::optional<uint64_t> file_size_limit;
};

struct ChildResult {
    bool started = false;
    bool timed_out = false;  // killed at the deadline
    int exit_code = -1;      // -1 unless the child exited normally
    int signal = 0;          // the signal that ended it, if any
    long peak_rss_kb = 0;    // ru_maxrss of the child
    double seconds = 0;
    std::string out;
    std::string err;
};

ChildResult run_child(const std::string& program, const ChildOptions& options);

// True in a build with AddressSanitizer, whose shadow memory inflates every RSS figure.
bool built_with_address_sanitizer();

}  // namespace trelvane::testsupport
