#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "app/batch_job.h"
#include "app/command_line.h"
#include "support/temp_dir.h"

namespace trelvane::app {
namespace {

const char* const kUsage =
    "Usage: trelvane [/l /q] [/b=0] /f=source-file /sf=dest-tif-file\n"
    "or\n"
    "Usage: trelvane [/l /q] [/b=0] /d=source-directory /sd=dest-directory [/filter=]\n";
const char* const kSaveFolderError =
    "ERROR Save Folder: Please set save folder with '/sd=' or '/sf=', and be sure it is not the "
    "same as source folder\n";

// The outcome of one parse, with everything it may have written.
struct Parsed {
    int result = 0;
    BatchJob job;
    faxread::ConversionSettings settings;
    std::string log_path = "default.log";
    std::string out;
    std::string err;
};

Parsed parse(const char* text) {
    Parsed p;
    reset_batch_job(p.job);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    p.result = parse_command_line(text, p.job, p.settings, p.log_path);
    p.out = testing::internal::GetCapturedStdout();
    p.err = testing::internal::GetCapturedStderr();
    return p;
}

struct Case {
    const char* name;
    const char* text;
    int result;
    int job_mode;
    const char* source;
    const char* destination;
    bool usage_printed = false;
    bool save_error = false;
    const char* ignored = "";  // the tokens named on standard error as unknown, in order
};

// What standard error says of each token that is no option.
std::string unknown_option_lines(std::string_view tokens) {
    std::string lines;
    while (!tokens.empty()) {
        const size_t space = tokens.find(' ');
        lines +=
            "trelvane: unknown option '" + std::string(tokens.substr(0, space)) + "' ignored\n";
        tokens = space == std::string_view::npos ? std::string_view() : tokens.substr(space + 1);
    }
    return lines;
}

class CommandLineTable : public ::testing::TestWithParam<Case> {};

TEST_P(CommandLineTable, ParsesModeSourceAndDestination) {
    const Case& c = GetParam();
    Parsed p = parse(c.text);
    EXPECT_EQ(p.result, c.result);
    EXPECT_EQ(p.job.job_mode, c.job_mode);
    EXPECT_EQ(p.job.source, c.source);
    EXPECT_EQ(p.job.destination, c.destination);
    EXPECT_EQ(p.out, c.usage_printed ? kUsage : "");
    EXPECT_EQ(p.err, unknown_option_lines(c.ignored) + (c.save_error ? kSaveFolderError : ""));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineTable,
    ::testing::Values(
        Case{"Folder", "/d=/in /sd=/out", 0, 1, "/in", "/out"},
        Case{"SingleFile", "/f=/in/a.fxs /sf=/out/a.pdf", 0, 2, "/in/a.fxs", "/out/a.pdf"},
        Case{"OptionNamesIgnoreCaseValuesKeepIt", "/D=/In/Faxes /SD=E:/OUT", 0, 1, "/In/Faxes",
             "E:/OUT"},
        Case{"ManySpacesAndBlanksAround", "  \t /d=a     /sd=b \r\n", 0, 1, "a", "b"},
        Case{"LastSaveOptionDecidesMode", "/sd=a /sf=b", 0, 2, "", "b"},
        Case{"SaveFolderAfterSaveFile", "/sf=b /sd=a", 0, 1, "", "a"},
        Case{"SaveOptionDecidesModeNotSource", "/f=a.fxs /sd=out", 0, 1, "a.fxs", "out"},
        Case{"LaterSourceWins", "/d=first /f=second /sd=o", 0, 1, "second", "o"},
        Case{"QuotedWithSpaces", "/d=\"E:/Fax In\" /sd=\"D:/Pdf Out\"", 0, 1, "E:/Fax In",
             "D:/Pdf Out"},
        Case{"QuotedWithoutSpaces", "/sd=\"D:/Out\"", 0, 1, "", "D:/Out"},
        Case{"QuotedSeveralSpaces", "/d=\"/a  b c\" /sd=o", 0, 1, "/a  b c", "o"},
        // The character after a closing quote beyond the token is dropped with it, so an
        // option glued to it is lost and the next token is found again.
        Case{"TextGluedAfterClosingQuote", "/d=\"/a b\"xy/sd=lost /sd=kept", 0, 1, "/a b", "kept",
             false, false, "y/sd=lost"},
        Case{"CharacterAfterClosingQuoteDropped", "/d=\"/a b\"/sd=o", 126, 0, "/a b", "", true,
             false, "sd=o"},
        // Inside the token, text after the closing quote is ignored.
        Case{"QuoteClosedInsideToken", "/d=\"/ab\"cd /sd=o", 0, 1, "/ab", "o"},
        // Without a closing quote the value is the rest of the token and parsing goes on.
        Case{"UnclosedQuote", "/d=\"/a b /sd=o", 0, 1, "/a", "o", false, false, "b"},
        Case{"UnclosedQuoteAtEnd", "/sd=o /d=\"/a", 0, 1, "/a", "o"},
        // An opening quote with its closing quote far away swallows the options between.
        Case{"QuoteSwallowsOptions", "/sd=\"o /d=x\" /sf=y", 0, 2, "", "y"},
        Case{"EmptyQuotedSaveValue", "/d=x /sd=\"\"", 126, 1, "x", "", false, true},
        Case{"EmptySaveFolder", "/sd=", 126, 1, "", "", false, true},
        Case{"EmptySaveAfterGoodOne", "/sd=out /sf=", 126, 2, "", "", false, true},
        Case{"NoSaveOption", "/q /d=x", 126, 0, "x", "", true},
        Case{"OnlyFlags", "/l /q", 126, 0, "", "", true},
        Case{"OnlyBlanks", "   \t  ", 126, 0, "", "", true},
        Case{"TabDoesNotSeparate", "/sd=a\t/q", 0, 1, "", "a\t/q"},
        Case{"SaveOptionNeedsItsPrefixAtTheStart", "x/sd=a", 126, 0, "", "", true, false, "x/sd=a"},
        Case{"UnknownOptionsNamedAndIgnored", "/what /M=3 /v=5 /Hk /sd=o", 0, 1, "", "o", false,
             false, "/what /M=3 /v=5 /Hk"}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(CommandLine, MissingOrEmptyTextMeansNoCommandLineRun) {
    Parsed none = parse(nullptr);
    EXPECT_EQ(none.result, kNoArgumentText);
    Parsed empty = parse("");
    EXPECT_EQ(empty.result, kEmptyArgumentText);
    EXPECT_EQ(none.out + none.err + empty.out + empty.err, "");
}

TEST(CommandLine, FlagsAndSettings) {
    Parsed p = parse("/l /Q /ke /i /kh /raw /relines /m=1 /b=2 /v=3 /sd=o");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.job.keep_file_times, 1);
    EXPECT_EQ(p.job.quiet, 1);
    EXPECT_EQ(p.job.keep_extension, 1);
    EXPECT_EQ(p.job.include_subfolders, 1);
    EXPECT_EQ(p.job.keep_hierarchy, 1);
    EXPECT_EQ(p.settings.raw_mode, 1);
    EXPECT_EQ(p.settings.recalculate_lines, 1);
    EXPECT_EQ(p.settings.page_file_mode, 1);
    EXPECT_EQ(p.settings.bit_order, 2);
    EXPECT_EQ(p.settings.vertical_resolution, 300);
}

TEST(CommandLine, SkipAndJobs) {
    Parsed p = parse("/skip /jobs=3 /sd=o");
    EXPECT_EQ(p.job.skip_existing, 1);
    EXPECT_EQ(p.job.jobs, 3);
    EXPECT_EQ(p.err, "");
    // Not numbers of jobs: named and ignored, the default stays.
    for (const char* bad : {"/jobs=0", "/jobs=", "/jobs=x", "/jobs=257", "/JOBS=-1", "/jobs=2x"}) {
        Parsed q = parse((std::string(bad) + " /sd=o").c_str());
        EXPECT_EQ(q.job.jobs, 0) << bad;
        EXPECT_EQ(q.err, "trelvane: '" + std::string(bad) +
                             "' needs a number of files to convert at once, from 1 to 256; "
                             "ignored\n");
    }
    EXPECT_EQ(parse("/jobs=256 /sd=o").job.jobs, 256);
    EXPECT_EQ(parse("/Skip /sd=o").job.skip_existing, 1);
    EXPECT_EQ(parse("/skipped /sd=o").job.skip_existing, 0);  // exact token only
}

// /pdfa alone is 2b; an exact level sets it; any other level refuses the run, since PDFs
// that are not the archive format asked for would pass for it.
TEST(CommandLine, ArchiveLevels) {
    using pdfout::ArchiveLevel;
    const std::pair<const char*, ArchiveLevel> accepted[] = {
        {"", ArchiveLevel::kNone},
        {"/pdfa", ArchiveLevel::kPdfA2b},
        {"/PDFA", ArchiveLevel::kPdfA2b},
        {"/pdfa=1b", ArchiveLevel::kPdfA1b},
        {"/pdfa=2B", ArchiveLevel::kPdfA2b},
        {"/pdfa=3b", ArchiveLevel::kPdfA3b},
        {"/pdfa=3b /pdfa", ArchiveLevel::kPdfA2b}};
    for (const auto& [options, level] : accepted) {
        Parsed p = parse((std::string(options) + " /sd=o").c_str());
        EXPECT_EQ(p.result, kCommandLineAccepted) << options;
        EXPECT_EQ(p.job.pdfa, level) << options;
        EXPECT_EQ(p.err, "") << options;
    }
    for (const char* bad : {"/pdfa=4", "/pdfa=", "/pdfa=1a", "/pdfa=2u", "/pdfa=3bb"}) {
        Parsed p = parse((std::string(bad) + " /sd=o").c_str());
        EXPECT_EQ(p.result, kCommandLineRefused) << bad;
        EXPECT_EQ(p.err, "trelvane: '" + std::string(bad) +
                             "' names no PDF/A level this program makes: use /pdfa=1b, "
                             "/pdfa=2b or /pdfa=3b (/pdfa alone is 2b)\n");
    }
    EXPECT_NE(parse("/pdfax /sd=o").err.find("unknown option '/pdfax'"), std::string::npos);
}

TEST(CommandLine, VerticalResolutionChoices) {
    const uint16_t expected[] = {0, 100, 200, 300, 400};
    for (int v = 0; v <= 4; ++v) {
        std::string text = "/v=" + std::to_string(v) + " /sd=o";
        Parsed p = parse(text.c_str());
        EXPECT_EQ(p.settings.vertical_resolution, expected[v]) << text;
    }
}

TEST(CommandLine, LaterOptionOverridesEarlier) {
    Parsed p = parse("/m=1 /m=0 /b=1 /b=0 /filter=*.fxs /filter=*.fxd /sd=o");
    EXPECT_EQ(p.settings.page_file_mode, 0);
    EXPECT_EQ(p.settings.bit_order, 0);
    EXPECT_EQ(p.job.filter, "*.fxd");
}

TEST(CommandLine, FilterIsNeverUnquoted) {
    EXPECT_EQ(parse("/filter=\"*.fxs\" /sd=o").job.filter, "\"*.fxs\"");
    EXPECT_EQ(parse("/FILTER=*.FXS /sd=o").job.filter, "*.FXS");
    EXPECT_EQ(parse("/sd=o").job.filter, "*.*");  // untouched
}

TEST(CommandLine, LogPath) {
    Parsed p = parse("/log=/var/Log/My.txt /sd=o");
    EXPECT_EQ(p.log_path, "/var/Log/My.txt");
    Parsed quoted = parse("/log=\"/x/my log.txt\" /sd=o");
    EXPECT_EQ(quoted.log_path, "/x/my log.txt");
    Parsed none = parse("/sd=o");
    EXPECT_EQ(none.log_path, "default.log");
}

TEST(CommandLine, ClearsFlagsButKeepsOtherSettings) {
    Parsed p;
    reset_batch_job(p.job);
    p.job.keep_file_times = p.job.quiet = p.job.keep_extension = 1;
    p.job.include_subfolders = p.job.keep_hierarchy = p.job.skip_existing = 1;
    p.job.job_mode = 2;
    p.job.source = "kept";
    p.settings.raw_mode = p.settings.recalculate_lines = 1;
    p.settings.bit_order = 2;
    p.settings.vertical_resolution = 400;
    p.settings.page_file_mode = 1;
    EXPECT_EQ(parse_command_line(nullptr, p.job, p.settings, p.log_path), kNoArgumentText);
    EXPECT_EQ(p.job.keep_file_times + p.job.quiet + p.job.keep_extension, 0);
    EXPECT_EQ(p.job.include_subfolders + p.job.keep_hierarchy + p.job.skip_existing, 0);
    EXPECT_EQ(p.job.job_mode, 0);
    EXPECT_EQ(p.settings.raw_mode + p.settings.recalculate_lines, 0);
    EXPECT_EQ(p.job.source, "kept");
    EXPECT_EQ(p.settings.bit_order, 2);
    EXPECT_EQ(p.settings.vertical_resolution, 400);
    EXPECT_EQ(p.settings.page_file_mode, 1);
}

// Each argument the system hands over one by one is one token: its value is the rest of it as
// it stands, so an argument can never add options of its own.
struct ArgumentsCase {
    const char* name;
    std::optional<std::vector<std::string>> arguments;
    int result;
    const char* source = "";
    const char* destination = "";
    const char* log = "default.log";
    int quiet = 0;
    int keep_hierarchy = 0;
    bool usage_printed = false;
};

TEST(Arguments, EachArgumentIsOneToken) {
    const ArgumentsCase cases[] = {
        {"none", std::nullopt, kNoArgumentText},
        {"one empty", std::vector<std::string>{""}, kEmptyArgumentText},
        {"blanks only", std::vector<std::string>{"   ", "\t"}, kCommandLineRejected, "", "",
         "default.log", 0, 0, true},
        {"spaces in values",
         std::vector<std::string>{"/d=/x/Fax In", "/sd=/y/PDF  Out", "/log=/z/a log.txt"},
         kCommandLineAccepted, "/x/Fax In", "/y/PDF  Out", "/z/a log.txt"},
        {"quotes are part of the value", std::vector<std::string>{"/d=\"/x/Fax In\"", "/sf=b.pdf"},
         kCommandLineAccepted, "\"/x/Fax In\"", "b.pdf"},
        {"a quote and a space inject nothing",
         std::vector<std::string>{"/d=Fax\" /log=victim.fxs /kh /q \"x", "/sd=out"},
         kCommandLineAccepted, "Fax\" /log=victim.fxs /kh /q \"x", "out"},
        {"option names in any case, values as typed",
         std::vector<std::string>{"/Q", "/SD=E:\\OUT", "/D=In"}, kCommandLineAccepted, "In",
         "E:\\OUT", "default.log", 1},
        {"a tab does not separate", std::vector<std::string>{"/q\t/kh", "/sf=x"},
         kCommandLineAccepted, "", "x"},
        {"later options win", std::vector<std::string>{"/sd=a", "/sf=b", "/kh", "/f=c", "/q"},
         kCommandLineAccepted, "c", "b", "default.log", 1, 1},
        {"empty save value", std::vector<std::string>{"/d=x", "/sd="}, kCommandLineRejected, "x"},
    };
    for (const ArgumentsCase& c : cases) {
        SCOPED_TRACE(c.name);
        Parsed p;
        reset_batch_job(p.job);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        p.result = parse_arguments(c.arguments, p.job, p.settings, p.log_path);
        p.out = testing::internal::GetCapturedStdout();
        p.err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(p.result, c.result);
        if (c.result == kNoArgumentText || c.result == kEmptyArgumentText)
            continue;
        EXPECT_EQ(p.job.source, c.source);
        EXPECT_EQ(p.job.destination, c.destination);
        EXPECT_EQ(p.log_path, c.log);
        EXPECT_EQ(p.job.quiet, c.quiet);
        EXPECT_EQ(p.job.keep_hierarchy, c.keep_hierarchy);
        EXPECT_EQ(p.out, c.usage_printed ? kUsage : "");
    }
}

// A desktop's "Open with" names files: they go to the window, quietly; a command-line run
// names them as ignored, as any other token that is no option.
TEST(Arguments, FilesNamedAloneAreTheWindows) {
    testsupport::TempDir dir;
    const std::string fax = dir.file("Feb In.fxs");
    ASSERT_TRUE(testsupport::write_file(fax, "fax"));
    struct FilesCase {
        const char* name;
        std::vector<std::string> arguments;
        int result;
        std::vector<std::string> files;
        std::string out;
        std::string err;
    };
    const FilesCase cases[] = {
        {"files alone", {fax, fax}, kCommandLineRejected, {fax, fax}, "", ""},
        {"with /relines", {"/relines", fax}, kCommandLineRejected, {fax}, "", ""},
        {"a missing file is no file",
         {dir.file("gone.fxs")},
         kCommandLineRejected,
         {},
         kUsage,
         unknown_option_lines(dir.file("gone.fxs"))},
        {"a folder is no file",
         {dir.path()},
         kCommandLineRejected,
         {},
         kUsage,
         unknown_option_lines(dir.path())},
        {"a command-line run",
         {fax, "/f=a.fxs", "/sf=a.pdf"},
         kCommandLineAccepted,
         {},
         "",
         "trelvane: unknown option '" + fax + "' ignored\n"},
    };
    for (const FilesCase& c : cases) {
        SCOPED_TRACE(c.name);
        Parsed p;
        reset_batch_job(p.job);
        std::vector<std::string> files;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        p.result = parse_arguments(c.arguments, p.job, p.settings, p.log_path, &files);
        p.out = testing::internal::GetCapturedStdout();
        p.err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(p.result, c.result);
        EXPECT_EQ(files, c.files);
        EXPECT_EQ(p.out, c.out);
        EXPECT_EQ(p.err, c.err);
    }
}

TEST(Arguments, ProgramArgumentsLeaveOutTheProgramName) {
    const char* argv[] = {"trelvane", "/d=a b", "\"/q\""};
    EXPECT_EQ(program_arguments(1, argv), std::nullopt);
    EXPECT_EQ(program_arguments(3, argv), (std::vector<std::string>{"/d=a b", "\"/q\""}));
}

TEST(BatchJob, ResetValues) {
    BatchJob job;
    job.quiet = 1;
    job.job_mode = 2;
    job.files = {"a"};
    job.log_text = "x";
    job.filter = "";
    job.keep_hierarchy = 1;
    job.copy_options = {1, 2, 3, 4, 5};
    reset_batch_job(job);
    EXPECT_EQ(job.filter, "*.*");
    EXPECT_TRUE(job.files.empty());
    EXPECT_TRUE(job.log_text.empty());
    EXPECT_EQ(job.keep_hierarchy, 0);
    EXPECT_EQ(job.copy_options.compression_choice, 6);
    EXPECT_EQ(job.copy_options.jpeg_quality, 75);
    EXPECT_EQ(job.copy_options.fill_order, 0);
    EXPECT_EQ(job.copy_options.tiled_output, -1);
    EXPECT_EQ(job.copy_options.append_output, 0);
    EXPECT_EQ(job.quiet, 1);  // left to the parser
    EXPECT_EQ(job.job_mode, 2);
}

// What Explorer hands trelvane.exe for selected fax files: the window takes them only when
// every word of the text names an existing file.
TEST(CommandLine, FilesNamedByAWindowsCommandText) {
    testsupport::TempDir dir;
    const std::string spaced = dir.file("My Fax 1.fxd");
    const std::string plain = dir.file("b.fxm");
    ASSERT_TRUE(testsupport::write_file(spaced, "fax"));
    ASSERT_TRUE(testsupport::write_file(plain, "fax"));
    struct Case {
        std::string text;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"\"" + spaced + "\" \"" + plain + "\"", {spaced, plain}},
        {"  " + plain + "\t\"" + spaced + "\"  ", {plain, spaced}},
        {plain, {plain}},
        {spaced, {}},  // unquoted, its words name no file
        {"/d=" + dir.path() + " /sd=" + dir.path(), {}},
        {"\"" + plain + "\" /l", {}},  // an option among them: a command line
        {"\"" + dir.file("gone.fxd") + "\"", {}},
        {"\"" + dir.path() + "\"", {}},  // a folder is not a file
        {"\"\"", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(files_named_by_text(c.text), c.files) << c.text;
    }
}

}  // namespace
}  // namespace trelvane::app
