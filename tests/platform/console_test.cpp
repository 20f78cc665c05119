#include <gtest/gtest.h>

#include "platform/console.h"

namespace trelvane::platform {
namespace {

TEST(Console, ReportUsesTheSystemsLineEnds) {
    testing::internal::CaptureStdout();
    show_report("Vuvod Trelvane command line mode : convert file\r\na --> b : Success !\r\n");
    show_report("no end");
    show_report("");
    show_report("lone\rcarriage\r\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Vuvod Trelvane command line mode : convert file\na --> b : Success !\nno end\n"
              "lone\rcarriage\n");
}

TEST(Console, ErrorBoxesGoToStandardErrorWithTheirCaption) {
    testing::internal::CaptureStderr();
    show_error("ERROR Save Folder", "Please set save folder");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR Save Folder: Please set save folder\n");
}

}  // namespace
}  // namespace trelvane::platform
