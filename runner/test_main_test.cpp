#include "runner/test_main.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>

namespace runner {
namespace {

TEST(AssertTestResult, ZeroIsSuccessAnythingElseAnErrorText) {
    EXPECT_TRUE(assert_test_result().has_value());
    EXPECT_TRUE(assert_test_result(0).has_value());
    EXPECT_EQ(assert_test_result(-3).error(),
              "the test returned a termination value with a non-zero status code (-3) which "
              "indicates a failure");
}

TEST(ProcessArguments, StartWithTheProgramsOwnPath) {
    const std::vector<std::string> arguments = process_arguments();
    ASSERT_FALSE(arguments.empty());
    EXPECT_THAT(arguments.front(), ::testing::HasSubstr("runner_tests"));
}

TEST(TestMainStaticDeathTest, RefusesEntriesThatAreNotPlainFunctions) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const TestDescAndFn dynamic{TestDesc{}, DynTestFn{[] { return TestOutcome{}; }}};
    const std::array<const TestDescAndFn*, 1> registry{&dynamic};
    EXPECT_EXIT(test_main_static(registry), ::testing::ExitedWithCode(101),
                ::testing::HasSubstr("non-static tests passed to test::test_main_static\n"));
}

}  // namespace
}  // namespace runner
