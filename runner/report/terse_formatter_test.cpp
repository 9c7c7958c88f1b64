#include "runner/report/terse_formatter.hpp"

#include <gtest/gtest.h>

#include "runner/test_support/recording_output.hpp"

namespace runner {
namespace {

using std::chrono::milliseconds;

TestDesc named(std::string name) {
    TestDesc desc;
    desc.name = std::move(name);
    return desc;
}

class TerseFormatterTest : public ::testing::Test {
  protected:
    void make(bool use_color) {
        auto recording = std::make_unique<RecordingOutput>(use_color);
        out_ = recording.get();
        formatter_ = std::make_unique<TerseFormatter>(std::move(recording), use_color);
        state_.exec_time = TestSuiteExecTime{milliseconds{350}};
    }
    void SetUp() override { make(false); }

    void results(std::size_t count, const TestResult& result) {
        for (std::size_t i = 0; i < count; ++i) {
            ASSERT_TRUE(formatter_->write_result(named("c"), result, std::nullopt, "", state_));
        }
    }

    RecordingOutput* out_ = nullptr;
    std::unique_ptr<TerseFormatter> formatter_;
    ConsoleTestState state_;
};

// A line of marks ends with the progress after every 87, and the last line without.
TEST_F(TerseFormatterTest, TwoHundredChecksBreakAfterEvery87) {
    ASSERT_TRUE(formatter_->write_run_start(200, 7));
    results(200, result::Passed{});
    state_.total = state_.passed = 200;
    const auto verdict = formatter_->write_run_finish(state_);
    ASSERT_TRUE(verdict.has_value());
    EXPECT_TRUE(*verdict);
    EXPECT_EQ(out_->text, std::string{"\nrunning 200 tests (shuffle seed: 7)\n"} +
                              std::string(87, '.') + " 87/200\n" + std::string(87, '.') +
                              " 174/200\n" + std::string(26, '.') +
                              "\ntest result: ok. 200 passed; 0 failed; 0 ignored; 0 measured; 0 "
                              "filtered out; finished in 0.35s\n\n");
}

TEST_F(TerseFormatterTest, FailureEndsTheLineWithItsProgress) {
    ASSERT_TRUE(formatter_->write_run_start(13, std::nullopt));
    results(10, result::Passed{});
    ASSERT_TRUE(formatter_->write_result(named("bad"), result::Failed{}, std::nullopt, "", state_));
    // A failure at the start of a line writes no progress first.
    ASSERT_TRUE(formatter_->write_result(named("worse"), result::FailedWithMessage{"m"},
                                         std::nullopt, "", state_));
    results(1, result::Ignored{});
    ASSERT_TRUE(formatter_->write_timeout(named("slow")));
    EXPECT_EQ(out_->text, std::string{"\nrunning 13 tests\n"} + std::string(10, '.') +
                              " 10/13\nbad --- FAILED\nworse --- FAILED\n"
                              "itest slow has been running for over 60 seconds\n");
}

TEST_F(TerseFormatterTest, ColouredMarks) {
    make(true);
    results(1, result::Passed{});
    results(1, result::Ignored{});
    ASSERT_TRUE(
        formatter_->write_result(named("f"), result::FailedTimeLimit{}, std::nullopt, "", state_));
    EXPECT_EQ(out_->text, "<2>.</><3>i</> 2/0\nf --- <1>FAILED</>\n");
}

TEST_F(TerseFormatterTest, FailuresSectionListsOnlyOrdinaryFailures) {
    ASSERT_TRUE(formatter_->write_run_start(3, std::nullopt));
    state_.total = 3;
    state_.passed = 1;
    state_.failed = 2;
    state_.not_failures = {{named("good"), "said hello"}};
    state_.failures = {{named("z_bad"), "boom\n"}, {named("a_bad"), ""}};
    state_.time_failures = {{named("slow"), "tick"}};
    state_.show_output = true;
    out_->text.clear();
    auto verdict = formatter_->write_run_finish(state_);
    ASSERT_TRUE(verdict.has_value());
    EXPECT_FALSE(*verdict);
    EXPECT_EQ(out_->text,
              "\nsuccesses:\n\n---- good stdout ----\nsaid hello\n\nsuccesses:\n    good\n"
              "\nfailures:\n\n---- z_bad stdout ----\nboom\n\n\nfailures:\n    a_bad\n    z_bad\n"
              "\ntest result: FAILED. 1 passed; 2 failed; 0 ignored; 0 measured; 0 filtered out; "
              "finished in 0.35s\n\n");
}

}  // namespace
}  // namespace runner
