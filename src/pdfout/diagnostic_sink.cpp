#include "pdfout/diagnostic_sink.h"

#include <cstdio>
#include <vector>

namespace trelvane::pdfout {

void DiagnosticSink::warning(const char* module, const char* format, ...) {
    va_list args;
    va_start(args, format);
    report(Kind::kWarning, module, format, args);
    va_end(args);
}

void DiagnosticSink::error(const char* module, const char* format, ...) {
    va_list args;
    va_start(args, format);
    report(Kind::kError, module, format, args);
    va_end(args);
}

void DiagnosticSink::report(Kind kind, const char* module, const char* format, va_list args) {
    if (kind == Kind::kError)
        set_system_error(errno);
    (kind == Kind::kError ? error_count_ : warning_count_)++;
    if (keep_ == 0)
        return;
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        text.assign(buffer.data(), static_cast<size_t>(needed));
    }
    messages_.push_back(Message{kind, module ? module : "", std::move(text)});
    while (messages_.size() > keep_)
        messages_.pop_front();
}

bool DiagnosticSink::saw(Kind kind, const std::string& text) const {
    for (const Message& m : messages_) {
        if (m.kind == kind && m.text.find(text) != std::string::npos)
            return true;
    }
    return false;
}

}  // namespace trelvane::pdfout
