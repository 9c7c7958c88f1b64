#include "runner/terminal/terminfo_param.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace runner {
namespace {

// The setaf string of xterm-256color.
constexpr std::string_view XTERM_SETAF =
    "\x1b[%?%p1%{8}%<%t3%p1%d%e%p1%{16}%<%t9%p1%{8}%-%d%e38;5;%p1%d%;m";

std::expected<std::string, std::string> expand(std::string_view cap,
                                               std::vector<TermParam> params) {
    TermVariables vars;
    return expand_capability(cap, params, vars);
}

TEST(TerminfoParam, ExpandsCapabilities) {
    struct Case {
        std::string_view cap;
        std::vector<TermParam> params;
        std::string expected;
    };
    const Case cases[] = {
        {XTERM_SETAF, {2}, "\x1b[32m"},
        {XTERM_SETAF, {9}, "\x1b[91m"},
        {XTERM_SETAF, {200}, "\x1b[38;5;200m"},
        {"\x1b[3%p1%dm", {6}, "\x1b[36m"},
        {"\x1b(B\x1b[m", {}, "\x1b(B\x1b[m"},
        {"100%%", {}, "100%"},
        {"%i%p1%d;%p2%d;%p3%d", {4, 9, 1}, "5;10;1"},
        {"%p1%c%'A'%c", {66}, "BA"},
        {"%p1%s|%p1%l%d", {std::string{"abc"}}, "abc|3"},
        {"%{7}%{3}%+%d %{7}%{3}%*%d %{7}%{3}%/%d %{7}%{3}%m%d %{3}%{7}%-%d", {}, "10 21 2 1 -4"},
        {"%{6}%{3}%&%d %{6}%{3}%|%d %{6}%{3}%^%d %{0}%~%d", {}, "2 7 5 -1"},
        {"%{1}%{2}%=%d%{1}%{2}%<%d%{1}%{2}%>%d%{0}%!%d%{1}%{0}%A%d%{1}%{0}%O%d", {}, "010101"},
        {"%p1%Pa%ga%ga%+%d", {21}, "42"},
        {"%?%p1%t%?%p2%tboth%eone%;%eneither%;", {1, 0}, "one"},
        {"%?%p1%t%?%p2%tboth%eone%;%eneither%;", {0, 1}, "neither"},
        {"%?%p1%{1}%=%ta%e%p1%{2}%=%tb%ec%;", {2}, "b"},
        {"%?%p1%t%'%'%c%;x", {0}, "x"},
        {"[%p1%3d][%p1%:-3d][%p1%03x][%p1%X][%p1%o]", {10}, "[ 10][10 ][00a][A][12]"},
        {"%p1%d", {}, "0"},
    };
    for (const Case& c : cases) {
        auto expanded = expand(c.cap, c.params);
        ASSERT_TRUE(expanded.has_value()) << c.cap << ": " << expanded.error();
        EXPECT_EQ(*expanded, c.expected) << c.cap;
    }
}

TEST(TerminfoParam, StaticVariablesOutliveOneExpansion) {
    TermVariables vars;
    std::vector<TermParam> five{5};
    ASSERT_TRUE(expand_capability("%p1%PZ%p1%Pz", five, vars).has_value());
    EXPECT_EQ(expand_capability("%gZ%d", {}, vars).value(), "5");
    EXPECT_EQ(expand_capability("%gz%d", {}, vars).value(), "0");
}

TEST(TerminfoParam, MalformedCapabilitiesGiveErrors) {
    struct Case {
        std::string_view cap;
        std::string error;
    };
    const Case cases[] = {
        {"%d", "stack underflow"},
        {"%+", "stack underflow"},
        {"%{1}%{0}%/", "division by zero"},
        {"%{1}%{0}%m", "division by zero"},
        {"abc%", "capability ends inside a % sequence"},
        {"%p0", "%p needs a parameter number from 1 to 9"},
        {"%p", "%p needs a parameter number from 1 to 9"},
        {"%{12", "malformed integer constant"},
        {"%{}", "malformed integer constant"},
        {"%{99999999999}", "integer constant out of range"},
        {"%'a", "malformed character constant"},
        {"%P1", "a variable name from a to z or A to Z was expected"},
        {"%p1%s", "a string was expected, found a number"},
        {"%z", "unrecognized format option z"},
        {"%p1%99999d", "field width out of range"},
    };
    for (const Case& c : cases) {
        auto expanded = expand(c.cap, {1});
        ASSERT_FALSE(expanded.has_value()) << c.cap;
        EXPECT_EQ(expanded.error(), c.error) << c.cap;
    }
}

}  // namespace
}  // namespace runner
