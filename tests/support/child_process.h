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
    // RLIMIT_NOFILE, soft and hard: the descriptors the child may hold.
    std::optional<uint64_t> open_file_limit;
    // Sends this signal once standard output holds signal_after_marks occurrences of
    // signal_mark (so the signal lands while the program is demonstrably at work).
    int signal_number = 0;
    std::string signal_mark;
    int signal_after_marks = 1;
    // A second signal sent right after the first (0: none); a different signal from the first,
    // since the system keeps only one pending of each.
    int then_signal_number = 0;
    // Runs the child as this user and group (for a root test run that needs permissions to
    // bite); nothing: as the caller.
    std::optional<uint32_t> user;
};

struct ChildResult {
    bool started = false;
    bool timed_out = false;  // killed at the deadline
    int exit_code = -1;      // -1 unless the child exited normally
    int signal = 0;          // the signal that ended it, if any
    long peak_rss_kb = 0;    // ru_maxrss of the child
    bool signal_sent = false;
    double seconds = 0;
    std::string out;
    std::string err;
};

ChildResult run_child(const std::string& program, const ChildOptions& options);

// The user "nobody", for running a child without root's power to read everything.
constexpr uint32_t kNobody = 65534;

// True in a build with AddressSanitizer, whose shadow memory inflates every RSS figure.
bool built_with_address_sanitizer();

}  // namespace trelvane::testsupport
