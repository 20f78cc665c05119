#include "support/pdf_tools.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "support/temp_dir.h"

extern char** environ;

namespace trelvane::testsupport {

bool tool_available(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (folder.empty())
            continue;
        const std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

ToolRun run_tool(const std::vector<std::string>& argv) {
    ToolRun run;
    if (argv.empty())
        return run;
    TempDir scratch;
    const std::string log_path = scratch.file("output.txt");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned =
        posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.output = read_file(log_path);
    return run;
}

ToolRun qpdf_check(const std::string& pdf) {
    return run_tool({"qpdf", "--check", pdf});
}

bool render_page_gs(const std::string& pdf, int page, int x_res, int y_res, Bitmap& out,
                    std::string* log) {
    TempDir scratch;
    const std::string pbm = scratch.file("page.pbm");
    const ToolRun run =
        run_tool({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pbmraw",
                  "-r" + std::to_string(x_res) + "x" + std::to_string(y_res),
                  "-dFirstPage=" + std::to_string(page), "-dLastPage=" + std::to_string(page),
                  "-sOutputFile=" + pbm, pdf});
    if (log)
        *log = run.output;
    return run.exit_code == 0 && read_pbm(pbm, out);
}

bool render_page_mutool(const std::string& pdf, int page, int res, Bitmap& out, std::string* log) {
    TempDir scratch;
    const std::string pbm = scratch.file("page.pbm");
    const ToolRun run = run_tool({"mutool", "draw", "-q", "-N", "-A", "0", "-r",
                                  std::to_string(res), "-o", pbm, pdf, std::to_string(page)});
    if (log)
        *log = run.output;
    return run.exit_code == 0 && read_pbm(pbm, out);
}

ToolRun render_poppler(const std::string& pdf, int res) {
    TempDir scratch;
    return run_tool({"pdftoppm", "-gray", "-r", std::to_string(res), pdf, scratch.file("page")});
}

}  // namespace trelvane::testsupport
