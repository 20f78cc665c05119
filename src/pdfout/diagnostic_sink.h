// Where the TIFF library's and the PDF writer's warnings and errors go. Nothing is shown to
// the user per file: the sink discards them, or keeps the last few for a test to look at.
#pragma once

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <deque>
#include <string>
#include <utility>

namespace trelvane::pdfout {

// Module name of the PDF writer's own messages.
inline constexpr const char* kWriterModule = "btrelvane";

class DiagnosticSink {
  public:
    enum class Kind { kWarning, kError };
    struct Message {
        Kind kind;
        std::string module;
        std::string text;
    };

    // keep = how many of the latest messages to remember; 0 discards everything.
    explicit DiagnosticSink(size_t keep = 0) : keep_(keep) {}

    void warning(const char* module, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void error(const char* module, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void report(Kind kind, const char* module, const char* format, va_list args)
        __attribute__((format(printf, 4, 0)));

    const std::deque<Message>& messages() const { return messages_; }
    // True when a remembered message of that kind contains the text.
    bool saw(Kind kind, const std::string& text) const;
    size_t error_count() const { return error_count_; }
    size_t warning_count() const { return warning_count_; }

    // The operating system's error number behind the first error that had one, or 0. Errors
    // take errno as it stands when they are reported (libtiff reports right after the failed
    // call); callers clear errno before the work whose failures they want explained.
    int system_error() const { return system_error_; }
    // Names the cause of the next error explicitly (when errno may have moved on since).
    void set_system_error(int error_number) {
        if (system_error_ == 0)
            system_error_ = error_number;
    }

    // Why the work failed, in words for the file's report line, when an error has a cause
    // that no system error names (the first one given counts); empty otherwise.
    const std::string& reason() const { return reason_; }
    void set_reason(std::string reason) {
        if (reason_.empty())
            reason_ = std::move(reason);
    }

  private:
    std::string reason_;
    size_t keep_;
    size_t error_count_ = 0;
    size_t warning_count_ = 0;
    int system_error_ = 0;
    std::deque<Message> messages_;
};

}  // namespace trelvane::pdfout
