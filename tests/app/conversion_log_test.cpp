#include <unistd.h>

#include <regex>

#include <gtest/gtest.h>

#include "app/conversion_log.h"
#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace trelvane::app {
namespace {

using testsupport::read_file;
using testsupport::TempDir;

const std::string kSeparator = std::string(50, '-') + "\n";

TEST(ConversionLog, RecordLayout) {
    EXPECT_EQ(
        format_log_record("2009-04-30 17:05:09",
                          "Vuvod Trelvane command line mode : convert file\r\n"),
        "2009-04-30 17:05:09\nVuvod Trelvane command line mode : convert file\r\n" + kSeparator);
    EXPECT_EQ(format_log_record("2009-04-30 17:05:09", ""), "2009-04-30 17:05:09\n" + kSeparator);
}

TEST(ConversionLog, FirstRunCreatesTheLogFolder) {
    TempDir dir;
    const std::string log = dir.file("log/tvnlog.txt");
    append_log_record(log, "first\r\n");
    const std::string content = read_file(log);
    const std::regex layout("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\nfirst\r\n-{50}\n");
    EXPECT_TRUE(std::regex_match(content, layout)) << content;
}

TEST(ConversionLog, SecondRecordFollowsTheFirstSeparator) {
    TempDir dir;
    const std::string log = dir.file("tvnlog.txt");
    append_log_record(log, "one\r\n");
    append_log_record(log, "two\r\n");
    const std::string content = read_file(log);
    const std::regex layout(
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\none\r\n-{50}\n"
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\ntwo\r\n-{50}\n");
    EXPECT_TRUE(std::regex_match(content, layout)) << content;
}

TEST(ConversionLog, OnlyOneMissingFolderLevelIsCreated) {
    TempDir dir;
    append_log_record(dir.file("a/b/tvnlog.txt"), "lost\r\n");
    EXPECT_FALSE(platform::folder_exists(dir.file("a")));
    EXPECT_FALSE(platform::file_exists(dir.file("a/b/tvnlog.txt")));
}

TEST(ConversionLog, RelativePathInTheCurrentFolder) {
    TempDir dir;
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    append_log_record("relative.log", "r\r\n");
    const bool written = platform::file_exists(dir.file("relative.log"));
    ASSERT_EQ(chdir(old), 0);
    EXPECT_TRUE(written);
}

}  // namespace
}  // namespace trelvane::app
