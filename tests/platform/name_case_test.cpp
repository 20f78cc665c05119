// Names compared as an NTFS folder compares them.
#include "platform/name_case.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace trelvane::platform {
namespace {

TEST(NameCase, KeysAreTheUpperCasedNames) {
    struct Case {
        const char* name;
        const char* key;
    };
    const Case cases[] = {
        {"invoice.fxs", "INVOICE.FXS"},
        {"Invoice (2).PDF", "INVOICE (2).PDF"},
        {"\xc3\xa9t\xc3\xa9", "\xc3\x89T\xc3\x89"},  // été
        {"\xd0\xb0\xd0\xb1", "\xd0\x90\xd0\x91"},    // Cyrillic аб
        {"\xc4\xb1", "I"},                           // dotless i, as NTFS maps it
        {"stra\xc3\x9f"
         "e",
         "STRA\xc3\x9f"
         "E"},                                       // ß has no one-letter capital
        {"a\xff\xc3(b", "A\xff\xc3(B"},              // not UTF-8: bytes kept
        {"\xe0\x80\xaf", "\xe0\x80\xaf"},            // overlong: kept
        {"\xf0\x9f\x98\x80x", "\xf0\x9f\x98\x80X"},  // beyond the first plane
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(name_case_key(c.name), c.key) << c.name;
}

TEST(NameCase, ListedInNtfsOrder) {
    // Upper-cased, '_' (5F) follows the capital letters; case alone is decided by the bytes.
    const std::vector<std::string> expected = {"A.fxs",
                                               "a2.fxs",
                                               "b.fxs",
                                               "Same.fxs",
                                               "same.fxs",
                                               "Z.fxs",
                                               "_x.fxs",
                                               "\xc3\xa9"
                                               "a.fxs",
                                               "\xc3\x89"
                                               "b.fxs"};
    std::vector<std::string> names = expected;
    std::reverse(names.begin(), names.end());
    std::sort(names.begin(), names.end(), listed_before);
    EXPECT_EQ(names, expected);
    for (const std::string& name : expected)
        EXPECT_FALSE(listed_before(name, name));
}

}  // namespace
}  // namespace trelvane::platform
