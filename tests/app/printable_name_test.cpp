#include <gtest/gtest.h>

#include "app/printable_name.h"

namespace trelvane::app {
namespace {

// Control characters of any kind come out as escapes; everything a reader should see as it
// stands (backslashes, UTF-8 text) does.
TEST(PrintableName, ControlCharactersAreEscaped) {
    const struct {
        std::string name;
        std::string shown;
    } cases[] = {
        {"/faxes/a.fxs", "/faxes/a.fxs"},
        {"C:\\Faxes\\In\\a.fxs", "C:\\Faxes\\In\\a.fxs"},
        {"x\r\nTotal converted FAX files: 7.fxs", "x\\r\\nTotal converted FAX files: 7.fxs"},
        {"\x1b[2Jred.fxs", "\\x1B[2Jred.fxs"},
        {"tab\there", "tab\\there"},
        {std::string("nul\0x", 5), "nul\\x00x"},
        {"del\x7f", "del\\x7F"},
        {"B\xc3\xbcro \xe2\x82\xac \xf0\x9f\x93\xa0", "B\xc3\xbcro \xe2\x82\xac \xf0\x9f\x93\xa0"},
        {"csi\xc2\x9b"
         "2J",
         "csi\\xC2\\x9B2J"},  // U+009B, a C1 control
        {"latin1 \xe9t\xe9", "latin1 \\xE9t\\xE9"},
        {"cut \xe2\x82", "cut \\xE2\\x82"},
        {"overlong \xc0\xaf", "overlong \\xC0\\xAF"},
        {"surrogate \xed\xa0\x80", "surrogate \\xED\\xA0\\x80"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printable_name(c.name), c.shown) << c.shown;
}

}  // namespace
}  // namespace trelvane::app
