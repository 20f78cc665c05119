#include "app/command_line.h"

#include <array>
#include <string_view>

#include "app/printable_name.h"
#include "app/process_paths.h"
#include "app/shard.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/interrupt_watch.h"
#include "platform/paths.h"

namespace trelvane::app {

const char* const kUsageText =
    "Usage: trelvane [/l /q] [/b=0] /f=source-file /sf=dest-tif-file\n"
    "or\n"
    "Usage: trelvane [/l /q] [/b=0] /d=source-directory /sd=dest-directory [/filter=]\n";

std::string help_text(const HelpFacts& facts) {
    const char* const quoting =
        facts.one_string_command_line
            ? "Options (names in any case, separated by spaces; quote a value with spaces:\n"
              "/d=\"C:\\Fax In\"):\n"
            : "Options (names in any case; each argument is one option, its value taken as it "
              "stands:\n"
              "quote a value with spaces for the shell: '/d=/home/me/Fax In'):\n";
    const char* const not_here = " (not in this build)";
    std::string text = kUsageText;
    text +=
        "\n"
        "Converts WinFax fax files (.fxd, .fxm, .fxr, .fxs) into PDF files, one PDF page per fax\n"
        "page, the pages' own coding kept without loss. Without /sf= or /sd= the window opens.\n"
        "\n" +
        std::string(quoting) +
        "  /f=FILE          the fax file to convert, into the PDF named by /sf=\n"
        "  /sf=PDF          the PDF to write (a single-file run)\n"
        "  /d=FOLDER        the folder whose fax files to convert, into the folder of /sd=\n"
        "  /sd=FOLDER       the folder to write the PDFs into (a folder run)\n"
        "  /filter=PATTERN  the names a folder run takes (* and ?, any case; default *.*)\n"
        "  /i               include subfolders (those whose names match the pattern too);\n"
        "                   each folder is walked as NTFS lists it: by upper-cased name\n"
        "  /kh              keep the folder hierarchy under the save folder\n"
        "  /ke              keep the fax's extension in the PDF's name (a.fxs.pdf)\n"
        "  /l               give each PDF the fax file's modification and access times\n"
        "  /skip            leave a fax whose PDF was made from it as it is now (the PDF records\n"
        "                   the fax); a fax changed in the last 10 seconds waits for the next run\n"
        "  /verify          read every PDF back and compare it, page by page and pixel by pixel,\n"
        "                   with its fax before it is put in place (\"Success ! (verified)\");\n"
        "                   with /skip, a kept PDF is checked too and made again when it does\n"
        "                   not match: /skip /verify audits a converted archive" +
        std::string(facts.pdf_checks ? "" : not_here) +
        "\n"
        "  /manifest=FILE   when the run ends (also when interrupted), write FILE as CSV: one\n"
        "                   row per fax with its bytes, SHA-256 and date, the result and notes,\n"
        "                   the PDF with its bytes and SHA-256, and whether it was verified\n"
        "  /jobs=N          convert up to N files at once (default: one per processor, here " +
        std::to_string(facts.default_jobs) +
        ")\n"
        "  /shard=K/N       convert only share K of N of a folder run (N runs, on any machines,\n"
        "                   K = 1..N, same options: together one run's PDFs, each fax once);\n"
        "                   folder runs only\n"
        "  /ocr             searchable PDFs: an invisible text layer of the recognised words" +
        std::string(facts.recognition ? "" : not_here) +
        "\n"
        "  /ocr=LANGS       the same in these languages (Tesseract's names: eng, deu+eng)\n"
        "  /pdfa            archive PDFs: PDF/A-2b, its date the fax file's own\n"
        "  /pdfa=LEVEL      PDF/A of that level: 1b, 2b, or 3b (the fax file itself inside)\n"
        "  /relines         recount every page's scan lines by decoding the page\n"
        "  /q               quiet: nothing on standard output (the log still gets the report)\n"
        "  /log=FILE        append the run's record to FILE instead of the default log (not a\n"
        "                   fax, nor a fax or PDF of the run)\n"
        "  /m= /b= /v= /raw options for headerless fax data; no effect on WinFax files\n"
        "  FILE...          without /sf= or /sd=: the window converts these fax files\n"
        "  --help, -h       this text\n"
        "  --version        the program's version\n"
        "\n"
        "The report has one line per fax file; a failure caused by the system ends with the\n"
        "system's message in parentheses, and a converted fax with damaged, cut short, blank,\n"
        "short or left out pages says so after \"Success !\". Names are shown with control\n"
        "characters escaped (\\r, \\n, \\x1B). A PDF never replaces a fax, a device, a FIFO or\n"
        "a folder.\n"
        "\n"
        "Exit status:\n"
        "  0      every fax file was converted or skipped (and with /verify, matched its PDF)\n"
        "  1      a file was not converted, or a folder could not be read (the report says which)\n"
        "  2      nothing could start: no source given, the source folder missing, an empty\n"
        "         save option, an empty or quoted /filter=, a /pdfa= level not made here,\n"
        "         a bad /shard=, no work files, OCR languages not installed, or the window\n"
        "         without a display\n"
        "  " +
        std::string(platform::interrupt_statuses_text()) +
        "\n"
        "\n"
        "Files:\n"
        "  log       " +
        facts.log_file_path +
        "\n"
        "  settings  " +
        facts.settings_file_path +
        " (the window's folders and options)\n"
        "  work      " +
        platform::work_files_text() + "\n";
    return text;
}

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
    } else if (token == "/skip") {
        job.skip_existing = 1;
    } else if (token == "/verify") {
        job.verify = 1;
    } else if (token == "/ocr") {
        job.ocr = 1;
    } else if (token == "/pdfa") {
        job.pdfa = pdfout::kDefaultArchiveLevel;
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

constexpr std::string_view kPdfaPrefix = "/pdfa=";

// /pdfa=LEVEL: true when the token is one. A level this program cannot make refuses the run:
// PDFs that are not the archive format asked for must not come out of it.
bool apply_pdfa_option(std::string_view lower, std::string_view token, BatchJob& job,
                       std::string& refused) {
    if (!lower.starts_with(kPdfaPrefix))
        return false;
    if (const auto level = pdfout::archive_level_from_name(lower.substr(kPdfaPrefix.size()))) {
        job.pdfa = *level;
    } else if (refused.empty()) {
        refused = "'" + printable_name(token) +
                  "' names no PDF/A level this program makes: use /pdfa=1b, /pdfa=2b or "
                  "/pdfa=3b (/pdfa alone is 2b)";
    }
    return true;
}

constexpr std::string_view kJobsPrefix = "/jobs=";
constexpr unsigned kMaxJobs = 256;

// /jobs=N: true when the token is one (a valid N is stored; an invalid one is named on standard
// error and ignored).
bool apply_jobs_option(std::string_view lower, std::string_view token, BatchJob& job) {
    if (!lower.starts_with(kJobsPrefix))
        return false;
    const std::string_view digits = lower.substr(kJobsPrefix.size());
    unsigned value = 0;
    bool valid = !digits.empty() && digits.size() <= 4;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            valid = false;
            break;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (valid && value >= 1 && value <= kMaxJobs) {
        job.jobs = static_cast<int32_t>(value);
    } else {
        platform::print_error("trelvane: '" + printable_name(token) +
                              "' needs a number of files to convert at once, from 1 to " +
                              std::to_string(kMaxJobs) + "; ignored\n");
    }
    return true;
}

constexpr std::string_view kShardName = "/shard";
constexpr std::string_view kShardPrefix = "/shard=";

// /shard=K/N: true when the token is one. A share that cannot be meant refuses the run (with the
// reason in `refused`): a run that converted every file, or none, in its place would be found out
// only when the shares' PDFs are counted.
bool apply_shard_option(std::string_view lower, std::string_view token, BatchJob& job,
                        std::string& refused) {
    if (!lower.starts_with(kShardName))
        return false;
    // "/shard" or "/shard:2/4" ignored like an unknown option would have every run convert every
    // file.
    const std::string problem = lower.starts_with(kShardPrefix)
                                    ? read_shard(lower.substr(kShardPrefix.size()), job.shard)
                                    : "the share goes after an equals sign";
    if (!problem.empty() && refused.empty()) {
        refused = "'" + printable_name(token) + "': " + problem +
                  "; write /shard=K/N for run K of N over one folder, 1 <= K <= N <= " +
                  std::to_string(kMaxShardCount);
    }
    return true;
}

enum class PrefixOption { None, Filter, Source, SaveFolder, SourceFile, SaveFile, Log, Manifest };

struct Prefix {
    std::string_view text;
    PrefixOption option;
};

// In the order they are tried: /filter= must come before /f=.
constexpr std::array<Prefix, 7> kPrefixes = {{{"/filter=", PrefixOption::Filter},
                                              {"/d=", PrefixOption::Source},
                                              {"/sd=", PrefixOption::SaveFolder},
                                              {"/f=", PrefixOption::SourceFile},
                                              {"/sf=", PrefixOption::SaveFile},
                                              {"/log=", PrefixOption::Log},
                                              {"/manifest=", PrefixOption::Manifest}}};

}  // namespace

namespace {

// Everything a command line sets.
struct ParseTarget {
    BatchJob& job;
    faxread::ConversionSettings& settings;
    std::string& log_file_path;
    std::vector<std::string>* given_files = nullptr;  // where arguments naming files go
    // Why the command is refused outright (nothing runs, not even the window); empty: it is not.
    std::string refused = {};
};

void clear_options(ParseTarget& target) {
    BatchJob& job = target.job;
    job.keep_file_times = 0;
    job.quiet = 0;
    job.keep_extension = 0;
    job.include_subfolders = 0;
    job.keep_hierarchy = 0;
    job.job_mode = kJobModeNone;
    job.skip_existing = 0;
    job.verify = 0;
    job.manifest_path.clear();
    job.jobs = 0;
    job.shard = Shard{};
    job.ocr = 0;
    job.ocr_languages.clear();
    job.pdfa = pdfout::ArchiveLevel::kNone;
    target.settings.raw_mode = 0;
    target.settings.recalculate_lines = 0;
}

// Applies a token that is a whole option by itself. For an option that takes a path, sets what
// its prefix sets (a save option sets the run mode) and returns the prefix, whose value the
// caller then takes; nullptr otherwise (an unknown token is named on standard error).
const Prefix* apply_token(std::string_view token, ParseTarget& target) {
    // Option names compare without regard to case; values keep theirs.
    const std::string lower = ascii_lower(token);
    if (lower.starts_with("/ocr=")) {
        // Tesseract's language names are lower case, but kept as typed: a wrong one is named
        // by the check before the run.
        target.job.ocr = 1;
        target.job.ocr_languages = std::string(token.substr(5));
        return nullptr;
    }
    if (apply_exact_option(lower, target.job, target.settings) ||
        apply_jobs_option(lower, token, target.job) ||
        apply_pdfa_option(lower, token, target.job, target.refused) ||
        apply_shard_option(lower, token, target.job, target.refused))
        return nullptr;
    for (const Prefix& prefix : kPrefixes) {
        if (lower.compare(0, prefix.text.size(), prefix.text) != 0)
            continue;
        if (prefix.option == PrefixOption::SaveFolder)
            target.job.job_mode = kJobModeFolder;
        if (prefix.option == PrefixOption::SaveFile)
            target.job.job_mode = kJobModeFile;
        return &prefix;
    }
    // A desktop opens files with the program by naming them (a menu entry's %F): they are the
    // window's.
    if (target.given_files != nullptr && platform::file_exists(std::string(token))) {
        target.given_files->emplace_back(token);
        return nullptr;
    }
    // Ignored as before, but a typo in a script should not go unnoticed.
    platform::print_error("trelvane: unknown option '" + printable_name(token) + "' ignored\n");
    return nullptr;
}

void store_value(PrefixOption option, std::string value, ParseTarget& target) {
    // Paths in the system's own form (on Windows either separator may be typed).
    if (option != PrefixOption::Filter && option != PrefixOption::None)
        value = platform::native_path(std::move(value));
    switch (option) {
        case PrefixOption::Filter:
            target.job.filter = std::move(value);
            break;
        case PrefixOption::Source:
        case PrefixOption::SourceFile:
            target.job.source = std::move(value);
            break;
        case PrefixOption::SaveFolder:
        case PrefixOption::SaveFile:
            target.job.destination = std::move(value);
            break;
        case PrefixOption::Log:
            target.log_file_path = std::move(value);
            break;
        case PrefixOption::Manifest:
            target.job.manifest_path = std::move(value);
            break;
        case PrefixOption::None:
            break;
    }
}

int finish_parse(const ParseTarget& target) {
    const BatchJob& job = target.job;
    if (!target.refused.empty()) {
        platform::print_error("trelvane: " + target.refused + "\n");
        return kCommandLineRefused;
    }
    // One file cannot be shared out, and the window converts the whole folder.
    if (!job.shard.is_whole() && job.job_mode != kJobModeFolder) {
        platform::print_error(
            "trelvane: /shard= shares out a folder run: give /d=FOLDER and "
            "/sd=FOLDER, or leave /shard= out\n");
        return kCommandLineRefused;
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

bool only_white(std::string_view text) {
    for (char c : text) {
        if (!is_white(c))
            return false;
    }
    return true;
}

}  // namespace

int parse_command_line(const char* text, BatchJob& job, faxread::ConversionSettings& settings,
                       std::string& log_file_path) {
    ParseTarget target{job, settings, log_file_path};
    clear_options(target);
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
        size_t drop = space + 1;  // the token and the space after it
        if (const Prefix* prefix = apply_token(token, target)) {
            const size_t start = prefix->text.size();
            std::string value(token.substr(start));
            if (prefix->option != PrefixOption::Filter && start < space && work[start] == '"') {
                // The value runs to the next quote, spaces included. A closing quote beyond the
                // token consumes the text up to it and the one character after it.
                const size_t close = work.find('"', start + 1);
                if (close == std::string::npos) {
                    value = work.substr(start + 1, space - start - 1);
                } else {
                    value = work.substr(start + 1, close - start - 1);
                    if (close > space)
                        drop = close + 2;
                }
            }
            store_value(prefix->option, std::move(value), target);
        }
        work.erase(0, drop);
        trim_leading(work);
    }
    return finish_parse(target);
}

int parse_command_line(const char* text, BatchJob& job) {
    return parse_command_line(text, job, global_settings(), process_paths().log_file_path);
}

int parse_arguments(const std::optional<std::vector<std::string>>& arguments, BatchJob& job,
                    faxread::ConversionSettings& settings, std::string& log_file_path,
                    std::vector<std::string>* given_files) {
    ParseTarget target{job, settings, log_file_path, given_files};
    clear_options(target);
    if (!arguments)
        return kNoArgumentText;
    bool all_empty = true;
    for (const std::string& argument : *arguments) {
        if (!argument.empty())
            all_empty = false;
        // An argument of blanks (an unset variable in quotes) holds no option.
        if (only_white(argument))
            continue;
        // The value is the rest of the argument as it stands: the shell has already taken its
        // quotes, and a quote or a space inside a value is part of the name.
        if (const Prefix* prefix = apply_token(argument, target))
            store_value(prefix->option, argument.substr(prefix->text.size()), target);
    }
    if (all_empty)
        return kEmptyArgumentText;
    const bool files_given = given_files != nullptr && !given_files->empty();
    // Files without a save option are for the window, which converts them: no usage text.
    if (files_given && job.job_mode == kJobModeNone)
        return kCommandLineRejected;
    const int result = finish_parse(target);
    if (result == kCommandLineAccepted && files_given) {
        for (const std::string& file : *given_files) {
            platform::print_error("trelvane: unknown option '" + printable_name(file) +
                                  "' ignored\n");
        }
        given_files->clear();
    }
    return result;
}

int parse_arguments(const std::optional<std::vector<std::string>>& arguments, BatchJob& job) {
    return parse_arguments(arguments, job, global_settings(), process_paths().log_file_path);
}

std::vector<std::string> files_named_by_text(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool in_word = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
            in_word = true;  // "" is a word, if an empty one
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (in_word)
                words.push_back(std::move(word));
            word.clear();
            in_word = false;
        } else {
            word.push_back(c);
            in_word = true;
        }
    }
    if (in_word)
        words.push_back(std::move(word));
    for (const std::string& w : words) {
        if (w.empty() || !platform::file_exists(w))
            return {};
    }
    return words;
}

std::optional<std::vector<std::string>> program_arguments(int argc, const char* const* argv) {
    if (argc < 2 || argv == nullptr)
        return std::nullopt;
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<size_t>(argc - 1));
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
    return arguments;
}

}  // namespace trelvane::app
