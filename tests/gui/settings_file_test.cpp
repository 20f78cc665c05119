// The settings file as the window reads and writes it, checked through the file's text.
#include "app/settings_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "support/temp_dir.h"

namespace trelvane::app {
namespace {

using testsupport::TempDir;

TEST(SettingsFile, MissingFileGivesTheDefaults) {
    TempDir dir;
    const std::string ini = dir.file("trelvane.ini");
    const SavedFolders folders = read_saved_folders(ini);
    EXPECT_EQ(folders.fax_dir, "");
    EXPECT_EQ(folders.save_dir, "");

    const SavedOptions options = read_saved_options(ini, 0);
    EXPECT_EQ(options.convert_mode, 0);
    EXPECT_EQ(options.subdir, 0);
    EXPECT_EQ(options.hierarchy, 0);
    EXPECT_EQ(options.keep_date, 0);
    EXPECT_EQ(options.keep_ext, 1);
    EXPECT_EQ(options.recalculate, 0);
    EXPECT_EQ(options.cycle_enabled, 0);
    EXPECT_EQ(options.cycle_minutes, 60);
    EXPECT_EQ(options.parallel_jobs, default_parallel_jobs());
}

TEST(SettingsFile, RecalculateDefaultsToTheCommandLineChoiceOnlyWhenTheKeyIsMissing) {
    TempDir dir;
    const std::string ini = dir.file("trelvane.ini");
    EXPECT_EQ(read_saved_options(ini, 1).recalculate, 1);
    ASSERT_TRUE(testsupport::write_file(ini, "[Options]\r\nRecaculate=0\r\n"));
    EXPECT_EQ(read_saved_options(ini, 1).recalculate, 0);
}

TEST(SettingsFile, NewFileHoldsMainThenOptionsWithTheKeysInOrder) {
    TempDir dir;
    const std::string ini = dir.file("trelvane.ini");
    SavedOptions options;
    options.convert_mode = 1;
    options.keep_date = 1;
    options.keep_ext = 0;
    options.recalculate = 1;
    options.cycle_minutes = 15;
    options.parallel_jobs = 3;
    ASSERT_TRUE(write_saved_folders(ini, {"/srv/fax in", ""}));
    ASSERT_TRUE(write_saved_options(ini, options));

    const std::string text = testsupport::read_file(ini);
    const char* expected_order[] = {
        "[Main]",    "FaxDir=/srv/fax in", "SaveDir=",      "[Options]", "DirFile=1",
        "Subdir=0",  "Hiberarchy=0",       "KeepDate=1",    "KeepExt=0", "Recaculate=1",
        "Cyclely=0", "CycleMinutes=15",    "ParallelJobs=3"};
    size_t position = 0;
    for (const char* line : expected_order) {
        const size_t found = text.find(line, position);
        ASSERT_NE(found, std::string::npos) << line << " missing or out of order in:\n" << text;
        position = found + 1;
    }

    const SavedFolders folders = read_saved_folders(ini);
    EXPECT_EQ(folders.fax_dir, "/srv/fax in");
    EXPECT_EQ(folders.save_dir, "");
    const SavedOptions back = read_saved_options(ini, 0);
    EXPECT_EQ(back.convert_mode, 1);
    EXPECT_EQ(back.keep_date, 1);
    EXPECT_EQ(back.keep_ext, 0);
    EXPECT_EQ(back.recalculate, 1);
    EXPECT_EQ(back.cycle_minutes, 15);
    EXPECT_EQ(back.parallel_jobs, 3);
}

TEST(SettingsFile, RewritingKeepsOtherSectionsAndUpdatesInPlace) {
    TempDir dir;
    const std::string ini = dir.file("trelvane.ini");
    ASSERT_TRUE(testsupport::write_file(ini, "[Other]\nKey=kept\n[Main]\nFaxDir=/old\n"));
    ASSERT_TRUE(write_saved_folders(ini, {"/new", "/out"}));
    ASSERT_TRUE(write_saved_folders(ini, {"/newer", "/out"}));
    const std::string text = testsupport::read_file(ini);
    EXPECT_NE(text.find("Key=kept"), std::string::npos);
    EXPECT_EQ(text.find("/old"), std::string::npos);
    EXPECT_EQ(text.find("FaxDir=/new\n"), std::string::npos);
    EXPECT_EQ(read_saved_folders(ini).fax_dir, "/newer");
}

TEST(SettingsFile, NonNumbersReadAsZeroAndLongFoldersAreCut) {
    TempDir dir;
    const std::string ini = dir.file("trelvane.ini");
    const std::string long_folder = "/" + std::string(300, 'a');
    ASSERT_TRUE(testsupport::write_file(
        ini, "[main]\nfaxdir=" + long_folder + "\n[OPTIONS]\nKeepExt=yes\nCycleMinutes=7x\n"));
    EXPECT_EQ(read_saved_folders(ini).fax_dir, long_folder.substr(0, kMaxSavedFolderLength));
    const SavedOptions options = read_saved_options(ini, 0);
    EXPECT_EQ(options.keep_ext, 0);
    EXPECT_EQ(options.cycle_minutes, 7);
}

// An installed program's settings folder does not exist before the first save.
TEST(SettingsFile, AMissingFolderIsMadeAndAnUnusableOneIsReportedWithItsReason) {
    TempDir dir;
    const std::string ini = dir.file("config/trelvane/trelvane.ini");
    int error = -1;
    EXPECT_TRUE(write_saved_folders(ini, {"/a", "/b"}, &error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(read_saved_folders(ini).save_dir, "/b");

    ASSERT_TRUE(testsupport::write_file(dir.file("blocked"), "a file"));
    const std::string blocked = dir.file("blocked/trelvane/trelvane.ini");
    EXPECT_FALSE(write_saved_folders(blocked, {"/a", "/b"}, &error));
    EXPECT_EQ(error, ENOTDIR);
    error = 0;
    EXPECT_FALSE(write_saved_options(blocked, SavedOptions{}, &error));
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_EQ(read_saved_options(blocked, 0).cycle_minutes, 60);
}

}  // namespace
}  // namespace trelvane::app
