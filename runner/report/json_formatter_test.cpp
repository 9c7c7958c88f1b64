#include "runner/report/json_formatter.hpp"

#include <gtest/gtest.h>

#include "runner/test_support/recording_output.hpp"

namespace runner {
namespace {

using std::chrono::nanoseconds;

TestDesc named(std::string name) {
    TestDesc desc;
    desc.name = std::move(name);
    return desc;
}

class JsonFormatterTest : public ::testing::Test {
  protected:
    JsonFormatterTest() {
        auto recording = std::make_unique<RecordingOutput>(true);
        out_ = recording.get();
        formatter_ = std::make_unique<JsonFormatter>(std::move(recording));
    }

    std::string take() { return std::exchange(out_->text, {}); }

    RecordingOutput* out_;
    std::unique_ptr<JsonFormatter> formatter_;
    ConsoleTestState state_;
};

TEST_F(JsonFormatterTest, RunRecords) {
    ASSERT_TRUE(formatter_->write_run_start(4, std::nullopt));
    EXPECT_EQ(take(), "{ \"type\": \"suite\", \"event\": \"started\", \"test_count\": 4 }\n");
    ASSERT_TRUE(formatter_->write_run_start(1, 42));
    EXPECT_EQ(take(),
              "{ \"type\": \"suite\", \"event\": \"started\", \"test_count\": 1, "
              "\"shuffle_seed\": 42 }\n");
    ASSERT_TRUE(formatter_->write_test_start(named("a::b")));
    EXPECT_EQ(take(), "{ \"type\": \"test\", \"event\": \"started\", \"name\": \"a::b\" }\n");
    ASSERT_TRUE(formatter_->write_timeout(named("a::b")));
    EXPECT_EQ(take(), "{ \"type\": \"test\", \"event\": \"timeout\", \"name\": \"a::b\" }\n");
}

TEST_F(JsonFormatterTest, OutcomeRecords) {
    TestDesc ignored = named("skipped");
    ignored.ignore_message = "not today";
    const std::optional<TestExecTime> time = TestExecTime{nanoseconds{1'500'000'000}};
    struct Case {
        TestDesc desc;
        TestResult result;
        std::optional<TestExecTime> time;
        std::string_view output;
        bool show_output;
        std::string_view line;
    };
    const Case cases[] = {
        {named("a"), result::Passed{}, std::nullopt, "", false,
         R"({ "type": "test", "name": "a", "event": "ok" })"},
        {named("a"), result::Passed{}, time, "hidden\n", false,
         R"({ "type": "test", "name": "a", "event": "ok", "exec_time": 1.5 })"},
        {named("a"), result::Passed{}, std::nullopt, "shown\n", true,
         R"({ "type": "test", "name": "a", "event": "ok", "stdout": "shown\n" })"},
        {named("q\"t\tn"), result::Failed{}, std::nullopt, "out\x01", false,
         R"({ "type": "test", "name": "q\"t\tn", "event": "failed", "stdout": "out\u0001" })"},
        {named("m"), result::FailedWithMessage{"no \"panic\""}, time, "", false,
         R"({ "type": "test", "name": "m", "event": "failed", "exec_time": 1.5, "message": "no \"panic\"" })"},
        {named("t"), result::FailedTimeLimit{}, time, "x", false,
         R"({ "type": "test", "name": "t", "event": "failed", "exec_time": 1.5, "stdout": "x", "reason": "time limit exceeded" })"},
        {named("i"), result::Ignored{}, std::nullopt, "", false,
         R"({ "type": "test", "name": "i", "event": "ignored" })"},
        {ignored, result::Ignored{}, std::nullopt, "", false,
         R"({ "type": "test", "name": "skipped", "event": "ignored", "message": "not today" })"},
        {named("b"), result::Measured{BenchSamples{9000, 1234.7, 56.2, 0}}, std::nullopt, "", false,
         R"({ "type": "bench", "name": "b", "median": 1234, "deviation": 56 })"},
        {named("b"), result::Measured{BenchSamples{9000, 1234, 56, 7}}, std::nullopt, "", false,
         R"({ "type": "bench", "name": "b", "median": 1234, "deviation": 56, "mib_per_second": 7 })"},
    };
    for (const Case& c : cases) {
        state_.show_output = c.show_output;
        ASSERT_TRUE(formatter_->write_result(c.desc, c.result, c.time, c.output, state_));
        EXPECT_EQ(take(), std::string{c.line} + "\n");
    }
}

TEST_F(JsonFormatterTest, RunEndRecordGivesTheVerdict) {
    state_.passed = 3;
    state_.ignored = 1;
    state_.filtered_out = 2;
    auto verdict = formatter_->write_run_finish(state_);
    ASSERT_TRUE(verdict.has_value());
    EXPECT_TRUE(*verdict);
    EXPECT_EQ(take(),
              R"({ "type": "suite", "event": "ok", "passed": 3, "failed": 0, "ignored": 1, )"
              R"("measured": 0, "filtered_out": 2 })"
              "\n");
    state_.failed = 1;
    state_.exec_time = TestSuiteExecTime{nanoseconds{350'000'000}};
    verdict = formatter_->write_run_finish(state_);
    ASSERT_TRUE(verdict.has_value());
    EXPECT_FALSE(*verdict);
    EXPECT_EQ(take(),
              R"({ "type": "suite", "event": "failed", "passed": 3, "failed": 1, "ignored": 1, )"
              R"("measured": 0, "filtered_out": 2, "exec_time": 0.35 })"
              "\n");
}

TEST_F(JsonFormatterTest, DiscoveryRecords) {
    TestDesc desc = named("tests::one");
    desc.source_path = "crates/x\\y.cpp";
    desc.start_line = 10;
    desc.start_col = 4;
    desc.end_line = 12;
    desc.end_col = 5;
    TestDesc ignored = named("two");
    ignored.ignore = true;
    ignored.ignore_message = "slow \"one\"";
    ASSERT_TRUE(formatter_->write_discovery_start());
    ASSERT_TRUE(formatter_->write_test_discovered(desc, "test"));
    ASSERT_TRUE(formatter_->write_test_discovered(ignored, "benchmark"));
    ConsoleTestDiscoveryState counts;
    counts.tests = 1;
    counts.benchmarks = 1;
    counts.ignored = 1;
    ASSERT_TRUE(formatter_->write_discovery_finish(counts));
    EXPECT_EQ(
        take(),
        R"({ "type": "suite", "event": "discovery" })"
        "\n"
        R"({ "type": "test", "event": "discovered", "name": "tests::one", "ignore": false, )"
        R"("ignore_message": "", "source_path": "crates/x\\y.cpp", "start_line": 10, )"
        R"("start_col": 4, "end_line": 12, "end_col": 5 })"
        "\n"
        R"({ "type": "benchmark", "event": "discovered", "name": "two", "ignore": true, )"
        R"("ignore_message": "slow \"one\"", "source_path": "", "start_line": 0, )"
        R"("start_col": 0, "end_line": 0, "end_col": 0 })"
        "\n"
        R"({ "type": "suite", "event": "completed", "tests": 1, "benchmarks": 1, "total": 2, "ignored": 1 })"
        "\n");
}

}  // namespace
}  // namespace runner
