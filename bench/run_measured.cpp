// run_measured OUT COMMAND [ARG...]: runs the command and writes to OUT what it cost, as
// "USER SYS MAXRSS STATUS": user and system CPU seconds to the microsecond, peak resident set
// in KiB, and its exit status (128 + signal when a signal ended it), for the command and every
// process it waited for. Exits with that status.
//
// GNU time gives the same figures but prints CPU time in hundredths of a second, which is a
// twentieth of a folder run of a quarter of a second; the bench compares such runs.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: run_measured OUT COMMAND [ARG...]\n");
        return 2;
    }
    const pid_t child = fork();
    if (child < 0) {
        std::fprintf(stderr, "run_measured: cannot start a process: %s\n", std::strerror(errno));
        return 2;
    }
    if (child == 0) {
        execvp(argv[2], argv + 2);
        std::fprintf(stderr, "run_measured: cannot run %s: %s\n", argv[2], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::fprintf(stderr, "run_measured: wait: %s\n", std::strerror(errno));
            return 2;
        }
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr) {
        std::fprintf(stderr, "run_measured: cannot write %s: %s\n", argv[1], std::strerror(errno));
        return 2;
    }
    std::fprintf(out, "%.6f %.6f %ld %d\n", seconds(usage.ru_utime), seconds(usage.ru_stime),
                 usage.ru_maxrss, code);
    if (std::fclose(out) != 0)
        return 2;
    return code;
}
