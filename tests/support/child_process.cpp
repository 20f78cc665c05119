#include "support/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

#include "support/temp_dir.h"

extern char** environ;

namespace trelvane::testsupport {

namespace {

std::vector<std::string> child_environment(const std::map<std::string, std::string>& changes) {
    std::vector<std::string> entries;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (changes.count(entry.substr(0, entry.find('='))) == 0)
            entries.push_back(entry);
    }
    for (const auto& [name, value] : changes) {
        if (!value.empty())
            entries.push_back(name + "=" + value);
    }
    return entries;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

// Runs in the forked child: only async-signal-safe calls until exec.
[[noreturn]] void exec_child(const char* program, char* const* argv, char* const* envp,
                             const char* folder, const char* out_path, const char* err_path,
                             const ChildOptions& options) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(out_path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(err_path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, STDIN_FILENO) < 0 ||
        ::dup2(out, STDOUT_FILENO) < 0 || ::dup2(err, STDERR_FILENO) < 0)
        ::_exit(126);
    if (folder[0] != '\0' && ::chdir(folder) != 0)
        ::_exit(126);
    if (options.file_size_limit) {
        const rlimit limit{static_cast<rlim_t>(*options.file_size_limit),
                           static_cast<rlim_t>(*options.file_size_limit)};
        ::signal(SIGXFSZ, SIG_IGN);  // stays ignored across exec
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(126);
    }
    if (options.open_file_limit) {
        const rlimit limit{static_cast<rlim_t>(*options.open_file_limit),
                           static_cast<rlim_t>(*options.open_file_limit)};
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
            ::_exit(126);
    }
    if (options.user && (::setgroups(0, nullptr) != 0 || ::setgid(*options.user) != 0 ||
                         ::setuid(*options.user) != 0))
        ::_exit(126);
    ::execve(program, argv, envp);
    ::_exit(127);
}

}  // namespace

ChildResult run_child(const std::string& program, const ChildOptions& options) {
    ChildResult result;
    TempDir capture;
    const std::string out_path = capture.file("out");
    const std::string err_path = capture.file("err");

    std::vector<std::string> arg_strings{program};
    arg_strings.insert(arg_strings.end(), options.args.begin(), options.args.end());
    std::vector<std::string> env_strings = child_environment(options.env);
    const std::vector<char*> argv = pointers(arg_strings);
    const std::vector<char*> envp = pointers(env_strings);

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0)
        return result;
    if (pid == 0) {
        exec_child(program.c_str(), argv.data(), envp.data(), options.working_folder.c_str(),
                   out_path.c_str(), err_path.c_str(), options);
    }
    result.started = true;

    const auto deadline = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(options.timeout_seconds));
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            break;
        if (options.signal_number != 0 && !result.signal_sent) {
            const std::string so_far = read_file(out_path);
            int marks = 0;
            for (size_t at = so_far.find(options.signal_mark); at != std::string::npos;
                 at = so_far.find(options.signal_mark, at + 1))
                ++marks;
            if (marks >= options.signal_after_marks) {
                ::kill(pid, options.signal_number);
                if (options.then_signal_number != 0)
                    ::kill(pid, options.then_signal_number);
                result.signal_sent = true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            result.timed_out = true;
            while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.peak_rss_kb = usage.ru_maxrss;
    if (WIFEXITED(status))
        result.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    return result;
}

bool built_with_address_sanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

}  // namespace trelvane::testsupport
