#include "runner/report/console.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "runner/check/assert.hpp"
#include "runner/check/panic.hpp"
#include "runner/test_support/recording_output.hpp"
#include "runner/test_support/test_helpers.hpp"

namespace runner {
namespace {

using testing::check;
using testing::mask_variable_parts;
using testing::serial_opts;

struct ConsoleRun {
    bool passed;
    std::string report;
};

ConsoleRun run_console(const TestOpts& opts, std::vector<TestDescAndFn> tests) {
    std::string report;
    auto passed =
        run_tests_console(opts, std::move(tests), std::make_unique<RecordingOutput>(report));
    EXPECT_TRUE(passed.has_value());
    return {passed.value_or(false), mask_variable_parts(report)};
}

TestOutcome quiet_pass() {
    return {};
}

TEST(PrettyReport, PassingRunSingleThreaded) {
    std::vector tests{check("alpha",
                            [] {
                                std::cout << "captured, not shown\n";
                                return quiet_pass();
                            }),
                      check("beta::gamma", quiet_pass)};
    const ConsoleRun run = run_console(serial_opts(), std::move(tests));
    EXPECT_TRUE(run.passed);
    EXPECT_EQ(run.report,
              "\nrunning 2 tests\n"
              "test alpha ... ok\n"
              "test beta::gamma ... ok\n"
              "\ntest result: ok. 2 passed; 0 failed; 0 ignored; 0 measured; 0 filtered out; "
              "finished in <time>s\n\n");
}

TEST(PrettyReport, FailingRunListsTheFailureWithItsReport) {
    reset_first_failure_mark();
    int assert_line = 0;
    const std::optional<std::string_view> absent;
    std::vector tests{check("group::fails",
                            [&] {
                                std::cout << "before\n";
                                assert_line = __LINE__ + 1;
                                assert_eq(std::optional<std::string_view>{"Jump"}, absent);
                                return quiet_pass();
                            }),
                      check("group::passes", quiet_pass)};
    TestOpts opts = serial_opts();
    opts.filters = {"group"};
    const ConsoleRun run = run_console(opts, std::move(tests));
    EXPECT_FALSE(run.passed);
    EXPECT_EQ(run.report,
              "\nrunning 2 tests\n"
              "test group::fails ... FAILED\n"
              "test group::passes ... ok\n"
              "\nfailures:\n\n"
              "---- group::fails stdout ----\n"
              "before\n"
              "\nthread 'group::fails' (<id>) panicked at runner/report/console_test.cpp:" +
                  std::to_string(assert_line) +
                  // g++ places a call's column at its opening parenthesis.
                  ":42:\n"
                  "assertion `left == right` failed\n"
                  "  left: Some(\"Jump\")\n"
                  " right: None\n"
                  "note: run with `ORRA_BACKTRACE=1` environment variable to display a backtrace\n"
                  "\n"
                  "\nfailures:\n"
                  "    group::fails\n"
                  "\ntest result: FAILED. 1 passed; 1 failed; 0 ignored; 0 measured; 0 filtered "
                  "out; finished in <time>s\n\n");
}

TEST(PrettyReport, BacktraceNoteOnlyForTheFirstFailureOfTheProcess) {
    reset_first_failure_mark();
    const auto failing = [] {
        fail("down");
        return quiet_pass();
    };
    const ConsoleRun run =
        run_console(serial_opts(), {check("first", failing), check("second", failing)});
    const std::string note = "note: run with `ORRA_BACKTRACE=1`";
    const std::size_t first = run.report.find("---- first stdout ----");
    const std::size_t second = run.report.find("---- second stdout ----");
    ASSERT_NE(second, std::string::npos);
    const std::size_t note_at = run.report.find(note);
    EXPECT_GT(note_at, first);
    EXPECT_LT(note_at, second);
    EXPECT_EQ(run.report.find(note, note_at + 1), std::string::npos) << run.report;
}

TEST(PrettyReport, NoCheckSelected) {
    TestOpts opts = serial_opts();
    opts.filters = {"nothing matches"};
    const ConsoleRun run = run_console(opts, {check("a", quiet_pass), check("b", quiet_pass)});
    EXPECT_TRUE(run.passed);
    EXPECT_EQ(run.report,
              "\nrunning 0 tests\n"
              "\ntest result: ok. 0 passed; 0 failed; 0 ignored; 0 measured; 2 filtered out; "
              "finished in <time>s\n\n");
}

TEST(PrettyReport, ShouldPanicModeIgnoredMessageAndShowOutput) {
    TestDescAndFn ignored = check("skipped", quiet_pass);
    ignored.desc.ignore = true;
    ignored.desc.ignore_message = "needs the archive";
    TestOpts opts = serial_opts();
    opts.show_output = true;
    const ConsoleRun run = run_console(opts, {check(
                                                  "expects",
                                                  [] {
                                                      std::cout << "said\n";
                                                      fail("as expected");
                                                      return quiet_pass();
                                                  },
                                                  ShouldPanic::yes()),
                                              std::move(ignored)});
    EXPECT_TRUE(run.passed);
    EXPECT_TRUE(
        run.report.starts_with("\nrunning 2 tests\n"
                               "test expects - should panic ... ok\n"
                               "test skipped ... ignored, needs the archive\n"
                               "\nsuccesses:\n\n"
                               "---- expects stdout ----\n"
                               "said\n"))
        << run.report;
    EXPECT_TRUE(
        run.report.ends_with("\nsuccesses:\n    expects\n"
                             "\ntest result: ok. 1 passed; 0 failed; 1 ignored; "
                             "0 measured; 0 filtered out; finished in <time>s\n\n"))
        << run.report;
}

TEST(PrettyReport, SingleIgnoredCheckShowsItsMessage) {
    TestDescAndFn ignored = check("only", quiet_pass);
    ignored.desc.ignore = true;
    ignored.desc.ignore_message = "slow";
    const ConsoleRun run = run_console(serial_opts(), {std::move(ignored)});
    EXPECT_TRUE(run.report.ends_with("finished in <time>s\n\ntest: only, ignore_message: slow\n\n"))
        << run.report;
}

TEST(PrettyReport, FailFastStopsAfterTheFirstFailure) {
    bool third_ran = false;
    TestOpts opts = serial_opts();
    opts.fail_fast = true;
    const ConsoleRun run = run_console(opts, {check("a", quiet_pass),
                                              check("b",
                                                    [] {
                                                        fail("stop");
                                                        return quiet_pass();
                                                    }),
                                              check("c", [&] {
                                                  third_ran = true;
                                                  return quiet_pass();
                                              })});
    EXPECT_FALSE(run.passed);
    EXPECT_FALSE(third_ran);
    EXPECT_NE(run.report.find("test b ... FAILED\n\nfailures:"), std::string::npos) << run.report;
    EXPECT_NE(run.report.find("FAILED. 1 passed; 1 failed; 0 ignored"), std::string::npos);
}

TEST(PrettyReport, MultiThreadedRunWritesWholeLines) {
    TestOpts opts;
    opts.test_threads = 2;
    const ConsoleRun run = run_console(opts, {check("x", quiet_pass)});
    EXPECT_EQ(run.report,
              "\nrunning 1 test\n"
              "test x ... ok\n"
              "\ntest result: ok. 1 passed; 0 failed; 0 ignored; 0 measured; 0 filtered out; "
              "finished in <time>s\n\n");
}

TEST(Bookkeeping, EveryResultKindIsCountedAndListed) {
    ConsoleTestState state;
    const auto completed = [](std::string name, TestResult result) {
        TestDesc desc;
        desc.name = std::move(name);
        return CompletedTest{0, desc, std::move(result), std::nullopt, "out\n"};
    };
    record_outcome(state, completed("p", result::Passed{}));
    record_outcome(state, completed("f", result::Failed{}));
    record_outcome(state, completed("m", result::FailedWithMessage{"why"}));
    record_outcome(state, completed("i", result::Ignored{}));
    record_outcome(state, completed("t", result::FailedTimeLimit{}));
    record_outcome(state, completed("b", result::Measured{}));
    EXPECT_EQ(state.passed, 1u);
    EXPECT_EQ(state.failed, 3u);
    EXPECT_EQ(state.ignored, 1u);
    EXPECT_EQ(state.measured, 1u);
    ASSERT_EQ(state.failures.size(), 2u);
    EXPECT_EQ(state.failures[1].second, "out\nnote: why");
    EXPECT_EQ(state.time_failures.size(), 1u);
    EXPECT_EQ(state.not_failures.size(), 1u);
    EXPECT_TRUE(state.metrics.contains("b"));
}

TEST(LogFile, OneLinePerOutcome) {
    TestDesc desc;
    desc.name = "n";
    EXPECT_EQ(log_line(desc, result::Passed{}, std::nullopt), "ok n\n");
    EXPECT_EQ(log_line(desc, result::FailedWithMessage{"m"}, std::nullopt), "failed: m n\n");
    EXPECT_EQ(log_line(desc, result::FailedTimeLimit{}, std::nullopt),
              "failed (time limit exceeded) n\n");
    EXPECT_EQ(log_line(desc, result::Ignored{}, std::nullopt), "ignored n\n");
    desc.ignore_message = "why";
    EXPECT_EQ(log_line(desc, result::Ignored{}, std::nullopt), "ignored: why n\n");
    EXPECT_EQ(log_line(desc, result::Failed{}, TestExecTime{std::chrono::milliseconds{12}}),
              "failed n <0.012s>\n");
}

TEST(LogFile, RunWritesTheLogFile) {
    const auto path = std::filesystem::temp_directory_path() / "runner_console_test.log";
    TestOpts opts = serial_opts();
    opts.logfile = path;
    run_console(opts, {check("a", quiet_pass), check("b", [] {
                           fail("x");
                           return quiet_pass();
                       })});
    std::ifstream in{path};
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "ok a\nfailed b\n");
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace runner
