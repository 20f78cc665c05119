// A test that runs the real program as a child it can limit and signal, with a TMPDIR of its own
// and a folder for the faxes, PDFs and log.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace trelvane::e2e {

class ChildRunTest : public ::testing::Test {
  protected:
    // env: set in every run's environment besides TMPDIR. hang_guard_seconds: a run still going
    // then is killed and the test fails (only a guard: no test times the program).
    explicit ChildRunTest(double hang_guard_seconds, std::map<std::string, std::string> env = {})
        : hang_guard_seconds_(hang_guard_seconds), env_(std::move(env)) {}

    testsupport::ChildResult run(testsupport::ChildOptions options) {
        options.env["TMPDIR"] = tmp.path();
        for (const auto& [name, value] : env_)
            options.env[name] = value;
        options.timeout_seconds = hang_guard_seconds_;
        testsupport::ChildResult r = testsupport::run_child(TRELVANE_EXE, options);
        EXPECT_TRUE(r.started);
        EXPECT_FALSE(r.timed_out) << "the program hung";
        return r;
    }
    testsupport::ChildResult run(const std::vector<std::string>& args) {
        testsupport::ChildOptions options;
        options.args = args;
        return run(options);
    }
    std::string log() const { return dir.file("log.txt"); }

    testsupport::TempDir tmp;
    testsupport::TempDir dir;

  private:
    double hang_guard_seconds_;
    std::map<std::string, std::string> env_;
};

}  // namespace trelvane::e2e
