#include "app/command_line.h"

#include <array>
#include <string_view>

#include "app/process_paths.h"
#include "platform/console.h"

namespace trelvane::app {

const char* const kUsageText =
    "Usage: trelvane [/l /q] [/b=0] /f=source-file /sf=dest-tif-file\n"
    "or\n"
    "Usage: trelvane [/l /q] [/b=0] /d=source-directory /sd=dest-directory [/filter=]\n";

namespace {

bool is_white(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

void trim_leading(std::string& text) {
    size_t n = 0;
    while (n < text.size() && is_white(text[n]))
        ++n;
    text.erase(0, n);
}

void trim_trailing(std::string& text) {
    while (!text.empty() && is_white(text.back()))
        text.pop_back();
}

std::string ascii_lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

// Exact options: the whole (lower-cased) token must match.
bool apply_exact_option(std::string_view token, BatchJob& job,
                        faxread::ConversionSettings& settings) {
    static constexpr std::array<uint16_t, 5> kResolutions = {0, 100, 200, 300, 400};
    if (token == "/l") {
        job.keep_file_times = 1;
    } else if (token == "/q") {
        job.quiet = 1;
    } else if (token == "/ke") {
        job.keep_extension = 1;
    } else if (token == "/i") {
        job.include_subfolders = 1;
    } else if (token == "/kh") {
        job.keep_hierarchy = 1;
    } else if (token == "/raw") {
        settings.raw_mode = 1;
    } else if (token == "/relines") {
        settings.recalculate_lines = 1;
    } else if (token.size() == 4 && token.substr(0, 3) == "/m=" && token[3] >= '0' &&
               token[3] <= '2') {
        settings.page_file_mode = static_cast<uint8_t>(token[3] - '0');
    } else if (token.size() == 4 && token.substr(0, 3) == "/b=" && token[3] >= '0' &&
               token[3] <= '2') {
        settings.bit_order = static_cast<uint8_t>(token[3] - '0');
    } else if (token.size() == 4 && token.substr(0, 3) == "/v=" && token[3] >= '0' &&
               token[3] <= '4') {
        settings.vertical_resolution = kResolutions[static_cast<size_t>(token[3] - '0')];
    } else {
        return false;
    }
    return true;
}

enum class PrefixOption { None, Filter, Source, SaveFolder, SourceFile, SaveFile, Log };

struct Prefix {
    std::string_view text;
    PrefixOption option;
};

// In the order they are tried: /filter= must come before /f=.
constexpr std::array<Prefix, 6> kPrefixes = {{{"/filter=", PrefixOption::Filter},
                                              {"/d=", PrefixOption::Source},
                                              {"/sd=", PrefixOption::SaveFolder},
                                              {"/f=", PrefixOption::SourceFile},
                                              {"/sf=", PrefixOption::SaveFile},
                                              {"/log=", PrefixOption::Log}}};

}  // namespace

int parse_command_line(const char* text, BatchJob& job, faxread::ConversionSettings& settings,
                       std::string& log_file_path) {
    job.keep_file_times = 0;
    job.quiet = 0;
    job.keep_extension = 0;
    job.include_subfolders = 0;
    job.keep_hierarchy = 0;
    job.job_mode = kJobModeNone;
    job.skip_existing = 0;
    settings.raw_mode = 0;
    settings.recalculate_lines = 0;

    if (text == nullptr)
        return kNoArgumentText;
    if (text[0] == '\0')
        return kEmptyArgumentText;

    // Every token ends up followed by a space, the only separator (a tab is not one).
    std::string work(text);
    trim_trailing(work);
    work += ' ';
    trim_leading(work);

    size_t space;
    while ((space = work.find(' ')) != std::string::npos && space > 0) {
        const std::string_view token(work.data(), space);
        // Option names compare without regard to case; values keep theirs.
        const std::string lower = ascii_lower(token);
        size_t drop = space + 1;  // the token and the space after it

        if (!apply_exact_option(lower, job, settings)) {
            for (const Prefix& prefix : kPrefixes) {
                if (lower.compare(0, prefix.text.size(), prefix.text) != 0)
                    continue;
                if (prefix.option == PrefixOption::SaveFolder)
                    job.job_mode = kJobModeFolder;
                if (prefix.option == PrefixOption::SaveFile)
                    job.job_mode = kJobModeFile;

                const size_t start = prefix.text.size();
                std::string value(token.substr(start));
                if (prefix.option != PrefixOption::Filter && start < space && work[start] == '"') {
                    // The value runs to the next quote, spaces included. A closing quote beyond
                    // the token consumes the text up to it and the one character after it.
                    const size_t close = work.find('"', start + 1);
                    if (close == std::string::npos) {
                        value = work.substr(start + 1, space - start - 1);
                    } else {
                        value = work.substr(start + 1, close - start - 1);
                        if (close > space)
                            drop = close + 2;
                    }
                }
                switch (prefix.option) {
                    case PrefixOption::Filter:
                        job.filter = value;
                        break;
                    case PrefixOption::Source:
                    case PrefixOption::SourceFile:
                        job.source = value;
                        break;
                    case PrefixOption::SaveFolder:
                    case PrefixOption::SaveFile:
                        job.destination = value;
                        break;
                    case PrefixOption::Log:
                        log_file_path = value;
                        break;
                    case PrefixOption::None:
                        break;
                }
                break;
            }
        }
        work.erase(0, drop);
        trim_leading(work);
    }

    if (job.job_mode == kJobModeNone) {
        platform::print_output(kUsageText);
        return kCommandLineRejected;
    }
    if (job.destination.empty()) {
        platform::show_error("ERROR Save Folder",
                             "Please set save folder with '/sd=' or '/sf=', and be sure it is not "
                             "the same as source folder");
        return kCommandLineRejected;
    }
    return kCommandLineAccepted;
}

int parse_command_line(const char* text, BatchJob& job) {
    return parse_command_line(text, job, global_settings(), process_paths().log_file_path);
}

std::optional<std::string> build_argument_text(int argc, const char* const* argv) {
    if (argc < 2 || argv == nullptr)
        return std::nullopt;
    std::string text;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i] != nullptr ? argv[i] : "";
        if (i > 1)
            text += ' ';
        if (arg.find(' ') == std::string_view::npos) {
            text += arg;
            continue;
        }
        // Quote after the option prefix (up to the first '='), unless already quoted there.
        size_t value_start = 0;
        if (!arg.empty() && arg.front() == '/') {
            size_t eq = arg.find('=');
            if (eq != std::string_view::npos)
                value_start = eq + 1;
        }
        std::string_view value = arg.substr(value_start);
        text += arg.substr(0, value_start);
        if (!value.empty() && value.front() == '"') {
            text += value;
        } else {
            text += '"';
            text += value;
            text += '"';
        }
    }
    return text;
}

}  // namespace trelvane::app
