#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/ini_file.h"
#include "support/temp_dir.h"

namespace trelvane::platform {
namespace {

using testsupport::read_file;
using testsupport::TempDir;
using testsupport::write_file;

TEST(IniFile, MissingFileSectionOrKeyGivesTheDefault) {
    TempDir dir;
    const std::string ini = dir.file("trelvane.ini");
    EXPECT_EQ(read_profile_string(ini, "Main", "FaxDir", "dflt"), "dflt");
    EXPECT_EQ(read_profile_int(ini, "Options", "CycleMinutes", 60), 60);

    ASSERT_TRUE(write_file(ini, "[Main]\nFaxDir=/in\n"));
    EXPECT_EQ(read_profile_string(ini, "Other", "FaxDir", "d"), "d");
    EXPECT_EQ(read_profile_string(ini, "Main", "SaveDir", "d"), "d");
    EXPECT_EQ(read_profile_int(ini, "Main", "Missing", 7), 7);
}

TEST(IniFile, NamesIgnoreCaseAndBlanksAroundThem) {
    TempDir dir;
    const std::string ini = dir.file("x.ini");
    ASSERT_TRUE(write_file(ini, "; comment\n[ main ]\r\n  faxdir = /My Faxes  \r\nKeepExt=1\r\n"));
    EXPECT_EQ(read_profile_string(ini, "MAIN", "FaxDir", ""), "/My Faxes");
    EXPECT_EQ(read_profile_int(ini, "Main", "KEEPEXT", 0), 1);
}

TEST(IniFile, QuotedValuesLoseTheirQuotes) {
    TempDir dir;
    const std::string ini = dir.file("x.ini");
    ASSERT_TRUE(write_file(ini, "[S]\na=\"  spaced  \"\nb='x'\nc=\"unbalanced\n"));
    EXPECT_EQ(read_profile_string(ini, "S", "a", ""), "  spaced  ");
    EXPECT_EQ(read_profile_string(ini, "S", "b", ""), "x");
    EXPECT_EQ(read_profile_string(ini, "S", "c", ""), "\"unbalanced");
}

TEST(IniFile, EveryWrittenValueReadsBackUnchanged) {
    TempDir dir;
    const std::string ini = dir.file("x.ini");
    for (const char* value : {"plain", R"("/My Faxes" "a b.fxs" "c.fxs")", "\"quoted\"", "'x'",
                              "  spaced  ", "\"half", "a \"b\" c", ""}) {
        ASSERT_TRUE(write_profile_string(ini, "S", "k", value)) << value;
        EXPECT_EQ(read_profile_string(ini, "S", "k", "missing"), value);
    }
}

TEST(IniFile, TheFirstSectionAndKeyOfANameCount) {
    TempDir dir;
    const std::string ini = dir.file("x.ini");
    ASSERT_TRUE(write_file(ini, "[S]\nk=first\nk=second\n[S]\nk=third\nj=other\n"));
    EXPECT_EQ(read_profile_string(ini, "S", "k", ""), "first");
    EXPECT_EQ(read_profile_string(ini, "S", "j", "none"), "none");
}

struct IntCase {
    const char* value;
    int expected;
};

class IniIntegerTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(IniIntegerTest, ReadsLeadingDecimalDigits) {
    TempDir dir;
    const std::string ini = dir.file("x.ini");
    ASSERT_TRUE(write_file(ini, std::string("[Options]\nCycleMinutes=") + GetParam().value + "\n"));
    EXPECT_EQ(read_profile_int(ini, "Options", "CycleMinutes", 60), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, IniIntegerTest,
                         ::testing::Values(IntCase{"15", 15}, IntCase{"007", 7},
                                           IntCase{"12abc", 12}, IntCase{"abc", 0}, IntCase{"", 0},
                                           IntCase{"  42  ", 42}, IntCase{"-5", 0},
                                           IntCase{"1.5", 1},
                                           IntCase{"99999999999999999999", 2147483647}));

TEST(IniFile, WritingCreatesTheFileWithSectionsInOrder) {
    TempDir dir;
    const std::string ini = dir.file("trelvane.ini");
    ASSERT_TRUE(write_profile_string(ini, "Main", "FaxDir", "/in"));
    ASSERT_TRUE(write_profile_string(ini, "Main", "SaveDir", ""));
    ASSERT_TRUE(write_profile_string(ini, "Options", "DirFile", "0"));
    ASSERT_TRUE(write_profile_string(ini, "Options", "Subdir", "1"));
    EXPECT_EQ(read_file(ini), "[Main]\nFaxDir=/in\nSaveDir=\n[Options]\nDirFile=0\nSubdir=1\n");
    EXPECT_EQ(read_profile_string(ini, "Main", "SaveDir", "default"), "");
    EXPECT_EQ(read_profile_int(ini, "Options", "Subdir", 0), 1);
}

TEST(IniFile, WritingUpdatesInPlaceAndKeepsTheRest) {
    TempDir dir;
    const std::string ini = dir.file("x.ini");
    const std::string before =
        "; my settings\r\n[Main]\r\nFaxDir = /old\r\nExtra=keep "
        "me\r\n\r\n[Options]\r\nKeepExt=1\r\n";
    ASSERT_TRUE(write_file(ini, before));
    ASSERT_TRUE(write_profile_string(ini, "main", "FAXDIR", "/new folder"));
    ASSERT_TRUE(write_profile_string(ini, "Main", "SaveDir", "/out"));
    ASSERT_TRUE(write_profile_string(ini, "Options", "Cyclely", "1"));
    EXPECT_EQ(read_file(ini),
              "; my settings\r\n[Main]\r\nFAXDIR=/new folder\r\nExtra=keep me\r\nSaveDir=/out\r\n"
              "\r\n[Options]\r\nKeepExt=1\r\nCyclely=1\r\n");
}

TEST(IniFile, WritingAFileWithoutFinalLineEnd) {
    TempDir dir;
    const std::string ini = dir.file("x.ini");
    ASSERT_TRUE(write_file(ini, "[A]\nk=1"));
    ASSERT_TRUE(write_profile_string(ini, "A", "k", "2"));
    EXPECT_EQ(read_file(ini), "[A]\nk=2");
    ASSERT_TRUE(write_profile_string(ini, "A", "j", "3"));
    EXPECT_EQ(read_file(ini), "[A]\nk=2\nj=3\n");
    ASSERT_TRUE(write_file(ini, "[A]\nk=1"));
    ASSERT_TRUE(write_profile_string(ini, "B", "x", "y"));
    EXPECT_EQ(read_file(ini), "[A]\nk=1\n[B]\nx=y\n");
}

TEST(IniFile, RefusesLineBreaksThatWouldChangeTheStructure) {
    TempDir dir;
    const std::string ini = dir.file("x.ini");
    ASSERT_TRUE(write_profile_string(ini, "Main", "FaxDir", "/in"));
    EXPECT_FALSE(write_profile_string(ini, "Main", "FaxDir", "/x\n[Evil]\nk=v"));
    EXPECT_FALSE(write_profile_string(ini, "Main", "Fax\rDir", "v"));
    EXPECT_FALSE(write_profile_string(ini, "Main", "", "v"));
    EXPECT_EQ(read_file(ini), "[Main]\nFaxDir=/in\n");
}

TEST(IniFile, ReplacesAtomicallyAndKeepsPermissions) {
    TempDir dir;
    const std::string ini = dir.file("x.ini");
    ASSERT_TRUE(write_file(ini, "[A]\nk=1\n"));
    ASSERT_EQ(chmod(ini.c_str(), 0640), 0);
    ASSERT_TRUE(write_profile_string(ini, "A", "k", "2"));
    struct stat st {};
    ASSERT_EQ(stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // Nothing but the file itself remains in the folder.
    size_t count = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
        ++count;
    EXPECT_EQ(count, 1u);
}

TEST(IniFile, WriteFailuresSayWhy) {
    TempDir dir;
    int error = 0;
    EXPECT_FALSE(write_profile_string(dir.file("no/such/x.ini"), "A", "k", "v", &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(write_profile_string(dir.file("x.ini"), "A", "k", "v\n[B]", &error));
    EXPECT_EQ(error, EINVAL);
    // An existing file too large to be read whole is never replaced.
    ASSERT_TRUE(write_file(dir.file("big.ini"), std::string(5u << 20, 'x')));
    EXPECT_FALSE(write_profile_string(dir.file("big.ini"), "A", "k", "v", &error));
    EXPECT_EQ(error, EFBIG);
    EXPECT_TRUE(write_profile_string(dir.file("x.ini"), "A", "k", "v", &error));
    EXPECT_EQ(error, 0);
}

}  // namespace
}  // namespace trelvane::platform
