// The runner under load and in hostile conditions: thousands of checks with mixed outcomes and
// output, checks printing from threads of their own, checks that end the process, and a system
// that refuses new threads.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "runner/check/assert.hpp"
#include "runner/execution/capture.hpp"
#include "runner/execution/run.hpp"
#include "runner/execution/thread.hpp"
#include "runner/report/console.hpp"
#include "runner/test_main.hpp"
#include "runner/test_support/recording_output.hpp"
#include "runner/test_support/test_helpers.hpp"
#include "tarnwick_base/test_support/forked_child.hpp"

namespace runner {
namespace {

using tarnwick_base::test_support::ChildRun;
using tarnwick_base::test_support::run_in_child;
using testing::check;

// How a stress check ends; the outcome it must get follows from it.
enum class Ending { Passes, FailsAssertion, ReturnsError, Throws, PanicsAsExpected, Ignored };
constexpr int ending_count = 6;
// Every this many checks, one prints from threads of its own as well.
constexpr int threaded_every = 7;
constexpr int own_threads = 3;

Ending ending_of(int index) {
    return static_cast<Ending>(index % ending_count);
}

std::string check_name(int index) {
    return "stress::check_" + std::to_string(index);
}

// What check `index` prints itself, in order: a few lines through each printing facility.
std::string printed_lines(int index) {
    std::string text;
    for (int line = 0; line < index % 5 + 1; ++line) {
        text += "check " + std::to_string(index) + " line " + std::to_string(line) + "\n";
    }
    return text;
}

std::string thread_line(int index, int thread, int line) {
    return "check " + std::to_string(index) + " thread " + std::to_string(thread) + " line " +
           std::to_string(line) + "\n";
}

// Prints `text` line by line, turn about through std::cout, std::cerr and the runner's print.
void print_alternately(const std::string& text) {
    std::size_t begin = 0;
    for (int turn = 0; begin < text.size(); ++turn) {
        const std::size_t end = text.find('\n', begin) + 1;
        const std::string line = text.substr(begin, end - begin);
        switch (turn % 3) {
            case 0:
                std::cout << line << std::flush;
                break;
            case 1:
                std::cerr << line;
                break;
            default:
                print(line);
        }
        begin = end;
    }
}

void print_from_own_threads(int index) {
    std::vector<JoinHandle> threads;
    for (int thread = 0; thread < own_threads; ++thread) {
        threads.push_back(spawn_thread([index, thread] {
            for (int line = 0; line < 4; ++line) {
                std::cout << thread_line(index, thread, line) << std::flush;
            }
        }));
    }
    for (JoinHandle& thread : threads) {
        thread.join();
    }
}

TestDescAndFn stress_check(int index) {
    const Ending ending = ending_of(index);
    TestDescAndFn test = check(
        check_name(index),
        [index, ending]() -> TestOutcome {
            print_alternately(printed_lines(index));
            if (index % threaded_every == 0) {
                print_from_own_threads(index);
            }
            switch (ending) {
                case Ending::FailsAssertion:
                    assert_eq(index, -1);
                    break;
                case Ending::ReturnsError:
                    return std::unexpected{"error " + std::to_string(index)};
                case Ending::Throws:
                case Ending::PanicsAsExpected:
                    throw std::runtime_error{"thrown"};
                default:
                    break;
            }
            return {};
        },
        ending == Ending::PanicsAsExpected ? ShouldPanic::yes() : ShouldPanic::no());
    test.desc.ignore = ending == Ending::Ignored;
    return test;
}

std::vector<TestDescAndFn> stress_checks(int count) {
    std::vector<TestDescAndFn> tests;
    for (int index = 0; index < count; ++index) {
        tests.push_back(stress_check(index));
    }
    return tests;
}

bool ends_with_failure_report(Ending ending) {
    return ending == Ending::FailsAssertion || ending == Ending::Throws ||
           ending == Ending::PanicsAsExpected;
}

// Removes `line` from `text` where it first occurs at or after `from`; false when it is not
// there. The lines of one thread must come out in the order printed.
bool take_line_in_order(std::string& text, const std::string& line, std::size_t& from) {
    const std::size_t at = text.find(line, from);
    if (at == std::string::npos) {
        return false;
    }
    text.erase(at, line.size());
    from = at;
    return true;
}

// What is wrong with check `index`'s captured output, or nothing. A failure report names the
// thread the check ran on.
std::optional<std::string> output_problem(int index, std::string captured,
                                          const std::string& thread_name) {
    const Ending ending = ending_of(index);
    if (ending == Ending::Ignored) {
        return captured.empty() ? std::nullopt : std::optional{"an ignored check printed"};
    }
    if (index % threaded_every == 0) {
        for (int thread = 0; thread < own_threads; ++thread) {
            std::size_t from = 0;
            for (int line = 0; line < 4; ++line) {
                if (!take_line_in_order(captured, thread_line(index, thread, line), from)) {
                    return "missing or misplaced: " + thread_line(index, thread, line);
                }
            }
        }
    }
    const std::string own = printed_lines(index);
    if (!captured.starts_with(own)) {
        return "does not start with its own lines: " + captured.substr(0, 200);
    }
    const std::string rest = captured.substr(own.size());
    if (!ends_with_failure_report(ending)) {
        return rest.empty() ? std::nullopt : std::optional{"stray bytes: " + rest};
    }
    // The failure report comes last, and carries no line of any check.
    if (!rest.starts_with("\nthread '" + thread_name + "' (") ||
        rest.find("check ") != std::string::npos) {
        return "not its failure report: " + rest;
    }
    return std::nullopt;
}

bool result_matches(Ending ending, const TestResult& result) {
    switch (ending) {
        case Ending::Passes:
        case Ending::PanicsAsExpected:
            return std::holds_alternative<result::Passed>(result);
        case Ending::Ignored:
            return std::holds_alternative<result::Ignored>(result);
        default:
            return std::holds_alternative<result::Failed>(result);
    }
}

constexpr int stress_count = 5000;

TEST(RunnerStress, FiveThousandChecksKeepTheirOutcomesAndOutput) {
    TestOpts opts;
    opts.test_threads = 4;
    std::map<std::string, int> index_of;
    for (int index = 0; index < stress_count; ++index) {
        index_of.emplace(check_name(index), index);
    }
    std::vector<int> outcomes_seen(stress_count, 0);
    int waits = 0;
    int wrong = 0;
    const EventSink sink = [&](TestEvent event) -> IoResult {
        if (std::holds_alternative<event::Wait>(event)) {
            ++waits;
        }
        if (auto* outcome = std::get_if<event::Outcome>(&event)) {
            const CompletedTest& completed = outcome->completed;
            const int index = index_of.at(completed.desc.name);
            ++outcomes_seen[static_cast<std::size_t>(index)];
            EXPECT_EQ(completed.id, static_cast<TestId>(index));
            const bool result_ok = result_matches(ending_of(index), completed.result);
            const auto problem = output_problem(index, completed.stdout_bytes, completed.desc.name);
            EXPECT_TRUE(result_ok) << completed.desc.name;
            EXPECT_EQ(problem, std::nullopt) << completed.desc.name;
            wrong += (!result_ok || problem) ? 1 : 0;
        }
        return {};
    };
    ASSERT_TRUE(run_tests(opts, stress_checks(stress_count), sink).has_value());
    EXPECT_EQ(waits, stress_count);
    EXPECT_EQ(std::count(outcomes_seen.begin(), outcomes_seen.end(), 1), stress_count);
    EXPECT_EQ(wrong, 0);
}

TEST(RunnerStress, FiveThousandChecksAreCountedExactlyInTheReport) {
    int passed = 0;
    int failed = 0;
    int ignored = 0;
    for (int index = 0; index < stress_count; ++index) {
        const Ending ending = ending_of(index);
        passed += ending == Ending::Passes || ending == Ending::PanicsAsExpected;
        ignored += ending == Ending::Ignored;
        failed += ending != Ending::Passes && ending != Ending::PanicsAsExpected &&
                  ending != Ending::Ignored;
    }
    TestOpts opts;
    opts.test_threads = 3;
    std::string report;
    const auto verdict = run_tests_console(opts, stress_checks(stress_count),
                                           std::make_unique<RecordingOutput>(report));
    ASSERT_TRUE(verdict.has_value());
    EXPECT_FALSE(*verdict);
    EXPECT_TRUE(report.starts_with("\nrunning 5000 tests\n"));
    const std::string summary = "\ntest result: FAILED. " + std::to_string(passed) + " passed; " +
                                std::to_string(failed) + " failed; " + std::to_string(ignored) +
                                " ignored; 0 measured; 0 filtered out; finished in ";
    EXPECT_NE(report.find(summary), std::string::npos) << report.substr(report.size() - 300);
    // Each failed check has its output under its own heading in the failures section.
    for (int index = 0; index < stress_count; ++index) {
        const Ending ending = ending_of(index);
        const bool listed = ending == Ending::FailsAssertion || ending == Ending::ReturnsError ||
                            ending == Ending::Throws;
        const std::string heading =
            "---- " + check_name(index) + " stdout ----\n" + printed_lines(index);
        EXPECT_EQ(report.find(heading) != std::string::npos, listed) << check_name(index);
    }
}

TestOutcome prints_and_passes() {
    std::cout << "quiet\n";
    return {};
}

struct EndingCase {
    const char* name;
    std::function<void()> end;
    // What the check printed, shown after its report line; nothing when it is lost (std::abort
    // bypasses the terminate handler, and the buffered report goes with it).
    std::optional<std::string> shown;
};

class ProcessEnding : public ::testing::TestWithParam<EndingCase> {};

TEST_P(ProcessEnding, EndsTheRunByTheSignalAndShowsWhatItCan) {
    const EndingCase& ending = GetParam();
    const ChildRun run = run_in_child([&] {
        std::vector<TestDescAndFn> tests;
        tests.push_back(check("a_passes", prints_and_passes));
        tests.push_back(check("b_ends_the_process", [&]() -> TestOutcome {
            std::cout << "printed before the end\n" << std::flush;
            ending.end();
            return {};
        }));
        tests.push_back(check("c_never_runs", prints_and_passes));
        test_main({"stress", "--test-threads", "1"}, std::move(tests));
    });
    ASSERT_TRUE(WIFSIGNALED(run.status)) << run.status << "\n" << run.out;
    EXPECT_EQ(WTERMSIG(run.status), SIGABRT);
    if (ending.shown) {
        EXPECT_EQ(run.out,
                  "\nrunning 3 tests\ntest a_passes ... ok\ntest b_ends_the_process ... "
                  "printed before the end\n" +
                      *ending.shown);
    }
    EXPECT_EQ(run.out.find("quiet"), std::string::npos);
    EXPECT_EQ(run.out.find("c_never_runs"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Stress, ProcessEnding,
                         ::testing::Values(EndingCase{"Terminate", [] { std::terminate(); }, ""},
                                           EndingCase{"TerminateOnItsOwnThread",
                                                      [] {
                                                          spawn_thread([] {
                                                              std::cout << "from its thread\n";
                                                              std::terminate();
                                                          }).join();
                                                      },
                                                      "from its thread\n"},
                                           EndingCase{"Abort", [] { std::abort(); }, std::nullopt}),
                         [](const auto& case_info) { return std::string{case_info.param.name}; });

// In the calling (forked) process: makes the system refuse every new thread. Root is not held
// to the process limit, so a root process first becomes an unprivileged user.
bool refuse_new_threads() {
    if (geteuid() == 0) {
        constexpr uid_t nobody = 65534;
        if (setgid(nobody) != 0 || setuid(nobody) != 0) {
            return false;
        }
    }
    const rlimit one{1, 1};
    if (setrlimit(RLIMIT_NPROC, &one) != 0) {
        return false;
    }
    return !spawn_thread(std::nullopt, 0, [] {}).has_value();
}

class RefusedThreads : public ::testing::TestWithParam<std::size_t> {};

TEST_P(RefusedThreads, ChecksRunOnTheCallingThreadInstead) {
    constexpr int count = 60;
    const std::size_t threads = GetParam();
    const ChildRun run = run_in_child([&] {
        if (!refuse_new_threads()) {
            std::cout << "threads could not be refused\n";
            return;
        }
        std::vector<TestDescAndFn> tests = stress_checks(count);
        tests.push_back(check("names_its_thread", [] {
            print(current_thread_name() + "\n");
            return TestOutcome{};
        }));
        TestOpts opts;
        opts.test_threads = threads;
        std::string report;
        const EventSink sink = [&](TestEvent event) -> IoResult {
            if (auto* outcome = std::get_if<event::Outcome>(&event)) {
                const CompletedTest& done = outcome->completed;
                if (done.desc.name == "names_its_thread") {
                    report += done.desc.name + ": " + done.stdout_bytes;
                    return {};
                }
                const int index = static_cast<int>(done.id);
                const Ending ending = ending_of(index);
                // A check that starts threads of its own cannot have them: it fails.
                const bool wants_threads = index % threaded_every == 0 && ending != Ending::Ignored;
                const bool result_ok = !wants_threads ? result_matches(ending, done.result)
                                       : ending == Ending::PanicsAsExpected
                                           ? std::holds_alternative<result::Passed>(done.result)
                                           : std::holds_alternative<result::Failed>(done.result);
                const auto problem =
                    wants_threads ? std::nullopt : output_problem(index, done.stdout_bytes, "main");
                if (!result_ok || problem) {
                    report += done.desc.name + ": " + problem.value_or("wrong result") + "\n";
                }
            }
            return {};
        };
        if (!run_tests(opts, std::move(tests), sink)) {
            report += "run failed\n";
        }
        std::cout << report;
    });
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.status;
    EXPECT_EQ(run.out, "names_its_thread: main\n");
}

INSTANTIATE_TEST_SUITE_P(Stress, RefusedThreads, ::testing::Values(1, 3),
                         [](const auto& case_info) {
                             return case_info.param == 1 ? "Serial" : "ThreeAtOnce";
                         });

}  // namespace
}  // namespace runner
