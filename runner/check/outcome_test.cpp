#include "runner/check/outcome.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace runner {
namespace {

using namespace std::chrono_literals;

TestDesc desc_with(ShouldPanic should_panic) {
    TestDesc desc;
    desc.name = "group::check";
    desc.should_panic = std::move(should_panic);
    desc.test_kind = TestKind::Integration;
    return desc;
}

FailurePayload text_payload(std::string text) {
    return {std::move(text), "std::string"};
}

std::string failure_message(const TestResult& result) {
    const auto* failed = std::get_if<result::FailedWithMessage>(&result);
    return failed ? failed->message : "<not FailedWithMessage>";
}

TEST(CalcResult, NotExpectedToFailPassesOnlyWhenTheBodyEndsNormally) {
    const TestDesc desc = desc_with(ShouldPanic::no());
    EXPECT_TRUE(std::holds_alternative<result::Passed>(
        calc_result(desc, std::nullopt, std::nullopt, std::nullopt)));
    EXPECT_TRUE(std::holds_alternative<result::Failed>(
        calc_result(desc, text_payload("boom"), std::nullopt, std::nullopt)));
    EXPECT_TRUE(std::holds_alternative<result::Failed>(
        calc_result(desc, FailurePayload{std::nullopt, "int"}, std::nullopt, std::nullopt)));
}

TEST(CalcResult, ExpectedToFailPassesOnAnyFailure) {
    const TestDesc desc = desc_with(ShouldPanic::yes());
    EXPECT_TRUE(std::holds_alternative<result::Passed>(
        calc_result(desc, text_payload("anything"), std::nullopt, std::nullopt)));
    EXPECT_TRUE(std::holds_alternative<result::Passed>(
        calc_result(desc, FailurePayload{std::nullopt, "int"}, std::nullopt, std::nullopt)));
}

TEST(CalcResult, ExpectedTextMustBeContainedInTheMessage) {
    const TestDesc desc = desc_with(ShouldPanic::with_text("out of \"range\""));
    EXPECT_TRUE(std::holds_alternative<result::Passed>(calc_result(
        desc, text_payload("index out of \"range\" at 3"), std::nullopt, std::nullopt)));
    EXPECT_EQ(failure_message(
                  calc_result(desc, text_payload("other\tfailure"), std::nullopt, std::nullopt)),
              "panic did not contain expected string\n"
              "      panic message: \"other\\tfailure\"\n"
              " expected substring: \"out of \\\"range\\\"\"");
}

TEST(CalcResult, ExpectedTextWithPayloadWithoutText) {
    const TestDesc desc = desc_with(ShouldPanic::with_text("range"));
    EXPECT_EQ(failure_message(calc_result(desc, FailurePayload{std::nullopt, "int"}, std::nullopt,
                                          std::nullopt)),
              "expected panic with string value,\n"
              " found non-string value: `int`\n"
              "     expected substring: \"range\"");
}

TEST(CalcResult, ExpectedToFailButEndedNormallyNamesTheSourceWhenKnown) {
    TestDesc desc = desc_with(ShouldPanic::yes());
    EXPECT_EQ(failure_message(calc_result(desc, std::nullopt, std::nullopt, std::nullopt)),
              "test did not panic as expected");
    desc.source_path = "crates/x/tests/y.cpp";
    desc.start_line = 12;
    desc.start_col = 8;
    desc.should_panic = ShouldPanic::with_text("t");
    EXPECT_EQ(failure_message(calc_result(desc, std::nullopt, std::nullopt, std::nullopt)),
              "test did not panic as expected at crates/x/tests/y.cpp:12:8");
}

TEST(CalcResult, EnsureTimeFailsPassedChecksAtOrOverTheCriticalLimit) {
    const TestDesc desc = desc_with(ShouldPanic::no());
    TestTimeOptions ensure;
    ensure.error_on_excess = true;
    const auto critical = ensure.integration_threshold.critical;
    EXPECT_TRUE(std::holds_alternative<result::FailedTimeLimit>(
        calc_result(desc, std::nullopt, ensure, TestExecTime{critical})));
    EXPECT_TRUE(std::holds_alternative<result::Passed>(
        calc_result(desc, std::nullopt, ensure, TestExecTime{critical - 1ns})));
    // A failed check stays failed; without --ensure-time time never fails a check.
    EXPECT_TRUE(std::holds_alternative<result::Failed>(
        calc_result(desc, text_payload("x"), ensure, TestExecTime{critical})));
    TestTimeOptions report_only;
    EXPECT_TRUE(std::holds_alternative<result::Passed>(
        calc_result(desc, std::nullopt, report_only, TestExecTime{critical * 10})));
}

}  // namespace
}  // namespace runner
