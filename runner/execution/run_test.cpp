#include "runner/execution/run.hpp"

#include <gtest/gtest.h>
#include <pthread.h>

#include <iostream>
#include <latch>
#include <map>
#include <stdexcept>
#include <thread>

#include "runner/check/assert.hpp"
#include "runner/execution/capture.hpp"
#include "runner/test_support/test_helpers.hpp"

namespace runner {
namespace {

using namespace std::chrono_literals;
using testing::check;
using testing::serial_opts;

TestOutcome pass() {
    return {};
}

struct Recorded {
    std::vector<std::string> log;  // "wait NAME", "timeout NAME", "outcome NAME"
    std::map<std::string, CompletedTest> outcomes;
};

Recorded run_recording(const TestOpts& opts, std::vector<TestDescAndFn> tests,
                       std::chrono::nanoseconds long_running_after = TEST_WARN_TIMEOUT) {
    Recorded recorded;
    const EventSink sink = [&](TestEvent event) -> IoResult {
        if (auto* wait = std::get_if<event::Wait>(&event)) {
            recorded.log.push_back("wait " + wait->desc.name);
        } else if (auto* timeout = std::get_if<event::Timeout>(&event)) {
            recorded.log.push_back("timeout " + timeout->desc.name);
        } else if (auto* outcome = std::get_if<event::Outcome>(&event)) {
            recorded.log.push_back("outcome " + outcome->completed.desc.name);
            recorded.outcomes.emplace(outcome->completed.desc.name, std::move(outcome->completed));
        }
        return {};
    };
    EXPECT_TRUE(run_tests(opts, std::move(tests), sink, long_running_after).has_value());
    return recorded;
}

TEST(RunTests, CaptureIsKeptApartBetweenChecksRunningAtOnce) {
    std::latch both_running{2};
    const auto printing = [&](std::string word) {
        return [&both_running, word] {
            both_running.arrive_and_wait();
            std::cout << word << "-cout\n";
            std::cerr << word << "-cerr\n";
            print(word + "-print\n");
            JoinHandle child = spawn_thread([word] { std::cout << word << "-child\n"; });
            child.join();
            return pass();
        };
    };
    TestOpts opts;
    opts.test_threads = 2;
    const Recorded run =
        run_recording(opts, {check("left", printing("L")), check("right", printing("R"))});
    EXPECT_EQ(run.outcomes.at("left").stdout_bytes, "L-cout\nL-cerr\nL-print\nL-child\n");
    EXPECT_EQ(run.outcomes.at("right").stdout_bytes, "R-cout\nR-cerr\nR-print\nR-child\n");
}

TEST(RunTests, NoCaptureLeavesTheOutputUncaptured) {
    TestOpts opts = serial_opts();
    opts.nocapture = true;
    const Recorded run = run_recording(opts, {check("loud", [] {
                                           print("");
                                           return pass();
                                       })});
    EXPECT_EQ(run.outcomes.at("loud").stdout_bytes, "");
    EXPECT_EQ(current_output_capture(), nullptr);
}

TEST(RunTests, AnythingThrownFailsOnlyItsCheck) {
    const Recorded run = run_recording(
        serial_opts(), {check("int",
                              [] {
                                  throw 42;
                                  return pass();
                              }),
                        check("standard",
                              [] {
                                  throw std::runtime_error{"disk on fire"};
                                  return pass();
                              }),
                        check("error_text", [] { return TestOutcome{std::unexpected{"bad"}}; }),
                        check("after", pass)});
    EXPECT_TRUE(std::holds_alternative<result::Failed>(run.outcomes.at("int").result));
    EXPECT_NE(run.outcomes.at("int").stdout_bytes.find("uncaught exception of type int\n"),
              std::string::npos);
    EXPECT_TRUE(std::holds_alternative<result::Failed>(run.outcomes.at("standard").result));
    EXPECT_NE(run.outcomes.at("standard").stdout_bytes.find("panicked:\ndisk on fire\n"),
              std::string::npos);
    EXPECT_TRUE(std::holds_alternative<result::Failed>(run.outcomes.at("error_text").result));
    EXPECT_TRUE(std::holds_alternative<result::Passed>(run.outcomes.at("after").result));
}

TEST(RunTests, ShouldPanicSeesTheThrownText) {
    const Recorded run =
        run_recording(serial_opts(), {check(
                                          "text",
                                          [] {
                                              throw std::runtime_error{"index out of range"};
                                              return pass();
                                          },
                                          ShouldPanic::with_text("out of range")),
                                      check(
                                          "no_text",
                                          [] {
                                              throw 7;
                                              return pass();
                                          },
                                          ShouldPanic::with_text("out of range"))});
    EXPECT_TRUE(std::holds_alternative<result::Passed>(run.outcomes.at("text").result));
    const auto* failed = std::get_if<result::FailedWithMessage>(&run.outcomes.at("no_text").result);
    ASSERT_NE(failed, nullptr);
    EXPECT_NE(failed->message.find("found non-string value: `int`"), std::string::npos);
}

TEST(RunTests, EachCheckRunsOnAThreadNamedAfterIt) {
    const std::string name = "common::motion::tests::a_rather_long_name";
    std::string kernel_name;
    std::string report_name;
    const Recorded run =
        run_recording(serial_opts(), {check(name, [&] {
                          char buffer[64] = {};
                          pthread_getname_np(pthread_self(), buffer, sizeof buffer);
                          kernel_name = buffer;
                          report_name = current_thread_name();
                          return pass();
                      })});
    EXPECT_EQ(kernel_name, name.substr(0, 15));
    EXPECT_EQ(report_name, name);
    EXPECT_EQ(current_thread_name(), "main");
}

TEST(RunTests, CheckThreadsGetTheMinimumStack) {
    std::size_t stack_size = 0;
    run_recording(serial_opts(), {check("stack", [&] {
                      pthread_attr_t attr;
                      pthread_getattr_np(pthread_self(), &attr);
                      pthread_attr_getstacksize(&attr, &stack_size);
                      pthread_attr_destroy(&attr);
                      return pass();
                  })});
    EXPECT_GE(stack_size, min_stack_size());
    if (std::getenv("ORRA_MIN_STACK") == nullptr) {
        EXPECT_EQ(min_stack_size(), 2097152u);
    }
}

TEST(RunTests, LongRunningCheckIsReportedOnceInMultiThreadedRuns) {
    const auto slow = [] {
        std::this_thread::sleep_for(150ms);
        return pass();
    };
    TestOpts opts;
    opts.test_threads = 2;
    const Recorded multi = run_recording(opts, {check("slow", slow), check("quick", pass)}, 20ms);
    EXPECT_EQ(std::count(multi.log.begin(), multi.log.end(), "timeout slow"), 1);
    EXPECT_EQ(std::count(multi.log.begin(), multi.log.end(), "timeout quick"), 0);
    const auto timeout_at = std::find(multi.log.begin(), multi.log.end(), "timeout slow");
    EXPECT_LT(timeout_at, std::find(multi.log.begin(), multi.log.end(), "outcome slow"));

    const Recorded serial = run_recording(serial_opts(), {check("slow", slow)}, 20ms);
    EXPECT_EQ(serial.log, (std::vector<std::string>{"wait slow", "outcome slow"}));
}

TEST(RunTests, AtMostTheThreadCountRunAtOnce) {
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    const auto counted = [&] {
        const int now = ++running;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(20ms);
        --running;
        return pass();
    };
    TestOpts opts;
    opts.test_threads = 2;
    std::vector<TestDescAndFn> tests;
    for (int i = 0; i < 6; ++i) {
        tests.push_back(check("c" + std::to_string(i), counted));
    }
    const Recorded run = run_recording(opts, std::move(tests));
    EXPECT_EQ(run.outcomes.size(), 6u);
    EXPECT_EQ(most.load(), 2);
}

TEST(RunTests, FailFastInMultiThreadedRunsStopsReporting) {
    TestOpts opts;
    opts.test_threads = 2;
    opts.fail_fast = true;
    const Recorded run = run_recording(opts, {check("fails",
                                                    [] {
                                                        fail("x");
                                                        return pass();
                                                    }),
                                              check("slow",
                                                    [] {
                                                        std::this_thread::sleep_for(300ms);
                                                        return pass();
                                                    }),
                                              check("never", pass)});
    EXPECT_EQ(run.outcomes.size(), 1u);
    EXPECT_TRUE(run.outcomes.contains("fails"));
}

TEST(RunTests, IgnoredChecksAndRunTestsOff) {
    TestDescAndFn ignored = check("ignored", [] {
        fail("must not run");
        return pass();
    });
    ignored.desc.ignore = true;
    TestOpts opts = serial_opts();
    Recorded run = run_recording(opts, {ignored});
    EXPECT_TRUE(std::holds_alternative<result::Ignored>(run.outcomes.at("ignored").result));
    opts.run_tests = false;
    run = run_recording(opts, {check("plain", pass)});
    EXPECT_TRUE(std::holds_alternative<result::Ignored>(run.outcomes.at("plain").result));
}

TEST(SpawnThread, ReportsAnExceptionThatEndedTheThread) {
    JoinHandle throwing = spawn_thread([] { throw std::runtime_error{"late"}; });
    EXPECT_TRUE(throwing.join());
    JoinHandle normal = spawn_thread([] {});
    EXPECT_FALSE(normal.join());
}

}  // namespace
}  // namespace runner
