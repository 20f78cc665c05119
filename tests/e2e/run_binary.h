// Runs the real trelvane program the way a user does and collects what it showed.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace trelvane::e2e {

struct RunResult {
    int exit_code = -1;  // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs the program with the arguments (without its own name), in working_folder when given,
// with the environment changed by env (an empty value removes the variable).
RunResult run_trelvane(const std::vector<std::string>& args,
                       const std::map<std::string, std::string>& env = {},
                       const std::string& working_folder = {},
                       const std::string& program = TRELVANE_EXE);

}  // namespace trelvane::e2e
