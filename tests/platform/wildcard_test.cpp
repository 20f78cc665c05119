#include <gtest/gtest.h>

#include "platform/directory.h"

namespace trelvane::platform {
namespace {

struct WildcardCase {
    const char* pattern;
    const char* name;
    bool matches;
};

class WildcardTest : public ::testing::TestWithParam<WildcardCase> {};

TEST_P(WildcardTest, MatchesLikeTheOriginalSystem) {
    const WildcardCase& c = GetParam();
    EXPECT_EQ(wildcard_match(c.pattern, c.name), c.matches)
        << "pattern '" << c.pattern << "' name '" << c.name << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Table, WildcardTest,
    ::testing::Values(
        // "*.*" matches every name, with or without a dot.
        WildcardCase{"*.*", "a.fxs", true}, WildcardCase{"*.*", "README", true},
        WildcardCase{"*.*", ".hidden", true}, WildcardCase{"*.*", "a.b.c", true},
        WildcardCase{"*", "anything.at.all", true}, WildcardCase{"*", "", true},
        // Extensions, case-insensitively.
        WildcardCase{"*.fxs", "a.fxs", true}, WildcardCase{"*.fxs", "A.FXS", true},
        WildcardCase{"*.FXS", "a.fxs", true}, WildcardCase{"*.fxs", "a.fxd", false},
        WildcardCase{"*.fxs", "a.fxs.pdf", false}, WildcardCase{"*.fxs", "fxs", false},
        WildcardCase{"*.fx?", "a.fxr", true}, WildcardCase{"*.fx?", "a.fx", false},
        // '?' stands for exactly one character.
        WildcardCase{"a?c", "abc", true}, WildcardCase{"a?c", "ac", false},
        WildcardCase{"a?c", "abbc", false}, WildcardCase{"???", "abc", true},
        // Stars anywhere, with backtracking.
        WildcardCase{"a*b*c", "aXXbYYc", true}, WildcardCase{"a*b*c", "aXXbYY", false},
        WildcardCase{"*ab", "aab", true}, WildcardCase{"*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaa", false},
        // "name.*" also matches the bare name without a dot.
        WildcardCase{"report.*", "report", true}, WildcardCase{"report.*", "report.fxd", true},
        WildcardCase{"report.*", "reports", false},
        // Letters beyond ASCII compare as bytes.
        WildcardCase{"\xC3\x84*", "\xC3\x84rger.fxs", true},
        WildcardCase{"\xC3\xA4*", "\xC3\x84rger.fxs", false},
        WildcardCase{"exact.fxs", "exact.fxs", true},
        WildcardCase{"exact.fxs", "exact.fxsx", false}));

TEST(WildcardTest, LongHostileNamesFinishQuickly) {
    // A naive recursive matcher takes exponential time here.
    std::string name(5000, 'a');
    std::string pattern;
    for (int i = 0; i < 40; ++i)
        pattern += "*a";
    pattern += "b";
    EXPECT_FALSE(wildcard_match(pattern, name));
}

}  // namespace
}  // namespace trelvane::platform
