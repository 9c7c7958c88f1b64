#include "runner/check/assert.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "runner/execution/capture.hpp"

namespace runner {
namespace {

enum class Shade { Light, Dark };
std::string debug_repr(Shade shade) {
    return shade == Shade::Light ? "Light" : "Dark";
}

// Runs `body`, which must fail an assertion; gives the failure message and the written report.
template <class Body>
std::pair<std::string, std::string> failure_of(Body body) {
    const CapturePtr capture = std::make_shared<CaptureBuffer>();
    const CapturePtr previous = set_output_capture(capture);
    std::string message = "<no failure>";
    try {
        body();
    } catch (const AssertionFailure& failure) {
        message = failure.message;
    }
    set_output_capture(previous);
    return {message, capture->take()};
}

TEST(DebugRender, RendersEachKindOfValue) {
    EXPECT_EQ(debug_render(std::uint32_t{0x8000003D}), "2147483709");
    EXPECT_EQ(debug_render(-7), "-7");
    EXPECT_EQ(debug_render(true), "true");
    EXPECT_EQ(debug_render(std::string_view{"Non\"Combat\n"}), "\"Non\\\"Combat\\n\"");
    EXPECT_EQ(debug_render(std::optional<std::string_view>{"NonCombat"}), "Some(\"NonCombat\")");
    EXPECT_EQ(debug_render(std::optional<std::string_view>{}), "None");
    EXPECT_EQ(debug_render(std::optional<Shade>{Shade::Dark}), "Some(Dark)");
    EXPECT_EQ(debug_render(std::vector<int>{1, 2}), "[1, 2]");
}

TEST(Assertions, MessageForms) {
    EXPECT_EQ(failure_of([] { assert_eq(1, 2); }).first,
              "assertion `left == right` failed\n  left: 1\n right: 2");
    EXPECT_EQ(failure_of([] { assert_eq(Shade::Light, Shade::Dark, "shade of 0x10"); }).first,
              "assertion `left == right` failed: shade of 0x10\n  left: Light\n right: Dark");
    EXPECT_EQ(failure_of([] { assert_ne(3, 3); }).first,
              "assertion `left != right` failed\n  left: 3\n right: 3");
    EXPECT_EQ(failure_of([] { assert_that(false, "no clothing tables"); }).first,
              "no clothing tables");
    EXPECT_EQ(failure_of([] { fail("plain failure"); }).first, "plain failure");
    const int count = 0;
    EXPECT_EQ(failure_of([&] { RUNNER_ASSERT(count > 0); }).first, "assertion failed: count > 0");
}

// Counts how often it is put into words.
struct CountedMessage {
    int* asked;
    std::string text() const {
        ++*asked;
        return "table 0x10000002";
    }
};

TEST(Assertions, DeferredMessageIsPutIntoWordsOnlyOnFailure) {
    int asked = 0;
    assert_eq(4, 4, CountedMessage{&asked});
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(failure_of([&] { assert_eq(4, 5, CountedMessage{&asked}); }).first,
              "assertion `left == right` failed: table 0x10000002\n  left: 4\n right: 5");
    EXPECT_EQ(asked, 1);
}

TEST(Assertions, PassingAssertionsWriteNothing) {
    EXPECT_EQ(failure_of([] {
                  assert_eq(std::optional<int>{4}, std::optional<int>{4});
                  assert_ne(1, 2);
                  assert_that(true, "unused");
              }).second,
              "");
}

TEST(Assertions, ReportNamesTheCallersLocation) {
    reset_first_failure_mark();
    const int line = __LINE__ + 1;
    const auto [message, report] = failure_of([] { assert_eq(1, 2); });
    const std::string expected_location =
        std::string{"panicked at runner/check/assert_test.cpp:"} + std::to_string(line) + ":";
    EXPECT_NE(report.find(expected_location), std::string::npos) << report;
    EXPECT_TRUE(report.starts_with("\nthread '")) << report;
    EXPECT_TRUE(report.ends_with(
        "assertion `left == right` failed\n  left: 1\n right: 2\n"
        "note: run with `ORRA_BACKTRACE=1` environment variable to display a backtrace\n"))
        << report;
}

TEST(Assertions, BacktraceInPlaceOfTheNoteWhenAskedFor) {
    reset_first_failure_mark();
    ::setenv("ORRA_BACKTRACE", "1", 1);
    const std::string short_trace = failure_of([] { fail("x"); }).second;
    ::setenv("ORRA_BACKTRACE", "full", 1);
    const std::string full_trace = failure_of([] { fail("x"); }).second;
    ::unsetenv("ORRA_BACKTRACE");
    for (const std::string& report : {short_trace, full_trace}) {
        EXPECT_NE(report.find("\nx\nstack backtrace:\n  0: "), std::string::npos) << report;
        EXPECT_EQ(report.find("ORRA_BACKTRACE=1"), std::string::npos) << report;
    }
    EXPECT_NE(short_trace.find("ORRA_BACKTRACE=full"), std::string::npos);
    EXPECT_EQ(full_trace.find("ORRA_BACKTRACE=full"), std::string::npos);
    // Backtraces did not use up the note of the first failure.
    EXPECT_NE(failure_of([] { fail("x"); }).second.find("ORRA_BACKTRACE=1"), std::string::npos);
}

}  // namespace
}  // namespace runner
