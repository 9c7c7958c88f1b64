#include "runner/cli.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace runner {
namespace {

TEST(ParseOpts, OptionErrorIsGivenBackAsText) {
    const auto result = parse_opts({"prog", "--test-threads", "0"});
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(),
              "argument for --test-threads must be a number > 0 (error: number would be zero for "
              "non-zero type)");
}

TEST(ParseOpts, HelpGoesToStandardOutput) {
    testing::internal::CaptureStdout();
    const auto result = parse_opts({"./clothing_parity", "--help"});
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(result->has_value());
    EXPECT_THAT(out, testing::StartsWith("Usage: ./clothing_parity [OPTIONS] [FILTERS...]\n"));
}

// A bad variable value is not an option error: the main thread fails with status 101.
TEST(ParseOptsDeathTest, BadSeedVariableFailsTheMainThread) {
    EXPECT_EXIT(
        {
            setenv("ORRAC_BOOTSTRAP", "1", 1);
            setenv("ORRA_TEST_SHUFFLE_SEED", "x", 1);
            (void)parse_opts({"prog", "-Zunstable-options"});
        },
        testing::ExitedWithCode(101),
        "thread 'main' \\([0-9]+\\) panicked at .*\nORRA_TEST_SHUFFLE_SEED is `x`, should be a "
        "number.\n");
}

TEST(ParseOptsDeathTest, BadTimeVariableFailsTheMainThread) {
    EXPECT_EXIT(
        {
            setenv("ORRAC_BOOTSTRAP", "1", 1);
            setenv("ORRA_TEST_TIME_UNIT", "9,1", 1);
            (void)parse_opts({"prog", "-Zunstable-options", "--report-time"});
        },
        testing::ExitedWithCode(101),
        "Test execution warn time should be less or equal to the critical time\n");
}

}  // namespace
}  // namespace runner
