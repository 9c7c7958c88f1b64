#include "runner/report/console.hpp"

#include <cerrno>
#include <fstream>

#include "runner/check/panic.hpp"
#include "runner/concurrency.hpp"
#include "runner/execution/selection.hpp"
#include "runner/report/formatter_factory.hpp"
#include "runner/report/time_display.hpp"
#include "tarnwick_base/expected.hpp"
#include "tarnwick_base/overloaded.hpp"

namespace runner {
namespace {

using tarnwick_base::Overloaded;

using Clock = std::chrono::steady_clock;

IoResult open_log(const TestOpts& opts, std::optional<std::ofstream>& log_out) {
    if (!opts.logfile) {
        return {};
    }
    log_out.emplace(*opts.logfile, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!*log_out) {
        return std::unexpected{IoError::from_errno(errno)};
    }
    return {};
}

IoResult write_log(std::optional<std::ofstream>& log_out, const std::string& line) {
    if (!log_out) {
        return {};
    }
    *log_out << line << std::flush;
    if (!*log_out) {
        return std::unexpected{IoError::from_errno(errno)};
    }
    return {};
}

std::string outcome_words(const TestDesc& desc, const TestResult& result) {
    return std::visit(Overloaded{[](const result::Passed&) { return std::string{"ok"}; },
                                 [](const result::Failed&) { return std::string{"failed"}; },
                                 [](const result::FailedWithMessage& failed) {
                                     return "failed: " + failed.message;
                                 },
                                 [&](const result::Ignored&) {
                                     return desc.ignore_message ? "ignored: " + *desc.ignore_message
                                                                : std::string{"ignored"};
                                 },
                                 [](const result::Measured&) { return std::string{"bench"}; },
                                 [](const result::FailedTimeLimit&) {
                                     return std::string{"failed (time limit exceeded)"};
                                 }},
                      result);
}

}  // namespace

std::string log_line(const TestDesc& desc, const TestResult& result,
                     const std::optional<TestExecTime>& exec_time) {
    std::string line = outcome_words(desc, result);
    line.append(" ").append(desc.name);
    if (exec_time) {
        line.append(" <").append(display(*exec_time)).push_back('>');
    }
    line.push_back('\n');
    return line;
}

void record_outcome(ConsoleTestState& state, CompletedTest completed) {
    DescAndOutput listed{std::move(completed.desc), std::move(completed.stdout_bytes)};
    std::visit(Overloaded{[&](const result::Passed&) {
                              ++state.passed;
                              state.not_failures.push_back(std::move(listed));
                          },
                          [&](const result::Ignored&) {
                              ++state.ignored;
                              state.ignores.push_back(std::move(listed));
                          },
                          [&](const result::Measured& measured) {
                              ++state.measured;
                              state.metrics[listed.first.name] = measured.samples;
                          },
                          [&](const result::Failed&) {
                              ++state.failed;
                              state.failures.push_back(std::move(listed));
                          },
                          [&](const result::FailedWithMessage& failed) {
                              ++state.failed;
                              listed.second.append("note: ").append(failed.message);
                              state.failures.push_back(std::move(listed));
                          },
                          [&](const result::FailedTimeLimit&) {
                              ++state.failed;
                              state.time_failures.push_back(std::move(listed));
                          }},
               completed.result);
}

std::expected<bool, IoError> run_tests_console(const TestOpts& opts,
                                               std::vector<TestDescAndFn> tests) {
    return run_tests_console(opts, std::move(tests), make_output_location());
}

std::expected<bool, IoError> run_tests_console(const TestOpts& opts,
                                               std::vector<TestDescAndFn> tests,
                                               std::unique_ptr<OutputLocation> out,
                                               std::chrono::nanoseconds long_running_after) {
    const std::size_t threads = opts.test_threads ? *opts.test_threads : get_concurrency();
    const auto formatter = make_formatter(opts, std::move(out), threads > 1);
    ConsoleTestState state;
    state.show_output = opts.show_output;
    TARNWICK_TRY(open_log(opts, state.log_out));
    const EventSink on_event = [&](TestEvent event) -> IoResult {
        return std::visit(
            Overloaded{
                [&](event::FilteredOut& filtered) -> IoResult {
                    state.filtered_out = filtered.count;
                    return {};
                },
                [&](event::Plan& plan) {
                    state.total = plan.count;
                    return formatter->write_run_start(plan.count, plan.shuffle_seed);
                },
                [&](event::Wait& wait) { return formatter->write_test_start(wait.desc); },
                [&](event::Timeout& timeout) { return formatter->write_timeout(timeout.desc); },
                [&](event::Outcome& outcome) -> IoResult {
                    const CompletedTest& done = outcome.completed;
                    TARNWICK_TRY(
                        write_log(state.log_out, log_line(done.desc, done.result, done.exec_time)));
                    TARNWICK_TRY(formatter->write_result(done.desc, done.result, done.exec_time,
                                                         done.stdout_bytes, state));
                    record_outcome(state, std::move(outcome.completed));
                    return {};
                }},
            event);
    };
    const Clock::time_point start = Clock::now();
    // The thread count was settled above; the loop must not read the environment again.
    TestOpts run_opts = opts;
    run_opts.test_threads = threads;
    TARNWICK_TRY(run_tests(run_opts, std::move(tests), on_event, long_running_after));
    state.exec_time = TestSuiteExecTime{Clock::now() - start};
    const std::size_t counted = state.passed + state.failed + state.ignored + state.measured;
    if (!opts.fail_fast && counted != state.total) {
        fail_main_thread("the run counted " + std::to_string(counted) + " outcomes for " +
                         std::to_string(state.total) + " checks");
    }
    return formatter->write_run_finish(state);
}

IoResult list_tests_console(const TestOpts& opts, std::vector<TestDescAndFn> tests,
                            std::unique_ptr<OutputLocation> out) {
    const auto formatter = make_formatter(opts, std::move(out), false);
    ConsoleTestDiscoveryState state;
    TARNWICK_TRY(open_log(opts, state.log_out));
    TARNWICK_TRY(formatter->write_discovery_start());
    for (const TestDescAndFn& test : filter_tests(opts, std::move(tests))) {
        const bool benchmark = is_benchmark(test.testfn);
        const std::string_view kind_word = benchmark ? "benchmark" : "test";
        ++(benchmark ? state.benchmarks : state.tests);
        state.ignored += test.desc.ignore ? 1 : 0;
        TARNWICK_TRY(formatter->write_test_discovered(test.desc, kind_word));
        TARNWICK_TRY(
            write_log(state.log_out, std::string{kind_word} + " " + test.desc.name + "\n"));
    }
    return formatter->write_discovery_finish(state);
}

}  // namespace runner
