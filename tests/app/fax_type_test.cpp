#include <gtest/gtest.h>

#include "faxread/fax_type.h"
#include "support/temp_dir.h"

namespace trelvane::faxread {
namespace {

using testsupport::TempDir;
using testsupport::write_file;

struct TypeCase {
    const char* path;
    FaxTypeCode code;
};

class ClassifyTable : public ::testing::TestWithParam<TypeCase> {};

TEST_P(ClassifyTable, ByExtension) {
    EXPECT_EQ(classify_fax_file(GetParam().path), GetParam().code) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    WinFax, ClassifyTable,
    ::testing::Values(TypeCase{"REPORT.FXD", 11}, TypeCase{"a.fxm", 11}, TypeCase{"a.Fxr", 11},
                      TypeCase{"a.fxs", 11}, TypeCase{"/in/sub/a.fxs", 11},
                      // The prefix rule: longer extensions match on their start.
                      TypeCase{"a.fxd2", 11}, TypeCase{"a.FXSbackup", 11},
                      // The last dot of the whole path counts, even in a folder name.
                      TypeCase{"/scans.fxd/page", 11}, TypeCase{"/scans.fxd/page.", 0},
                      TypeCase{"a.fx", 0}, TypeCase{"a.f", 0}, TypeCase{"a.", 0},
                      TypeCase{"a.fxd.pdf", 0}));

INSTANTIATE_TEST_SUITE_P(
    OtherFamilies, ClassifyTable,
    ::testing::Values(TypeCase{"a.tif", 16}, TypeCase{"a.TIF", 16}, TypeCase{"a.tiff", 16},
                      TypeCase{"a.fmf", 10}, TypeCase{"a.awd", 3}, TypeCase{"a.apf", 1},
                      TypeCase{"a.bfx", 4}, TypeCase{"a.dcx", 7}, TypeCase{"a.bmp", 5},
                      TypeCase{"a.cal", 6}, TypeCase{"a.cals", 6}, TypeCase{"a.cg4", 6},
                      TypeCase{"a.gp4", 6}, TypeCase{"a.img", 6}, TypeCase{"a.mil", 6},
                      TypeCase{"a.oda", 6}, TypeCase{"a.ras", 6}, TypeCase{"a.ig4", 13},
                      TypeCase{"a.qfx", 14}, TypeCase{"a.g3n", 17}, TypeCase{"a.ds", 8},
                      TypeCase{"a.dsx", 8}, TypeCase{"a.ed", 9}, TypeCase{"a.edit", 9},
                      TypeCase{"a.sft", 18}));

INSTANTIATE_TEST_SUITE_P(NonFax, ClassifyTable,
                         ::testing::Values(TypeCase{"a.txt", -2}, TypeCase{"a.DLL", -2},
                                           TypeCase{"a.sys", -2}, TypeCase{"a.bat", -2},
                                           TypeCase{"a.lnk", -2}, TypeCase{"a.zip", -2},
                                           TypeCase{"a.rar", -2}, TypeCase{"a.db", -2},
                                           TypeCase{"a.db3", -2}, TypeCase{"a.doc", 0},
                                           TypeCase{"a.pdf", 0}, TypeCase{"", 0}));

INSTANTIATE_TEST_SUITE_P(NoDot, ClassifyTable,
                         // Without any dot the last two characters stand in for the extension.
                         ::testing::Values(TypeCase{"/faxes/records", 8},
                                           TypeCase{"/faxes/shed", 9}, TypeCase{"/faxes/mydb", -2},
                                           TypeCase{"/faxes/report", 0}, TypeCase{"x", 0},
                                           TypeCase{"ds", 8}));

TEST(Classify, HugeExtensionsAreHarmless) {
    EXPECT_EQ(classify_fax_file("a.fxs" + std::string(100000, 'z')), 11);
    EXPECT_EQ(classify_fax_file("a." + std::string(100000, 'q')), 0);
}

TEST(Classify, G3fLooksAtTheFirstBytes) {
    TempDir dir;
    EXPECT_EQ(classify_fax_file(dir.file("missing.g3f")), 0);

    ASSERT_TRUE(write_file(dir.file("marker.g3f"), std::string("ab*\0rest", 8)));
    EXPECT_EQ(classify_fax_file(dir.file("marker.g3f")), 17);
    EXPECT_EQ(classify_fax_file(dir.file("marker.G3F")), 0);  // another (missing) file

    ASSERT_TRUE(write_file(dir.file("signed.g3f"), std::string("x") + kG3fSignature + "tail"));
    EXPECT_EQ(classify_fax_file(dir.file("signed.g3f")), 12);

    ASSERT_TRUE(write_file(dir.file("plain.g3f"), "just some bytes here"));
    EXPECT_EQ(classify_fax_file(dir.file("plain.g3f")), 0);

    // A file shorter than the bytes looked at reads as zero-filled.
    ASSERT_TRUE(write_file(dir.file("short.g3f"), "ab*"));
    EXPECT_EQ(sniff_g3f_file(dir.file("short.g3f")), 17);
    ASSERT_TRUE(write_file(dir.file("empty.g3f"), ""));
    EXPECT_EQ(sniff_g3f_file(dir.file("empty.g3f")), 0);
}

}  // namespace
}  // namespace trelvane::faxread
