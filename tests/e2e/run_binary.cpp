#include "run_binary.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "support/temp_dir.h"

extern char** environ;

namespace trelvane::e2e {

RunResult run_trelvane(const std::vector<std::string>& args,
                       const std::map<std::string, std::string>& env,
                       const std::string& working_folder, const std::string& program) {
    testsupport::TempDir capture;
    const std::string out_path = capture.file("out");
    const std::string err_path = capture.file("err");

    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        if (env.count(name) == 0)
            env_strings.push_back(entry);
    }
    for (const auto& [name, value] : env) {
        if (!value.empty())
            env_strings.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (auto& s : env_strings)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    std::vector<std::string> arg_strings = {program};
    arg_strings.insert(arg_strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : arg_strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!working_folder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, working_folder.c_str());
    }
    pid_t pid = 0;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + program);

    int status = 0;
    waitpid(pid, &status, 0);
    RunResult result;
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = testsupport::read_file(out_path);
    result.err = testsupport::read_file(err_path);
    return result;
}

}  // namespace trelvane::e2e
