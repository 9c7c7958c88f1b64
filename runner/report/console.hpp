#pragma once

#include <chrono>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runner/execution/run.hpp"
#include "runner/report/console_state.hpp"
#include "runner/terminal/output.hpp"
#include "runner/test_result.hpp"
#include "runner/types.hpp"

namespace runner {

// Runs and reports on standard output; true when no check failed.
std::expected<bool, IoError> run_tests_console(const TestOpts& opts,
                                               std::vector<TestDescAndFn> tests);

// The same, writing the report to `out`.
std::expected<bool, IoError> run_tests_console(
    const TestOpts& opts, std::vector<TestDescAndFn> tests, std::unique_ptr<OutputLocation> out,
    std::chrono::nanoseconds long_running_after = TEST_WARN_TIMEOUT);

// Lists the selected checks (--list).
IoResult list_tests_console(const TestOpts& opts, std::vector<TestDescAndFn> tests,
                            std::unique_ptr<OutputLocation> out);

// The --logfile line of one outcome, line break included.
std::string log_line(const TestDesc& desc, const TestResult& result,
                     const std::optional<TestExecTime>& exec_time);

// Counts one outcome and keeps what the end-of-run sections list.
void record_outcome(ConsoleTestState& state, CompletedTest completed);

}  // namespace runner
