// Standard error sent nowhere for a while: for a library that prints its own messages where the
// program reports instead (Tesseract writes "Error opening data file ..." before any setting of
// its own can silence it).
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace trelvane::platform {

// While it lives, file descriptor 2 is /dev/null. The whole process's standard error goes with
// it, so hold one only around the library call, never while another thread reports.
class QuietStandardError {
  public:
    QuietStandardError() {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0)
            ::dup2(null, STDERR_FILENO);
        if (null >= 0)
            ::close(null);
    }
    ~QuietStandardError() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
        }
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

  private:
    int saved_ = -1;
};

}  // namespace trelvane::platform
